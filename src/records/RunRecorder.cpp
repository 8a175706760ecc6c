#include "records/RunRecorder.h"

#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/WriteSession.h"
#include "records/PersonnelRows.h"
#include "services/userGlobal.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <openssl/evp.h>

#include <chrono>
#include <map>
#include <memory>

namespace {
// Rows handed to the records thread at a time: it packs and writes them
// while the import goes on.
constexpr qsizetype kHandOverRows = 1024;
// The journal is copied into the file during a run only when a very long
// one has written this much (a million rows or so).
constexpr qint64 kCheckpointBytes = 32 << 20;
constexpr qint64 kRowBytesOnFile = 30;  // an added row in a pack, about

// OpenSSL's SHA-256 uses the processor's SHA instructions where it has
// them: several times Qt's speed on a large workbook.
QString sha256Of(const QString& path, const std::atomic<bool>& cancelled)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return QString();
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = f.read(block.data(), block.size())) > 0;) {
        if (cancelled)
            return QString();
        if (EVP_DigestUpdate(ctx.get(), block.constData(), size_t(n)) != 1)
            return QString();
    }
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), sum, &length) != 1)
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(sum), int(length)).toHex());
}

QString outcomeOf(RunEnd end)
{
    switch (end) {
    case RunEnd::Succeeded:
        return RunOutcome::Finished;
    case RunEnd::Stopped:
        return RunOutcome::Stopped;
    default:
        return RunOutcome::Failed;
    }
}
} // namespace

QString recordedDatabaseName(const Connection& connection)
{
    if (connection.dbms() == Connection::Dbms::Sqlite) {
        QSqlQuery q(connection.database());
        if (q.exec(QStringLiteral("PRAGMA database_list")) && q.next())
            return QFileInfo(q.value(2).toString()).absoluteFilePath();
        return QString();
    }
    try {
        const ProviderString p = ProviderString::parse(connection.connectionString());
        const QString database = connection.defaultDatabase().isEmpty() ? p.value(QStringLiteral("Initial Catalog"))
                                                                        : connection.defaultDatabase();
        return p.value(QStringLiteral("Data Source")) + u'/' + database;
    } catch (const std::exception&) {
        return QString();
    }
}

RunRecorder::RunRecorder(Connection& connection, const ImportView& view, const QString& recordsPath)
    : conn_(connection)
    , view_(view)
    , path_(recordsPath)
{
}

RunRecorder::~RunRecorder()
{
    stopHashing();
    records_.reset();  // its writes still use this recorder's run id
}

void RunRecorder::runComing()
{
    stopHashing();
    hashed_ = view_.pathText();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancelHashing_ = cancelled;
    sha256_ = std::async(std::launch::async, [path = hashed_, cancelled] { return sha256Of(path, *cancelled); });
    if (!records_) {
        records_ = std::make_unique<RecordsThread>(path_);
        // What the last run left in the journal goes into the file now, so
        // that this run's groups need not wait for it.
        records_->post([](RunRecords& r) {
            r.checkpointLater();
            r.checkpoint();
        });
        unCheckpointed_ = 0;
    }
}

void RunRecorder::stopHashing()
{
    if (cancelHashing_)
        *cancelHashing_ = true;
    sha256_ = std::future<QString>();  // waits for the block in hand
    cancelHashing_.reset();
}

void RunRecorder::fail(const QString& why) noexcept
{
    if (failure_.isEmpty())
        failure_ = why.isEmpty() ? QStringLiteral("原因不明") : why;
    ready_.clear();
    held_.clear();
    records_.reset();
}

void RunRecorder::runStarts()
{
    runId_ = 0;
    sheetRow_ = 0;
    hookedGroup_ = 0;
    columnsKept_ = false;
    groupBegun_ = false;
    boundPrepared_ = false;
    ready_.clear();
    held_.clear();
    failure_.clear();
    started_ = true;
    try {
        const QString path = view_.pathText();
        if (!records_ || !sha256_.valid() || hashed_ != path)
            runComing();
        RunRecords::Run h;
        h.kind = QStringLiteral("导入");
        h.started = QDateTime::currentDateTime();
        h.userId = TUser.UserID;
        h.database = recordedDatabaseName(conn_);
        h.workbook = QFileInfo(path).absoluteFilePath();
        h.size = QFileInfo(path).size();
        h.sheet = view_.openedSheet();
        for (int k = 1; k <= ImportRow::SlotCount; ++k)
            h.map << view_.mapText(k);
        h.mode = view_.importMode();
        h.outcome = RunOutcome::Interrupted;  // until the run says otherwise
        // On file before the first group that stores a row commits: that
        // group waits for it with its rows. The workbook's SHA-256 is kept
        // with the first group after it is done (or at the end).
        records_->post([this, h](RunRecords& r) { runId_ = r.startRun(h); });
    } catch (const std::exception& e) {
        fail(errorText(e));
    }
}

void RunRecorder::nextRow(int sheetRow)
{
    sheetRow_ = sheetRow;
}

QList<FieldChange> RunRecorder::fieldsBefore(const QString& workerid, const QStringList& columns)
{
    QList<FieldChange> out;
    if (!records_)
        return out;
    try {
        const QList<CellValue> now = PersonnelRows::fields(conn_, workerid, columns, false);
        for (qsizetype i = 0; i < columns.size() && i < now.size(); ++i)
            out << FieldChange{columns[i], now[i], CellValue{}};
    } catch (const std::exception& e) {
        fail(errorText(e));
    }
    return out;
}

void RunRecorder::pending()
{
    WriteSession* session = conn_.writeSession();
    if (!session || !session->groupOpen()) {
        flush();
        return;
    }
    if (session->group() != hookedGroup_) {
        hookedGroup_ = session->group();
        session->beforeCommit([this] { flush(); });
    }
}

void RunRecorder::handOver()
{
    if (!records_ || ready_.count() == 0)
        return;
    if (!groupBegun_) {
        groupBegun_ = true;
        records_->post([](RunRecords& r) { r.begin(); });
    }
    if (!columnsKept_ && !bound_.columns().isEmpty()) {
        columnsKept_ = true;
        records_->post([this, columns = bound_.columns()](RunRecords& r) { r.setColumns(runId_, columns); });
    }
    RunRecords::Pack next;
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        std::swap(next, spare_);
    }
    std::swap(next, ready_);
    unCheckpointed_ += next.count() * kRowBytesOnFile;
    records_->post([this, pack = std::move(next)](RunRecords& r) mutable {
        r.addPack(runId_, pack.bytes());
        pack.clear();
        std::lock_guard<std::mutex> lock(spareMutex_);
        spare_ = std::move(pack);
    });
}

void RunRecorder::queueAdded(qint64 wkid, const QString& workerid, bool bound)
{
    if (bound && held_.isEmpty()) {
        ready_.addDigestOf(sheetRow_, wkid, workerid);
        if (ready_.count() >= kHandOverRows)
            handOver();
    } else {
        RunRecords::Row r;
        r.sheetRow = sheetRow_;
        r.wkid = wkid;
        r.workerid = workerid;
        if (bound) {
            PersonnelRows::RowDigest& bytes = ready_.rowBytes();
            r.digest = QByteArray(16, Qt::Uninitialized);
            PersonnelRows::RowDigest::digestOf(bytes.bytes(), r.digest.data());
            bytes.drop();
        }
        held_ << std::move(r);
    }
    pending();
}

void RunRecorder::rowAdded(qint64 wkid, const QString& workerid)
{
    if (records_)
        queueAdded(wkid, workerid, false);
}

void RunRecorder::rowAdded(qint64 wkid, const QString& workerid, const Query& insert)
{
    if (!records_)
        return;
    bool bound = false;
    try {
        if (!boundPrepared_) {
            boundPrepared_ = true;
            bound_.prepare(conn_, insert);
        }
        bound = bound_.rowBytes(insert, ready_.rowBytes());
    } catch (const std::exception&) {
        // Read back with its group, as any row the digest is unsure of.
    }
    queueAdded(wkid, workerid, bound);
}

void RunRecorder::rowUpdated(const QString& workerid, const QList<FieldChange>& changes)
{
    if (!records_)
        return;
    RunRecords::Row r;
    r.sheetRow = sheetRow_;
    r.workerid = workerid;
    r.changes = changes;
    held_ << std::move(r);
    pending();
}

void RunRecorder::flush(bool thenCheckpoint) noexcept
{
    if (!records_ || (ready_.count() == 0 && held_.isEmpty() && !groupBegun_))
        return;
    try {
        // The group's rows as the database holds them now, before they
        // become lasting: what an undo compares with.
        qint64 lo = 0, hi = 0;
        for (const RunRecords::Row& r : held_) {
            if (r.changes.isEmpty() && r.digest.isEmpty()) {
                lo = lo == 0 ? r.wkid : qMin(lo, r.wkid);
                hi = qMax(hi, r.wkid);
            }
        }
        if (hi != 0) {
            QStringList columns;
            const std::map<qint64, QByteArray> stored = PersonnelRows::digestsByWkidRange(conn_, lo, hi, columns);
            if (!columnsKept_) {
                columnsKept_ = true;
                records_->post([this, columns](RunRecords& r) { r.setColumns(runId_, columns); });
            }
            for (RunRecords::Row& r : held_) {
                if (!r.changes.isEmpty() || !r.digest.isEmpty())
                    continue;
                const auto it = stored.find(r.wkid);
                if (it != stored.end())
                    r.digest = it->second;
            }
        }
        for (RunRecords::Row& r : held_) {
            if (r.changes.isEmpty())
                continue;
            QStringList columns;
            for (const FieldChange& f : r.changes)
                columns << f.column;
            const QList<CellValue> after = PersonnelRows::fields(conn_, r.workerid, columns, false);
            for (qsizetype i = 0; i < r.changes.size() && i < after.size(); ++i)
                r.changes[i].after = after[i];
        }
        // An added row not found again is no longer there to undo.
        for (const RunRecords::Row& r : held_)
            if (!r.changes.isEmpty() || !r.digest.isEmpty())
                ready_.add(r);
        held_.clear();
        handOver();
        if (groupBegun_) {
            groupBegun_ = false;
            records_->post([](RunRecords& r) { r.commit(); });
        }
        keepSha256(false);
        const QString why = records_->wait();
        if (!why.isEmpty())
            fail(why);
        else if (thenCheckpoint && unCheckpointed_ > kCheckpointBytes) {
            unCheckpointed_ = 0;  // while the next group fills
            records_->post([](RunRecords& r) { r.checkpoint(); });
        }
    } catch (const std::exception& e) {
        fail(errorText(e));
    } catch (...) {
        fail(QString());
    }
}

void RunRecorder::keepSha256(bool wait)
{
    if (!records_ || !sha256_.valid())
        return;
    if (!wait && sha256_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    const QString sum = sha256_.get();
    records_->post([this, sum](RunRecords& r) { r.setSha256(runId_, sum); });
}

void RunRecorder::runEnded(RunEnd end, int imported, int notImported)
{
    if (!started_) {
        // Refused before its write pass: nothing to keep.
        stopHashing();
        records_.reset();
        return;
    }
    flush(false);  // what is left of the journal is copied by the next run
    try {
        keepSha256(true);
    } catch (const std::exception& e) {
        fail(errorText(e));
    }
    if (records_ && runId_ != 0) {
        records_->post([this, imported, notImported, outcome = outcomeOf(end)](RunRecords& r) {
            r.endRun(runId_, imported, notImported, outcome);
        });
        const QString why = records_->wait();
        if (!why.isEmpty())
            fail(why);
    }
    records_.reset();
    stopHashing();  // not waited for when the record failed
    if (!failure_.isEmpty())
        Dialogs::messageBox(QStringLiteral("本次导入照常进行，但导入记录没有保存，以后无法在“导入记录”里查看或撤销这次导入。原因：%1")
                                .arg(failure_),
                            QStringLiteral("提示"), MsgIcon::Error);
}
