#pragma once

#include "import/ImportRun.h"
#include "platform/db/WriteSession.h"

#include <memory>

class RowRecorder;

// Stores one ImportRow in Hrp_workers: mode 0 inserts a new employee (unless
// the worker number exists), mode 1 updates eight fields by worker number.
// Reports only through RowWritten; database errors are swallowed and kept
// as the reason, in words (FieldValues). A row whose number-like fields lost
// digits in the spreadsheet is refused before anything is written.
//
// Between beginRun() and endRun() rows are committed in groups (a
// WriteSession with the writer's End: RollBack makes every run a check that
// leaves the database as it was); a row written outside a run is committed
// on its own. A failure that every later row would meet too (the database
// locked, read-only, full, damaged or gone; a group the database dropped)
// is no row's error: during a run it leaves SaveWorkerRow (or endRun) as
// WriteStopped, after the writer made lasting what it could, and ends the
// run. An update binds the worker number as stored, so that its spelling
// never changes.
class WorkerWriter : public RowWriter {
public:
    explicit WorkerWriter(WriteSession::End end = WriteSession::End::Commit)
        : end_(end)
    {
    }

    void SaveWorkerRow(ImportRow& row, int mode) override;
    QString lastReason() const override { return reason_; }
    // Rows are grouped until endRun; the duplicate box shows again until its
    // check box is ticked (a check asks nothing).
    void beginRun() override;
    void endRun() override;

    static QString duplicateMessage(const QString& workerid, int sheetRow = 0, int earlierRow = 0);
    bool keepsRows() const override { return end_ == WriteSession::End::Commit; }
    // Told of every row stored by a run that commits (the record of runs).
    void setRecorder(RowRecorder* recorder) { recorder_ = recorder; }

private:
    void saveRow(ImportRow& row, int mode, WriteSession& session);
    // False when the worker number already exists.
    bool insertRow(ImportRow& row, WriteSession& session);
    // False when the worker number does not exist.
    bool updateRow(const ImportRow& row);
    // Ends the run's session after `e` and raises WriteStopped.
    [[noreturn]] void stop(const std::exception& e);
    // Rows reported written in the group still open: lost if it is.
    void countPending(bool written);

    QString reason_;
    bool askDuplicates_ = true;
    WriteSession::End end_;
    std::unique_ptr<WriteSession> session_;  // during a run
    int pendingStored_ = 0;
    quint64 pendingGroup_ = 0;
    RowRecorder* recorder_ = nullptr;
};
