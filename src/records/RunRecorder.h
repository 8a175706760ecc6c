#pragma once

#include "import/ImportRun.h"
#include "records/InsertDigest.h"
#include "records/RowRecorder.h"
#include "records/RunRecords.h"

#include <future>
#include <memory>

class Connection;

// Keeps one import run on record (RunRecords): the header as the write pass
// starts, the stored rows with each group of the personnel database, the
// counts and the end when the front says how the run ended.
//
// Each group's rows are written and committed to the records file inside
// the group, just before it commits. An added row's digest comes from the
// values its insert bound where that tells for sure what the local file
// stores (InsertDigest); other rows are read back from Hrp_workers at that
// moment (one select per group, not one per row). So a killed program
// leaves a record holding every row the database kept; at worst (killed
// between the two commits) one group more, rows an undo then finds missing
// and leaves alone.
//
// Nothing here ever stops an import: any failure of the records file ends
// the record (nothing more is written to it) and is shown in one box once
// the run is over.
class RunRecorder : public RowRecorder {
public:
    RunRecorder(Connection& connection, const ImportView& view, const QString& recordsPath = RunRecords::defaultPath());
    ~RunRecorder() override;

    void runStarts() override;
    void nextRow() override;
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
    // A stored row for the record; `digest` empty: read back with its group.
    void queueAdded(qint64 wkid, const QString& workerid, const QByteArray& digest);
    void pending();
    void flush() noexcept;
    void fail(const QString& why) noexcept;
    // Stores the workbook's SHA-256 once it is known (waits for it with `wait`).
    void keepSha256(bool wait);

    Connection& conn_;
    const ImportView& view_;
    QString path_;
    std::unique_ptr<RunRecords> records_;
    qint64 runId_ = 0;
    int sheetRow_ = 1;
    quint64 hookedGroup_ = 0;
    bool columnsKept_ = false;
    QList<RunRecords::Row> pending_;
    QString failure_;
    std::future<QString> sha256_;
    // An added row's digest from what the insert bound, where it is sure.
    InsertDigest bound_;
    bool boundPrepared_ = false;
};

// The database the connection writes to, as runs are recorded against it:
// the local file's full path, or "server/database".
QString recordedDatabaseName(const Connection& connection);
