#include "records/PersonnelRows.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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

std::map<qint64, QList<CellValue>> byWkidRange(Connection& connection, qint64 lo, qint64 hi, QStringList& columns)
{
    QSqlQuery q(connection.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("select * from hrp_workers where Wkid>=? and Wkid<=?")))
        throw Error(q.lastError().text());
    q.addBindValue(lo);
    q.addBindValue(hi);
    if (!q.exec())
        throw Error(q.lastError().text());
    const QSqlRecord rec = q.record();
    columns.clear();
    int wkid = -1;
    for (int i = 0; i < rec.count(); ++i) {
        columns << rec.fieldName(i);
        if (rec.fieldName(i).compare(QLatin1String("wkid"), Qt::CaseInsensitive) == 0)
            wkid = i;
    }
    std::map<qint64, QList<CellValue>> out;
    if (wkid < 0)
        return out;
    while (q.next()) {
        QList<CellValue> values;
        values.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            values << cellOf(q.value(i));
        out[q.value(wkid).toLongLong()] = std::move(values);
    }
    return out;
}

std::optional<std::map<QString, CellValue>> row(Connection& connection, qint64 wkid, const QString& workerid, bool lock)
{
    QSqlQuery q(connection.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("select * from %1 where Wkid=? and workerid=?%2").arg(table(connection, lock), lockSuffix(connection, lock))))
        throw Error(q.lastError().text());
    q.addBindValue(wkid);
    q.addBindValue(workerid);
    if (!q.exec())
        throw Error(q.lastError().text());
    if (!q.next())
        return std::nullopt;
    const QSqlRecord rec = q.record();
    std::map<QString, CellValue> out;
    for (int i = 0; i < rec.count(); ++i)
        out[rec.fieldName(i).toLower()] = cellOf(q.value(i));
    return out;
}

} // namespace PersonnelRows
