#include "platform/db/Query.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/WriteSession.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <cmath>
#include <unordered_map>

namespace {

bool endsName(QChar c)
{
    switch (c.unicode()) {
    case u' ': case u'\t': case u',': case u';': case u')': case u'\n': case u'\r':
        return true;
    default:
        return false;
    }
}

// The statement with its markers replaced, and which parameter each "?"
// stands for.
struct ParsedSql {
    QString sql;
    QStringList names;   // first spelling of each distinct name
    QList<int> slots;    // index into names per placeholder
};

ParsedSql parseMarkers(const QString& text)
{
    ParsedSql p;
    p.sql.reserve(text.size());
    QHash<QString, int> index;
    QChar quote;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            // A doubled quote closes and reopens at once: same outcome.
            if (c == quote)
                quote = QChar();
            p.sql += c;
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            p.sql += c;
            continue;
        }
        if (c != u':') {
            p.sql += c;
            continue;
        }
        if (i + 1 < n && text[i + 1] == u':') {
            p.sql += QLatin1String("::");
            ++i;
            continue;
        }
        if (i + 1 >= n || endsName(text[i + 1])) {
            p.sql += c;
            continue;
        }
        qsizetype j = i + 1;
        while (j < n && !endsName(text[j]))
            ++j;
        const QString name = text.mid(i + 1, j - i - 1);
        const QString key = name.toLower();
        auto it = index.constFind(key);
        int slot;
        if (it == index.constEnd()) {
            slot = int(p.names.size());
            index.insert(key, slot);
            p.names << name;
        } else {
            slot = *it;
        }
        p.slots << slot;
        p.sql += u'?';
        i = j - 1;
    }
    return p;
}

struct Param {
    QString name;
    bool hasValue = false;
    QVariant value;
};

QString providerText(const QSqlError& e)
{
    const QString db = e.databaseText().trimmed();
    return db.isEmpty() ? e.driverText().trimmed() : db;
}

constexpr size_t MaxCached = 64;

// A prepared statement straight on SQLite. Qt's driver costs more than the
// statement itself for the short statements an import runs by the thousand.
struct NativeStatement {
    sqlite3_stmt* stmt = nullptr;
    ~NativeStatement() { sqlite3_finalize(stmt); }
};

sqlite3* nativeHandle(const Connection& conn)
{
    return static_cast<sqlite3*>(conn.sqliteHandle());
}

QString nativeError(sqlite3* db)
{
    return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db))).trimmed();
}

} // namespace

struct Query::Impl {
    Connection* conn = nullptr;

    bool hasLines = false;
    QString text;
    bool dirty = false;   // text changed since the markers were read
    ParsedSql parsed;
    QList<Param> params;  // parallel to parsed.names

    bool open = false;
    QStringList fields;
    QHash<QString, int> fieldIndex;  // lower-case name
    QList<QVariantList> rows;
    int current = 0;

    QHash<QString, ParsedSql> parseCache;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> prepared;
    std::unordered_map<QString, std::unique_ptr<NativeStatement>> native;

    void dropStatements()
    {
        prepared.clear();
        native.clear();
    }

    void ensureParsed()
    {
        if (!dirty)
            return;
        dirty = false;
        auto it = parseCache.constFind(text);
        if (it == parseCache.constEnd()) {
            if (parseCache.size() > 256)
                parseCache.clear();
            it = parseCache.insert(text, parseMarkers(text));
        }
        parsed = *it;
        QList<Param> next;
        next.reserve(parsed.names.size());
        for (const QString& name : std::as_const(parsed.names)) {
            Param p;
            p.name = name;
            for (const Param& old : std::as_const(params)) {
                if (old.name.compare(name, Qt::CaseInsensitive) == 0) {
                    p.hasValue = old.hasValue;
                    p.value = old.value;
                    break;
                }
            }
            next << p;
        }
        params = std::move(next);
    }

    Param& param(const QString& name)
    {
        ensureParsed();
        // Callers mostly spell a name as the statement does.
        for (Param& p : params)
            if (p.name == name)
                return p;
        for (Param& p : params)
            if (p.name.compare(name, Qt::CaseInsensitive) == 0)
                return p;
        throw DbError(QStringLiteral("Parameter '%1' not found").arg(name));
    }

    int fieldColumn(const QString& name) const
    {
        auto it = fieldIndex.constFind(name.toLower());
        if (it == fieldIndex.constEnd())
            throw DbError(QStringLiteral("Field '%1' not found").arg(name));
        return *it;
    }

    const QVariant* fieldValue(const QString& name) const
    {
        const int col = fieldColumn(name);
        if (current < 0 || current >= rows.size())
            return nullptr;
        return &rows[current][col];
    }

    void checkReady()
    {
        if (!conn || (!conn->sqliteHandle() && !conn->connected()))
            throw DbError(QStringLiteral("Operation is not allowed when the object is closed."));
        ensureParsed();
        for (const Param& p : std::as_const(params))
            if (!p.hasValue)
                throw DbError(QStringLiteral("No value given for parameter '%1'.").arg(p.name));
    }

    // Runs the statement on SQLite directly; with keepRows, the result is
    // read into rows. False when the connection is not a SQLite one.
    bool runNative(bool keepRows)
    {
        sqlite3* db = nativeHandle(*conn);
        if (!db)
            return false;
        auto it = native.find(parsed.sql);
        if (it == native.end()) {
            auto st = std::make_unique<NativeStatement>();
            if (sqlite3_prepare16_v3(db, parsed.sql.utf16(), int(parsed.sql.size() * 2), SQLITE_PREPARE_PERSISTENT,
                                     &st->stmt, nullptr) != SQLITE_OK)
                throw DbError(nativeError(db));
            if (native.size() >= MaxCached)
                native.clear();
            it = native.emplace(parsed.sql, std::move(st)).first;
        }
        sqlite3_stmt* stmt = it->second->stmt;
        struct Reset {
            sqlite3_stmt* s;
            ~Reset()
            {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
            }
        } reset{stmt};
        for (int i = 0; i < parsed.slots.size(); ++i) {
            const QVariant& v = params[parsed.slots[i]].value;
            int rc;
            if (v.isNull())
                rc = sqlite3_bind_null(stmt, i + 1);
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
            else {
                const QString t = v.toString();
                rc = sqlite3_bind_text16(stmt, i + 1, t.utf16(), int(t.size() * 2), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK)
                throw DbError(nativeError(db));
        }
        const int cols = keepRows ? sqlite3_column_count(stmt) : 0;
        if (keepRows) {
            for (int c = 0; c < cols; ++c)
                fields << QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_name16(stmt, c)));
            for (int c = cols - 1; c >= 0; --c)
                fieldIndex.insert(fields[c].toLower(), c);
        }
        for (;;) {
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                throw DbError(nativeError(db));
            if (!keepRows)
                continue;
            QVariantList row;
            row.reserve(cols);
            for (int c = 0; c < cols; ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    row << QVariant(qlonglong(sqlite3_column_int64(stmt, c)));
                    break;
                case SQLITE_FLOAT:
                    row << QVariant(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_NULL:
                    row << QVariant(QMetaType(QMetaType::QString));
                    break;
                case SQLITE_BLOB:
                    row << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                               sqlite3_column_bytes(stmt, c)));
                    break;
                default: {
                    const auto* t = static_cast<const char16_t*>(sqlite3_column_text16(stmt, c));
                    row << QVariant(QString::fromUtf16(t, sqlite3_column_bytes16(stmt, c) / 2));
                }
                }
            }
            rows << std::move(row);
        }
        return true;
    }

    QSqlQuery& run()
    {
        auto it = prepared.find(parsed.sql);
        if (it == prepared.end()) {
            auto q = std::make_unique<QSqlQuery>(conn->database());
            q->setForwardOnly(true);
            if (!q->prepare(parsed.sql))
                throw DbError(providerText(q->lastError()));
            if (prepared.size() >= MaxCached)
                prepared.clear();
            it = prepared.emplace(parsed.sql, std::move(q)).first;
        }
        QSqlQuery& q = *it->second;
        for (int i = 0; i < parsed.slots.size(); ++i)
            q.bindValue(i, params[parsed.slots[i]].value);
        if (!q.exec()) {
            const QString text = providerText(q.lastError());
            q.finish();
            throw DbError(text);
        }
        return q;
    }
};

Query::Query(Connection& connection)
    : d(std::make_unique<Impl>())
{
    d->conn = &connection;
    connection.attach(this);
}

Query::~Query()
{
    d->dropStatements();
    if (d->conn)
        d->conn->detach(this);
}

void Query::releaseStatements()
{
    d->dropStatements();
}

void Query::connectionGone()
{
    d->dropStatements();
    d->conn = nullptr;
}

void Query::close()
{
    d->open = false;
    d->rows.clear();
    d->fields.clear();
    d->fieldIndex.clear();
    d->current = 0;
}

void Query::clear()
{
    close();
    d->hasLines = false;
    d->text.clear();
    d->params.clear();
    d->parsed = ParsedSql();
    d->dirty = false;
}

void Query::add(const QString& line)
{
    close();
    if (d->hasLines)
        d->text += u'\n';
    d->text += line;
    d->hasLines = true;
    d->dirty = true;
}

QString Query::sql() const
{
    return d->text;
}

QString Query::preparedSql() const
{
    d->ensureParsed();
    return d->parsed.sql;
}

QStringList Query::parameterNames() const
{
    d->ensureParsed();
    return d->parsed.names;
}

void Query::setText(const QString& name, const QString& value)
{
    Param& p = d->param(name);
    // Qt SQL binds a null QString as NULL; text is text, even when empty.
    p.value = value.isNull() ? QString(QLatin1String("")) : value;
    p.hasValue = true;
}

void Query::setInteger(const QString& name, qint64 value)
{
    Param& p = d->param(name);
    p.value = QVariant(qlonglong(value));
    p.hasValue = true;
}

void Query::setNull(const QString& name)
{
    Param& p = d->param(name);
    p.value = QVariant(QMetaType(QMetaType::QString));
    p.hasValue = true;
}

void Query::open()
{
    close();
    d->checkReady();
    WriteSession* session = d->conn->writeSession();
    try {
        if (session)
            session->beforeStatement();
        openRows();
    } catch (...) {
        close();
        if (session)
            session->statementFailed();
        throw;
    }
    if (session)
        session->statementDone(false);
}

void Query::openRows()
{
    if (d->runNative(true)) {
        d->open = true;
        return;
    }
    QSqlQuery& q = d->run();
    if (q.isSelect()) {
        const QSqlRecord rec = q.record();
        const int cols = rec.count();
        for (int c = 0; c < cols; ++c) {
            const QString name = rec.fieldName(c);
            d->fields << name;
        }
        // Backwards, so that a repeated name finds its first column.
        for (int c = cols - 1; c >= 0; --c)
            d->fieldIndex.insert(d->fields[c].toLower(), c);
        while (q.next()) {
            QVariantList row;
            row.reserve(cols);
            for (int c = 0; c < cols; ++c)
                row << q.value(c);
            d->rows << std::move(row);
        }
        if (q.lastError().isValid()) {
            const QString text = providerText(q.lastError());
            q.finish();
            throw DbError(text);
        }
    }
    q.finish();
    d->open = true;
}

void Query::execute()
{
    close();
    d->checkReady();
    WriteSession* session = d->conn->writeSession();
    try {
        if (session)
            session->beforeStatement();
        if (!d->runNative(false))
            d->run().finish();
    } catch (...) {
        if (session)
            session->statementFailed();
        throw;
    }
    if (session)
        session->statementDone(true);
}

bool Query::isOpen() const
{
    return d->open;
}

bool Query::isEmpty() const
{
    return d->rows.isEmpty();
}

void Query::first()
{
    d->current = 0;
}

void Query::next()
{
    if (d->current < d->rows.size())
        ++d->current;
}

bool Query::eof() const
{
    return d->current >= d->rows.size();
}

int Query::rowCount() const
{
    return int(d->rows.size());
}

QStringList Query::fieldNames() const
{
    return d->fields;
}

QString Query::fieldText(const QString& name) const
{
    const QVariant* v = d->fieldValue(name);
    if (!v || v->isNull())
        return QString();
    return v->toString();
}

qint64 Query::fieldInteger(const QString& name) const
{
    const QVariant* v = d->fieldValue(name);
    if (!v || v->isNull())
        return 0;
    switch (v->typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return qint64(std::llround(v->toDouble()));
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString t = v->toString().trimmed();
        bool ok = false;
        const qint64 i = t.toLongLong(&ok);
        if (ok)
            return i;
        const double f = t.toDouble(&ok);
        if (ok && std::isfinite(f))
            return qint64(std::llround(f));
        throw DbError(QStringLiteral("'%1' is not a valid integer value").arg(v->toString()));
    }
    default:
        return v->toLongLong();
    }
}
