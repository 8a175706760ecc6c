#include "records/InsertDigest.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/QueryParts.h"
#include "records/PersonnelRows.h"

#include <sqlite3.h>

namespace {
constexpr int kMaxPlainDigits = 18;  // always within a 64-bit integer

// Splits "a, b ,'c,d'" at the commas outside quotes; each part trimmed.
QStringList splitTopLevel(const QString& list)
{
    QStringList parts;
    QString part;
    QChar quote;
    for (const QChar c : list) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u',') {
            parts << part.trimmed();
            part.clear();
            continue;
        }
        part += c;
    }
    parts << part.trimmed();
    return parts;
}

bool plainName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() || c == u'_'))
            return false;
    return true;
}

// Text that no SQLite number reading accepts: it stays text whatever the
// column's affinity.
bool surelyText(const QString& text)
{
    if (text.isEmpty())
        return true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool numberish = (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.' || u == u'e'
            || u == u'E' || u == u' ' || (u >= u'\t' && u <= u'\r');
        if (!numberish)
            return true;
    }
    return false;
}

// "0", or digits without a leading zero after an optional minus: what
// SQLite stores as that very integer in a numeric column.
bool plainInteger(const QString& text, qint64& value)
{
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = text.size() - i;
    if (digits < 1 || digits > kMaxPlainDigits)
        return false;
    if (text[i] == u'0')
        return text == QLatin1String("0") && (value = 0, true);
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        v = v * 10 + (text[i].unicode() - u'0');
    }
    value = text.startsWith(u'-') ? -v : v;
    return true;
}

// One text result of a statement on the raw handle, or "" when none.
QString scalarText(sqlite3* db, const char* sql, const QByteArray& bind = QByteArray())
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
    if (!bind.isNull())
        sqlite3_bind_text(st, 1, bind.constData(), int(bind.size()), SQLITE_TRANSIENT);
    QString out;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
    return out;
}
} // namespace

InsertDigest::Affinity InsertDigest::affinityOf(const QString& declaredType)
{
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Affinity::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (t.contains(QLatin1String("BLOB")) || t.isEmpty())
        return Affinity::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

bool InsertDigest::prepare(Connection& connection, const Query& insert)
{
    ready_ = false;
    sql_ = insert.sql();
    columns_.clear();
    layout_.clear();
    literals_.clear();
    auto* db = static_cast<sqlite3*>(connection.sqliteHandle());
    if (!db || connection.dbms() != Connection::Dbms::Sqlite)
        return false;

    // insert into TABLE(columns) Values(values)
    const QString sql = sql_.simplified();
    if (!sql.startsWith(QLatin1String("insert into "), Qt::CaseInsensitive))
        return false;
    const qsizetype open = sql.indexOf(u'(');
    const qsizetype close = sql.indexOf(u')', open);
    const qsizetype values = sql.indexOf(QLatin1String("values("), close, Qt::CaseInsensitive);
    const qsizetype last = sql.lastIndexOf(u')');
    if (open < 0 || close < 0 || values < 0 || last < values || !sql.mid(last + 1).trimmed().isEmpty())
        return false;
    const QString table = sql.mid(12, open - 12).trimmed();
    const QStringList names = splitTopLevel(sql.mid(open + 1, close - open - 1));
    const QStringList given = splitTopLevel(sql.mid(values + 7, last - values - 7));
    if (!plainName(table) || names.size() != given.size())
        return false;
    const QStringList params = insert.parameterNames();

    if (scalarText(db, "PRAGMA encoding") != QLatin1String("UTF-8"))
        return false;
    const QByteArray name = table.toUtf8();
    // Our rows exactly as bound: a plain table, no trigger, nothing in temp.
    const QString create = scalarText(db, "select sql from sqlite_master where type='table' and name=?1 collate nocase", name);
    if (!create.startsWith(QLatin1String("CREATE TABLE"), Qt::CaseInsensitive)
        || !create.mid(create.lastIndexOf(u')') + 1).trimmed().isEmpty())
        return false;
    if (scalarText(db, "select count(*) from sqlite_master where type='trigger' and tbl_name=?1 collate nocase", name) != u'0'
        || scalarText(db, "select count(*) from sqlite_temp_master where tbl_name=?1 collate nocase", name) != u'0')
        return false;

    sqlite3_stmt* st = nullptr;
    const QByteArray info = "PRAGMA table_xinfo(\"" + name + "\")";
    if (sqlite3_prepare_v2(db, info.constData(), -1, &st, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
    struct Finalize {
        sqlite3_stmt* st;
        ~Finalize() { sqlite3_finalize(st); }
    } finalize{st};
    std::vector<bool> used(size_t(names.size()), false);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        // cid, name, type, notnull, dflt_value, pk, hidden
        const QString column = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
        if (sqlite3_column_int(st, 6) != 0)
            return false;  // generated or hidden
        Column c;
        c.affinity = affinityOf(type);
        qsizetype k = -1;
        for (qsizetype i = 0; i < names.size() && k < 0; ++i)
            if (names[i].compare(column, Qt::CaseInsensitive) == 0)
                k = i;
        if (k < 0) {
            if (sqlite3_column_type(st, 4) != SQLITE_NULL)
                return false;  // a default we would have to work out
        } else {
            used[size_t(k)] = true;
            const QString& v = given[k];
            if (v.startsWith(u':')) {
                for (qsizetype p = 0; p < params.size() && c.param < 0; ++p)
                    if (params[p].compare(v.mid(1), Qt::CaseInsensitive) == 0)
                        c.param = int(p);
                if (c.param < 0)
                    return false;
            } else if (v.size() >= 2 && v.startsWith(u'\'') && v.endsWith(u'\'')) {
                c.literal = int(literals_.size());
                const QString text = v.mid(1, v.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
                c.literalText = c.affinity == Affinity::Text || c.affinity == Affinity::Blob || surelyText(text);
                literals_ << text.toUtf8();
            } else if (v.compare(QLatin1String("null"), Qt::CaseInsensitive) != 0) {
                return false;
            }
        }
        columns_ << column;
        layout_.push_back(c);
    }
    if (rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
    for (bool u : used)
        if (!u)
            return false;  // a column we did not find
    ready_ = !layout_.empty();
    return ready_;
}

bool InsertDigest::rowBytes(const Query& insert, PersonnelRows::RowDigest& h)
{
    // The same text object as prepared, almost always: no need to compare it.
    const QString sql = insert.sql();
    if (!ready_ || (sql.constData() != sql_.constData() && sql != sql_))
        return false;
    const QList<Param>& params = insert.parameterValues();
    std::vector<QByteArrayView>& bound = bound_;
    if (!insert.boundUtf8(bound) || bound.size() != size_t(params.size()))
        return false;
    h.next();
    // Whatever this row gets to before it fails goes again.
    struct DropUnlessKept {
        PersonnelRows::RowDigest& h;
        bool kept = false;
        ~DropUnlessKept()
        {
            if (!kept)
                h.drop();
        }
    } row{h};
    for (const Column& c : layout_) {
        if (c.literal >= 0) {
            const QByteArray& text = literals_[c.literal];
            if (!c.literalText)
                return false;
            h.text(text.constData(), text.size());
            continue;
        }
        if (c.param < 0 || c.param >= params.size()) {
            h.null();
            continue;
        }
        // Most values: text bound to a text column, stored as the very bytes
        // the statement bound (which are there for text values only).
        const QByteArrayView text = bound[size_t(c.param)];
        if (!text.isNull() && (c.affinity == Affinity::Text || c.affinity == Affinity::Blob)) {
            h.text(text.data(), text.size());
            continue;
        }
        const Param& p = params[c.param];
        switch (p.kind) {
        case Param::Null:
            h.null();
            break;
        case Param::Integer:
            if (c.affinity == Affinity::Text) {
                const QByteArray text = QByteArray::number(p.integer);
                h.text(text.constData(), text.size());
            } else if (c.affinity == Affinity::Real) {
                return false;
            } else {
                h.integer(p.integer);
            }
            break;
        case Param::Text: {
            qint64 whole = 0;
            if (c.affinity == Affinity::Text || c.affinity == Affinity::Blob || surelyText(p.text)) {
                if (text.isNull())
                    return false;
                h.text(text.data(), text.size());
            } else if (c.affinity != Affinity::Real && plainInteger(p.text, whole)) {
                h.integer(whole);
            } else {
                return false;
            }
            break;
        }
        default:
            return false;
        }
    }
    row.kept = true;
    return true;
}
