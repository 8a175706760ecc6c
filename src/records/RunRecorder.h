#pragma once

#include "import/ImportRun.h"
#include "records/InsertDigest.h"
#include "records/RecordsThread.h"
#include "records/RowRecorder.h"
#include "records/RunRecords.h"

#include <atomic>
#include <future>
#include <memory>
#include <mutex>

class Connection;

// Keeps one import run on record (RunRecords): the header as the write pass
// starts, the stored rows with each group of the personnel database, the
// counts and the end when the front says how the run ended.
//
// The rows go to the records file's own thread (RecordsThread) as the group
// fills, inside one transaction of the records file; just before the group
// commits, that transaction commits and the import waits for it. An added
// row's digest comes from the values its insert bound where that tells for
// sure what the local file stores (InsertDigest); other rows are read back
// from Hrp_workers at that moment (one select per group, not one per row).
// So a killed program leaves a record holding every row the database kept;
// at worst (killed between the two commits) one group more, rows an undo
// then finds missing and leaves alone.
//
// Nothing here ever stops an import: any failure of the records file ends
// the record (nothing more is written to it) and is shown in one box once
// the run is over.
class RunRecorder : public RowRecorder {
public:
    RunRecorder(Connection& connection, const ImportView& view, const QString& recordsPath = RunRecords::defaultPath());
    ~RunRecorder() override;

    // A run is about to open the workbook: the workbook's SHA-256 is made,
    // and the records file opened, from now on, while the run reads the
    // workbook, which costs the import least. Without it both start with
    // the write pass.
    void runComing();

    void runStarts() override;
    void nextRow(int sheetRow) override;
    QList<FieldChange> fieldsBefore(const QString& workerid, const QStringList& columns) override;
    void rowAdded(qint64 wkid, const QString& workerid) override;
    void rowAdded(qint64 wkid, const QString& workerid, const Query& insert) override;
    void rowUpdated(const QString& workerid, const QList<FieldChange>& changes) override;

    // How the run ended; shows the box when the record could not be kept.
    void runEnded(RunEnd end, int imported, int notImported);

    qint64 runId() const { return runId_; }
    // Why the record could not be kept ("" while it is).
    QString failure() const { return failure_; }

private:
    // A stored row for the record, with the bytes of the row its insert
    // bound in the pack's rowBytes() (`bound`); else read back with its group.
    void queueAdded(qint64 wkid, const QString& workerid, bool bound);
    // Hands the rows ready so far to the records thread.
    void handOver();
    void pending();
    // Writes the group's rows and waits for them; with `thenCheckpoint` the
    // records thread then copies a long journal into the file.
    void flush(bool thenCheckpoint = true) noexcept;
    void fail(const QString& why) noexcept;
    // Stores the workbook's SHA-256 once it is known (waits for it with `wait`).
    void keepSha256(bool wait);
    void stopHashing();

    Connection& conn_;
    const ImportView& view_;
    QString path_;
    std::unique_ptr<RecordsThread> records_;
    std::atomic<qint64> runId_{0};  // set on the records thread
    int sheetRow_ = 0;  // of the row in hand
    quint64 hookedGroup_ = 0;
    bool columnsKept_ = false;
    bool groupBegun_ = false;  // the records file's transaction is open
    bool started_ = false;     // the write pass has begun
    qint64 unCheckpointed_ = 0;  // bytes of rows written since the last checkpoint
    // Rows whose record is whole, not yet handed over.
    RunRecords::Pack ready_;
    // A pack the records thread has written, given back for its memory.
    std::mutex spareMutex_;
    RunRecords::Pack spare_;
    // Rows to read back before the group commits, and every row after the
    // first of them: the record keeps the workbook's order.
    QList<RunRecords::Row> held_;
    QString failure_;
    std::future<QString> sha256_;
    QString hashed_;  // the workbook sha256_ is of
    std::shared_ptr<std::atomic<bool>> cancelHashing_;
    // An added row's digest from what the insert bound, where it is sure.
    InsertDigest bound_;
    bool boundPrepared_ = false;
};

// The database the connection writes to, as runs are recorded against it:
// the local file's full path, or "server/database".
QString recordedDatabaseName(const Connection& connection);
