#include "records/PersonnelRows.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <cstring>
#include <functional>

namespace PersonnelRows {

namespace {
QString table(const Connection& c, bool lock)
{
    if (lock && c.dbms() == Connection::Dbms::SqlServer)
        return QStringLiteral("hrp_workers with (updlock, rowlock)");
    return QStringLiteral("hrp_workers");
}

QString lockSuffix(const Connection& c, bool lock)
{
    return lock && c.dbms() == Connection::Dbms::PostgreSql ? QStringLiteral(" for update") : QString();
}

} // namespace

const QStringList& updateColumns()
{
    static const QStringList columns{
        QStringLiteral("BaseWage"), QStringLiteral("WageLevel"), QStringLiteral("JobTitle"), QStringLiteral("ALanguage"),
        QStringLiteral("BankName"), QStringLiteral("BankId"),    QStringLiteral("Skill"),    QStringLiteral("JobAsses"),
    };
    return columns;
}

bool isUpdateColumn(const QString& column)
{
    return updateColumns().contains(column, Qt::CaseInsensitive);
}

CellValue cellOf(const QVariant& value)
{
    if (value.isNull())
        return CellValue{};
    return CellValue{false, value.toString()};
}

QList<CellValue> fields(Connection& connection, const QString& workerid, const QStringList& columns, bool lock)
{
    for (const QString& c : columns)
        if (!isUpdateColumn(c))
            throw Error(QStringLiteral("导入记录里的列名「%1」不是导入会修改的列").arg(c));
    QSqlQuery q(connection.database());
    q.setForwardOnly(true);
    const QString list = columns.isEmpty() ? QStringLiteral("workerid") : columns.join(u',');
    if (!q.prepare(QStringLiteral("select %1 from %2 where workerid=?%3").arg(list, table(connection, lock), lockSuffix(connection, lock))))
        throw Error(q.lastError().text());
    q.addBindValue(workerid);
    if (!q.exec())
        throw Error(q.lastError().text());
    QList<CellValue> out;
    if (q.next())
        for (qsizetype i = 0; i < columns.size(); ++i)
            out << cellOf(q.value(int(i)));
    return out;
}

namespace {
void addValue(RowDigest& h, const QVariant& v)
{
    if (v.isNull()) {
        h.null();
        return;
    }
    const QByteArray text = v.toString().toUtf8();
    h.text(text.constData(), text.size());
}

// Each row of the statement (its parameters bound by `bind`) as its digest,
// straight from SQLite; false when it cannot be prepared.
template <typename Each>
bool sqliteRows(Connection& connection, const char* sql, const std::function<void(sqlite3_stmt*)>& bind,
                QStringList& columns, Each each)
{
    auto* db = static_cast<sqlite3*>(connection.sqliteHandle());
    sqlite3_stmt* st = nullptr;
    if (!db || sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        throw Error(QString::fromUtf8(db ? sqlite3_errmsg(db) : "no database"));
    struct Finalize {
        sqlite3_stmt* st;
        ~Finalize() { sqlite3_finalize(st); }
    } finalize{st};
    bind(st);
    const int n = sqlite3_column_count(st);
    columns.clear();
    int wkid = -1;
    for (int i = 0; i < n; ++i) {
        columns << QString::fromUtf8(sqlite3_column_name(st, i));
        if (columns.last().compare(QLatin1String("wkid"), Qt::CaseInsensitive) == 0)
            wkid = i;
    }
    RowDigest h;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        h.start();
        for (int i = 0; i < n; ++i) {
            // As stored, without converting: a number as its bytes.
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL:
                h.null();
                break;
            case SQLITE_INTEGER:
                h.integer(sqlite3_column_int64(st, i));
                break;
            case SQLITE_FLOAT:
                h.real(sqlite3_column_double(st, i));
                break;
            default: {
                const void* bytes = sqlite3_column_blob(st, i);
                h.text(static_cast<const char*>(bytes), sqlite3_column_bytes(st, i));
            }
            }
        }
        each(wkid >= 0 ? sqlite3_column_int64(st, wkid) : 0, h.result());
    }
    if (rc != SQLITE_DONE)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
    return true;
}

template <typename Each>
void qtRows(Connection& connection, const QString& sql, const QVariant& a, const QVariant& b, QStringList& columns, Each each)
{
    QSqlQuery q(connection.database());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw Error(q.lastError().text());
    q.addBindValue(a);
    q.addBindValue(b);
    if (!q.exec())
        throw Error(q.lastError().text());
    const QSqlRecord rec = q.record();
    columns.clear();
    int wkid = -1;
    for (int i = 0; i < rec.count(); ++i) {
        columns << rec.fieldName(i);
        if (columns.last().compare(QLatin1String("wkid"), Qt::CaseInsensitive) == 0)
            wkid = i;
    }
    RowDigest h;
    while (q.next()) {
        h.start();
        for (int i = 0; i < rec.count(); ++i)
            addValue(h, q.value(i));
        each(wkid >= 0 ? q.value(wkid).toLongLong() : 0, h.result());
    }
}

bool sameColumns(const QStringList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].compare(b[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}
} // namespace

std::map<qint64, QByteArray> digestsByWkidRange(Connection& connection, qint64 lo, qint64 hi, QStringList& columns)
{
    std::map<qint64, QByteArray> out;
    const auto keep = [&out](qint64 wkid, const QByteArray& digest) { out[wkid] = digest; };
    if (connection.dbms() == Connection::Dbms::Sqlite)
        sqliteRows(connection, "select * from hrp_workers where Wkid>=?1 and Wkid<=?2",
                   [lo, hi](sqlite3_stmt* st) {
                       sqlite3_bind_int64(st, 1, lo);
                       sqlite3_bind_int64(st, 2, hi);
                   },
                   columns, keep);
    else
        qtRows(connection, QStringLiteral("select * from hrp_workers where Wkid>=? and Wkid<=?"), lo, hi, columns, keep);
    return out;
}

std::optional<QByteArray> rowDigest(Connection& connection, qint64 wkid, const QString& workerid, bool lock,
                                    const QStringList& columns)
{
    std::optional<QByteArray> out;
    QStringList now;
    const auto keep = [&out](qint64, const QByteArray& digest) {
        if (!out)
            out = digest;
    };
    if (connection.dbms() == Connection::Dbms::Sqlite) {
        const QByteArray id = workerid.toUtf8();
        sqliteRows(connection, "select * from hrp_workers where Wkid=?1 and workerid=?2",
                   [wkid, &id](sqlite3_stmt* st) {
                       sqlite3_bind_int64(st, 1, wkid);
                       sqlite3_bind_text(st, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
                   },
                   now, keep);
    } else {
        qtRows(connection,
               QStringLiteral("select * from %1 where Wkid=? and workerid=?%2").arg(table(connection, lock), lockSuffix(connection, lock)),
               wkid, workerid, now, keep);
    }
    if (out && !sameColumns(now, columns))
        return QByteArray();
    return out;
}

QByteArray RowDigest::result() const
{
    QByteArray out(16, Qt::Uninitialized);
    digestOf(bytes(), out.data());
    return out;
}

void RowDigest::digestOf(QByteArrayView bytes, char* out)
{
    // Two lanes of multiply and shift over the bytes, 8 at a time: each step
    // is one-to-one in the lane for a given word, so rows that differ in
    // one word always differ in digest; 128 bits against the rest.
    quint64 a = 0x6f7374726531ULL, b = 0x72656364323432ULL;
    const auto step = [](quint64 h, quint64 w, quint64 m) {
        h ^= w;
        h *= m;
        return h ^ (h >> 29);
    };
    const char* p = bytes.data();
    const size_t n = size_t(bytes.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        a = step(a, w, 0x9E3779B97F4A7C15ULL);
        b = step(b, w, 0xC2B2AE3D27D4EB4FULL);
    }
    quint64 w = 0;
    if (n > i) // an empty buffer may have no storage at all
        std::memcpy(&w, p + i, n - i);
    a = step(step(a, w, 0x9E3779B97F4A7C15ULL), quint64(n), 0x9E3779B97F4A7C15ULL);
    b = step(step(b, w, 0xC2B2AE3D27D4EB4FULL), quint64(n), 0xC2B2AE3D27D4EB4FULL);
    std::memcpy(out, &a, 8);
    std::memcpy(out + 8, &b, 8);
}

} // namespace PersonnelRows
