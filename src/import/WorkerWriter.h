#pragma once

#include "import/ImportRun.h"

class Transaction;

// Stores one ImportRow in Hrp_workers: mode 0 inserts a new employee (unless
// the worker number exists), mode 1 updates eight fields by worker number.
// Reports only through RowWritten; database errors are swallowed and kept
// as the reason, in words (FieldValues). A row whose number-like fields lost
// digits in the spreadsheet is refused before anything is written.
class WorkerWriter : public RowWriter {
public:
    void SaveWorkerRow(ImportRow& row, int mode) override;
    QString lastReason() const override { return reason_; }
    // The duplicate box shows again until its check box is ticked.
    void runStarted() override { askDuplicates_ = true; }

    static QString duplicateMessage(const QString& workerid);

private:
    // False when the worker number already exists.
    bool insertRow(ImportRow& row, Transaction& rowTransaction);
    // False when the worker number does not exist.
    bool updateRow(const ImportRow& row);

    QString reason_;
    bool askDuplicates_ = true;
};

// Writes nothing: finds the rows that would not be imported because their
// worker number exists (the command-line tool's --check).
class DuplicateChecker : public RowWriter {
public:
    void SaveWorkerRow(ImportRow& row, int mode) override;
    QString lastReason() const override { return reason_; }

private:
    QString reason_;
};
