#include "records/RunRecords.h"

#include "platform/Errors.h"

#include <QDataStream>
#include <QtEndian>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVariant>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <limits>

namespace {
constexpr int kSchemaVersion = 1;
constexpr int kMaxValues = 64;  // an update changes eight fields
constexpr int kDigestBytes = 16;  // PersonnelRows' row digest
constexpr quint32 kMaxPackRows = 1000000;  // a group holds far fewer
const QString kSettingsGroupKey = QStringLiteral("Records/PruneOlderThanAYear");

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, started TEXT, ended TEXT,"
    " userid TEXT, db TEXT, workbook TEXT, size INTEGER, sha256 TEXT, sheet TEXT, map TEXT, mode INTEGER,"
    " imported INTEGER DEFAULT 0, not_imported INTEGER DEFAULT 0, outcome TEXT DEFAULT '', undone_by TEXT,"
    " undone_at TEXT, undo_of INTEGER DEFAULT 0, columns TEXT DEFAULT '')",
    // A pack of a run's rows in each row: a group of the personnel database
    // writes one or a few.
    "CREATE TABLE IF NOT EXISTS rows(run INTEGER NOT NULL, data BLOB)",
    "CREATE INDEX IF NOT EXISTS rows_run ON rows(run)",
};

QString stamp(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime unstamp(const QVariant& v)
{
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    t.setTimeZone(QTimeZone::utc());
    return t.toLocalTime();
}

void writeCell(QDataStream& s, const CellValue& c)
{
    s << quint8(c.null ? 1 : 0);
    if (!c.null)
        s << c.text;
}

bool readCell(QDataStream& s, CellValue& c)
{
    quint8 null = 0;
    s >> null;
    c.null = null != 0;
    c.text.clear();
    if (!c.null)
        s >> c.text;
    return s.status() == QDataStream::Ok;
}

// An add row keeps only its digest ('D'); an update its fields ('U').
QByteArray encode(const RunRecords::Row& row)
{
    if (row.changes.isEmpty())
        return 'D' + row.digest;
    QByteArray out("U");
    QDataStream s(&out, QIODevice::Append);
    s.setVersion(QDataStream::Qt_6_0);
    s << quint32(row.changes.size());
    for (const FieldChange& f : row.changes) {
        s << f.column;
        writeCell(s, f.before);
        writeCell(s, f.after);
    }
    return out;
}

// False for data that does not decode; the row then holds nothing.
bool decode(const QByteArray& data, RunRecords::Row& row)
{
    if (data.startsWith('D')) {
        row.digest = data.mid(1);
        return row.digest.size() == kDigestBytes;
    }
    if (!data.startsWith('U'))
        return false;
    QDataStream s(data.mid(1));
    s.setVersion(QDataStream::Qt_6_0);
    quint32 n = 0;
    s >> n;
    if (s.status() != QDataStream::Ok || n > quint32(kMaxValues))
        return false;
    for (quint32 i = 0; i < n; ++i) {
        FieldChange f;
        s >> f.column;
        if (!readCell(s, f.before) || !readCell(s, f.after))
            return false;
        row.changes << f;
    }
    return true;
}

void raiseOn(const QSqlQuery& q, const QString& path)
{
    throw Error(QStringLiteral("导入记录文件 %1 无法读写：%2").arg(QDir::toNativeSeparators(path), q.lastError().text()));
}

QSqlQuery prepared(const QSqlDatabase& db, const QString& sql, const QString& path)
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        raiseOn(q, path);
    return q;
}

void execute(QSqlQuery& q, const QString& path)
{
    if (!q.exec())
        raiseOn(q, path);
}

RunRecords::Run runFrom(const QSqlQuery& q)
{
    RunRecords::Run r;
    r.id = q.value(0).toLongLong();
    r.kind = q.value(1).toString();
    r.started = unstamp(q.value(2));
    r.ended = unstamp(q.value(3));
    r.userId = q.value(4).toString();
    r.database = q.value(5).toString();
    r.workbook = q.value(6).toString();
    r.size = q.value(7).toLongLong();
    r.sha256 = q.value(8).toString();
    r.sheet = q.value(9).toString();
    r.map = q.value(10).toString().split(u'\x1f');
    r.mode = q.value(11).toInt();
    r.imported = q.value(12).toInt();
    r.notImported = q.value(13).toInt();
    r.outcome = q.value(14).toString();
    r.undoneBy = q.value(15).toString();
    r.undoneAt = unstamp(q.value(16));
    r.undoOf = q.value(17).toLongLong();
    const QString columns = q.value(18).toString();
    r.columns = columns.isEmpty() ? QStringList() : columns.split(u',');
    return r;
}

const QString kRunColumns = QStringLiteral(
    "id, kind, started, ended, userid, db, workbook, size, sha256, sheet, map, mode, imported, not_imported,"
    " outcome, undone_by, undone_at, undo_of, columns");
} // namespace

QString RunRecords::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Ostrel/records.sqlite");
}

static QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/records.ini");
}

bool RunRecords::pruneSetting()
{
    return QSettings(settingsPath(), QSettings::IniFormat).value(kSettingsGroupKey, false).toBool();
}

void RunRecords::setPruneSetting(bool on)
{
    QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
    QSettings s(settingsPath(), QSettings::IniFormat);
    s.setValue(kSettingsGroupKey, on);
}

RunRecords::RunRecords(const QString& path)
    : path_(path)
{
    static std::atomic<int> serial{0};
    name_ = QStringLiteral("ostrel-records-%1").arg(++serial);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw Error(QStringLiteral("无法建立导入记录的文件夹 %1").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
        throw Error(QStringLiteral("导入记录文件 %1 无法打开：%2").arg(QDir::toNativeSeparators(path), why));
    }
    try {
        // A file that is no database shows here, before a run relies on it.
        // Not quick_check: that reads the whole file, which grows with every
        // run; damage further in fails the write that meets it.
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("select count(*) from sqlite_master")) || !check.next())
            throw Error(QStringLiteral("导入记录文件 %1 已损坏：%2")
                            .arg(QDir::toNativeSeparators(path), check.lastError().isValid() ? check.lastError().text() : check.value(0).toString()));
        check.finish();
        // Rows are made durable with the group; a power cut may lose the last
        // one, a killed program loses nothing. A new file's pages are large:
        // a group's rows go in as one long value.
        exec(QStringLiteral("PRAGMA page_size=16384"));
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        for (const char* sql : kSchema)
            exec(QString::fromLatin1(sql));
        exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
        throw;
    }
}

RunRecords::~RunRecords()
{
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

void RunRecords::exec(const QString& sql) const
{
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(sql))
        raiseOn(q, path_);
}

qint64 RunRecords::startRun(const Run& h)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("INSERT INTO runs(kind, started, userid, db, workbook, size, sha256, sheet,"
                                          " map, mode, imported, not_imported, outcome, undo_of)"
                                          " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                           path_);
    const QVariantList values{h.kind, stamp(h.started), h.userId, h.database, h.workbook, h.size, h.sha256, h.sheet,
                              h.map.join(u'\x1f'), h.mode, h.imported, h.notImported, h.outcome, h.undoOf};
    for (const QVariant& v : values)
        q.addBindValue(v);
    execute(q, path_);
    return q.lastInsertId().toLongLong();
}

void RunRecords::setColumns(qint64 id, const QStringList& columns)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false), QStringLiteral("UPDATE runs SET columns=? WHERE id=?"), path_);
    q.addBindValue(columns.join(u','));
    q.addBindValue(id);
    execute(q, path_);
}

void RunRecords::setSha256(qint64 id, const QString& sha256)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false), QStringLiteral("UPDATE runs SET sha256=? WHERE id=?"), path_);
    q.addBindValue(sha256);
    q.addBindValue(id);
    execute(q, path_);
}

namespace {
// A pack as written now: kPackMark, then each row: its sheet row and Wkid
// as the change from the row before (zigzag varints, from 0), its worker
// number (varint UTF-8 length + 1, 0 for none, then the bytes) and its data
// (varint length, then the bytes). Half the size of the packs written
// before, which rows() still reads (QDataStream, Qt 6.0: a row count first).
// Read as such a count the mark is too large: an older program skips the pack.
constexpr quint32 kPackMark = 0xFFFFFF02;
constexpr qsizetype kMostVarint = 10;

char* putVarint(char* out, quint64 v)
{
    while (v >= 0x80) {
        *out++ = char(v | 0x80);
        v >>= 7;
    }
    *out++ = char(v);
    return out;
}

quint64 zigzag(qint64 v)
{
    return (quint64(v) << 1) ^ quint64(v >> 63);
}

qint64 unzigzag(quint64 v)
{
    return qint64(v >> 1) ^ -qint64(v & 1);
}

// Bounds-checked reading of a pack of the present form.
struct PackReader {
    const char* p;
    const char* end;
    bool ok = true;

    quint64 varint()
    {
        quint64 v = 0;
        for (int shift = 0; shift < 64 && p < end; shift += 7) {
            const quint8 b = quint8(*p++);
            v |= quint64(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
        }
        ok = false;
        return 0;
    }
    QByteArrayView bytes(quint64 n)
    {
        if (n > quint64(end - p)) {
            ok = false;
            return QByteArrayView();
        }
        const QByteArrayView out(p, qsizetype(n));
        p += n;
        return out;
    }
};
} // namespace

char* RunRecords::Pack::room(qsizetype more)
{
    if (n_ == 0)
        n_ = sizeof kPackMark;
    if (n_ + more > bytes_.size())
        bytes_.resize(qMax(2 * bytes_.size(), n_ + more + 4096));
    return bytes_.data() + n_;
}

char* RunRecords::Pack::putRowStart(qsizetype most, int sheetRow, qint64 wkid, QStringView workerid)
{
    char* out = room(3 * kMostVarint + 3 * workerid.size() + most);
    out = putVarint(out, zigzag(qint64(sheetRow) - lastSheetRow_));
    out = putVarint(out, zigzag(qint64(quint64(wkid) - quint64(lastWkid_))));
    lastSheetRow_ = sheetRow;
    lastWkid_ = wkid;
    if (workerid.isNull())
        return putVarint(out, 0);
    bool ascii = true;
    for (const QChar c : workerid)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        out = putVarint(out, quint64(workerid.size()) + 1);
        for (const QChar c : workerid)
            *out++ = char(c.unicode());
        return out;
    }
    const QByteArray utf8 = workerid.toUtf8();
    out = putVarint(out, quint64(utf8.size()) + 1);
    std::memcpy(out, utf8.constData(), size_t(utf8.size()));
    return out + utf8.size();
}

void RunRecords::Pack::addDigestOf(int sheetRow, qint64 wkid, const QString& workerid)
{
    // Only its characters: an added row always has a worker number.
    workerids_.insert(workerids_.end(), workerid.utf16(), workerid.utf16() + workerid.size());
    added_.push_back(Added{sheetRow, wkid, rowBytes_.all().size(), qsizetype(workerids_.size())});
    ++count_;
}

void RunRecords::Pack::putAdded()
{
    const QByteArrayView all = rowBytes_.all();
    qsizetype bytesStart = 0, workeridStart = 0;
    for (const Added& a : added_) {
        const QStringView workerid(workerids_.data() + workeridStart, a.workeridEnd - workeridStart);
        char* out = putRowStart(kMostVarint + 1 + kDigestBytes, a.sheetRow, a.wkid, workerid);
        out = putVarint(out, 1 + kDigestBytes);
        *out++ = 'D';
        PersonnelRows::RowDigest::digestOf(all.sliced(bytesStart, a.bytesEnd - bytesStart), out);
        n_ = out + kDigestBytes - bytes_.constData();
        bytesStart = a.bytesEnd;
        workeridStart = a.workeridEnd;
    }
    added_.clear();
    workerids_.clear();
    rowBytes_.start();
}

void RunRecords::Pack::add(const Row& row)
{
    putAdded();  // the rows keep their order
    const QByteArray data = encode(row);
    char* out = putRowStart(kMostVarint + data.size(), row.sheetRow, row.wkid, row.workerid);
    out = putVarint(out, quint64(data.size()));
    std::memcpy(out, data.constData(), size_t(data.size()));
    n_ = out + data.size() - bytes_.constData();
    ++count_;
}

QByteArray RunRecords::Pack::bytes()
{
    if (count_ == 0)
        return QByteArray();
    putAdded();
    const quint32 mark = qToBigEndian(kPackMark);
    std::memcpy(bytes_.data(), &mark, sizeof mark);
    return QByteArray::fromRawData(bytes_.constData(), n_);
}

void RunRecords::Pack::clear()
{
    n_ = 0;
    count_ = 0;
    lastSheetRow_ = 0;
    lastWkid_ = 0;
    added_.clear();
    workerids_.clear();
    rowBytes_.start();
}

void RunRecords::addRows(qint64 id, const QList<Row>& rows)
{
    Pack pack;
    for (const Row& r : rows)
        pack.add(r);
    if (pack.count() > 0)
        addPack(id, pack.bytes());
}

void RunRecords::addPack(qint64 id, const QByteArray& pack)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false), QStringLiteral("INSERT INTO rows(run, data) VALUES(?,?)"), path_);
    q.addBindValue(id);
    q.addBindValue(pack);
    execute(q, path_);
}

void RunRecords::begin()
{
    exec(QStringLiteral("BEGIN"));
}

void RunRecords::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void RunRecords::checkpointLater()
{
    const QVariant h = QSqlDatabase::database(name_, false).driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        sqlite3_db_config(*static_cast<sqlite3* const*>(h.constData()), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
}

void RunRecords::checkpoint()
{
    // Passive: what no reader still needs; the rest goes with the next one.
    exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

void RunRecords::endRun(qint64 id, int imported, int notImported, const QString& outcome)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("UPDATE runs SET ended=?, imported=?, not_imported=?, outcome=? WHERE id=?"), path_);
    q.addBindValue(stamp(QDateTime::currentDateTime()));
    q.addBindValue(imported);
    q.addBindValue(notImported);
    q.addBindValue(outcome);
    q.addBindValue(id);
    execute(q, path_);
}

void RunRecords::markUndone(qint64 id, const QString& userId, const QDateTime& when)
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("UPDATE runs SET undone_by=?, undone_at=? WHERE id=?"), path_);
    q.addBindValue(userId);
    q.addBindValue(stamp(when));
    q.addBindValue(id);
    execute(q, path_);
}

QList<RunRecords::Run> RunRecords::runs(int limit) const
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("SELECT %1 FROM runs ORDER BY id DESC LIMIT ?").arg(kRunColumns), path_);
    q.addBindValue(limit > 0 ? limit : -1);
    execute(q, path_);
    QList<Run> out;
    while (q.next())
        out << runFrom(q);
    return out;
}

std::optional<RunRecords::Run> RunRecords::run(qint64 id) const
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("SELECT %1 FROM runs WHERE id=?").arg(kRunColumns), path_);
    q.addBindValue(id);
    execute(q, path_);
    if (!q.next())
        return std::nullopt;
    return runFrom(q);
}

QList<RunRecords::Row> RunRecords::rows(qint64 id) const
{
    QSqlQuery q = prepared(QSqlDatabase::database(name_, false),
                           QStringLiteral("SELECT data FROM rows WHERE run=? ORDER BY rowid"), path_);
    q.addBindValue(id);
    execute(q, path_);
    QList<Row> out;
    while (q.next()) {
        const QByteArray pack = q.value(0).toByteArray();
        if (pack.size() >= qsizetype(sizeof kPackMark) && qFromBigEndian<quint32>(pack.constData()) == kPackMark) {
            PackReader in{pack.constData() + sizeof kPackMark, pack.constData() + pack.size()};
            qint64 sheetRow = 0, wkid = 0;
            while (in.ok && in.p < in.end) {
                // Wrapping, never overflowing, on whatever the file holds.
                sheetRow = qint64(quint64(sheetRow) + quint64(unzigzag(in.varint())));
                wkid = qint64(quint64(wkid) + quint64(unzigzag(in.varint())));
                Row r;
                const quint64 workerid = in.varint();
                if (workerid > 0)
                    r.workerid = QString::fromUtf8(in.bytes(workerid - 1));
                const QByteArrayView data = in.bytes(in.varint());
                if (!in.ok || sheetRow < 0 || sheetRow > std::numeric_limits<int>::max())
                    break;
                r.sheetRow = int(sheetRow);
                r.wkid = wkid;
                if (!decode(data.toByteArray(), r)) {
                    r.digest.clear();
                    r.changes.clear();
                }
                out << r;
            }
            continue;
        }
        QDataStream s(pack);
        s.setVersion(QDataStream::Qt_6_0);
        quint32 n = 0;
        s >> n;
        if (n > kMaxPackRows)
            continue;  // not a pack we wrote
        for (quint32 i = 0; i < n && s.status() == QDataStream::Ok; ++i) {
            Row r;
            qint32 sheetRow = 0;
            QByteArray data;
            s >> sheetRow >> r.wkid >> r.workerid >> data;
            if (s.status() != QDataStream::Ok)
                break;
            r.sheetRow = sheetRow;
            if (!decode(data, r)) {
                r.digest.clear();
                r.changes.clear();
            }
            out << r;
        }
    }
    return out;
}

int RunRecords::pruneBefore(const QDateTime& cutoff)
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    db.transaction();
    QSqlQuery rowsGone = prepared(db, QStringLiteral("DELETE FROM rows WHERE run IN (SELECT id FROM runs WHERE started < ?)"), path_);
    rowsGone.addBindValue(stamp(cutoff));
    QSqlQuery runsGone = prepared(db, QStringLiteral("DELETE FROM runs WHERE started < ?"), path_);
    runsGone.addBindValue(stamp(cutoff));
    try {
        execute(rowsGone, path_);
        execute(runsGone, path_);
    } catch (...) {
        db.rollback();
        throw;
    }
    db.commit();
    return runsGone.numRowsAffected();
}

int RunRecords::pruneBySetting()
{
    if (!pruneSetting())
        return 0;
    return pruneBefore(QDateTime::currentDateTime().addDays(-PruneAfterDays));
}
