#include "platform/db/Query.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/WriteSession.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QVarLengthArray>

#include <sqlite3.h>

#include <algorithm>
#include <array>
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
    enum Kind { Unset, Null, Text, Integer };
    QString name;
    Kind kind = Unset;
    QString text;
    qint64 integer = 0;

    QVariant variant() const
    {
        switch (kind) {
        case Text:
            return text;
        case Integer:
            return QVariant(qlonglong(integer));
        default:
            return QVariant(QMetaType(QMetaType::QString));  // null
        }
    }
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

// One statement text as the provider gets it: its markers read, where each
// parameter lies by name, the values set for them, and the prepared
// statement, kept per text. An import alternates between a few texts, each
// rebuilt line by line for every row.
struct Statement {
    QString text;
    ParsedSql parsed;
    QList<Param> params;           // parallel to parsed.names
    QHash<QString, int> byName;    // as spelled in the text
    QHash<QString, int> byFolded;  // lower case
    std::unique_ptr<NativeStatement> native;
    std::unique_ptr<QSqlQuery> qt;

    explicit Statement(const QString& sqlText)
        : text(sqlText)
        , parsed(parseMarkers(sqlText))
        , params(parsed.names.size())
    {
        for (int i = 0; i < parsed.names.size(); ++i) {
            params[i].name = parsed.names[i];
            byName.insert(parsed.names[i], i);
            byFolded.insert(parsed.names[i].toLower(), i);
        }
    }
    int indexOf(const QString& name, int hint) const
    {
        // Callers mostly set parameters in the statement's order and spell
        // them as it does.
        if (hint >= 0 && hint < parsed.names.size() && parsed.names[hint] == name)
            return hint;
        auto it = byName.constFind(name);
        if (it != byName.constEnd())
            return *it;
        it = byFolded.constFind(name.toLower());
        return it == byFolded.constEnd() ? -1 : *it;
    }
};

} // namespace

struct Query::Impl {
    Connection* conn = nullptr;

    bool hasLines = false;
    QString text;
    bool dirty = false;   // text changed since the markers were read
    Statement* statement = nullptr;  // of text, once read
    int hint = 0;         // where the next parameter set probably lies

    bool open = false;
    QStringList fields;
    QHash<QString, int> fieldIndex;  // lower-case name
    QList<QVariantList> rows;
    int current = 0;

    std::unordered_map<QString, std::unique_ptr<Statement>> statements;
    std::array<Statement*, 4> recent{};  // looked at before the map
    QByteArray utf8;  // the text values of one run, as SQLite takes them

    void dropStatements()
    {
        for (auto& [text, st] : statements) {
            st->qt.reset();
            st->native.reset();
        }
    }

    const ParsedSql& parsed()
    {
        ensureParsed();
        static const ParsedSql none;
        return statement ? statement->parsed : none;
    }

    void ensureParsed()
    {
        if (!dirty)
            return;
        dirty = false;
        // A parameter whose marker is still there keeps its value (a copy:
        // the statement may leave the cache).
        const QList<Param> before = statement ? statement->params : QList<Param>();
        Statement* next = find();
        for (Param& p : next->params)
            p.kind = Param::Unset;
        if (!before.isEmpty()) {
            for (const Param& old : before) {
                const int i = next->indexOf(old.name, -1);
                if (i >= 0 && next->params[i].kind == Param::Unset) {
                    next->params[i].kind = old.kind;
                    next->params[i].text = old.text;
                    next->params[i].integer = old.integer;
                }
            }
        }
        statement = next;
        hint = 0;
    }

    Statement* find()
    {
        for (size_t i = 0; i < recent.size() && recent[i]; ++i) {
            if (recent[i]->text == text) {
                std::rotate(recent.begin(), recent.begin() + i, recent.begin() + i + 1);
                return recent[0];
            }
        }
        auto it = statements.find(text);
        if (it == statements.end()) {
            if (statements.size() >= MaxCached) {
                statements.clear();
                recent.fill(nullptr);
            }
            it = statements.emplace(text, std::make_unique<Statement>(text)).first;
        }
        std::copy_backward(recent.begin(), recent.end() - 1, recent.end());
        recent[0] = it->second.get();
        return recent[0];
    }

    Param& param(const QString& name)
    {
        ensureParsed();
        const int i = statement ? statement->indexOf(name, hint) : -1;
        if (i < 0)
            throw DbError(QStringLiteral("Parameter '%1' not found").arg(name));
        hint = i + 1;
        return statement->params[i];
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
        if (!statement)
            throw DbError(QStringLiteral("Command text was not set for the command object."));
        for (const Param& p : std::as_const(statement->params))
            if (p.kind == Param::Unset)
                throw DbError(QStringLiteral("No value given for parameter '%1'.").arg(p.name));
    }

    // Runs the statement on SQLite directly; with keepRows, the result is
    // read into rows. False when the connection is not a SQLite one.
    bool runNative(bool keepRows)
    {
        sqlite3* db = nativeHandle(*conn);
        if (!db)
            return false;
        const ParsedSql& sql = statement->parsed;
        const QList<Param>& params = statement->params;
        if (!statement->native) {
            auto st = std::make_unique<NativeStatement>();
            if (sqlite3_prepare16_v3(db, sql.sql.utf16(), int(sql.sql.size() * 2), SQLITE_PREPARE_PERSISTENT,
                                     &st->stmt, nullptr) != SQLITE_OK)
                throw DbError(nativeError(db));
            statement->native = std::move(st);
        }
        sqlite3_stmt* stmt = statement->native->stmt;
        struct Reset {
            sqlite3_stmt* s;
            ~Reset()
            {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
            }
        } reset{stmt};
        // Text goes in as UTF-8, the file's own encoding, all values in one
        // buffer that outlives the run: no copy or conversion inside SQLite.
        QStringEncoder encoder(QStringEncoder::Utf8);
        qsizetype units = 0;
        for (const Param& p : std::as_const(params))
            if (p.kind == Param::Text)
                units += p.text.size();
        utf8.resize(encoder.requiredSpace(units) + 1);
        char* const base = utf8.data();
        char* end = base;
        QVarLengthArray<std::pair<qsizetype, qsizetype>, 64> spans(params.size());
        for (int i = 0; i < params.size(); ++i) {
            if (params[i].kind != Param::Text)
                continue;
            char* from = end;
            end = encoder.appendToBuffer(end, params[i].text);
            spans[i] = {from - base, end - from};
        }
        for (int i = 0; i < sql.slots.size(); ++i) {
            const int k = sql.slots[i];
            const Param& p = params[k];
            int rc;
            if (p.kind == Param::Integer)
                rc = sqlite3_bind_int64(stmt, i + 1, p.integer);
            else if (p.kind == Param::Text)
                rc = sqlite3_bind_text(stmt, i + 1, base + spans[k].first, int(spans[k].second), SQLITE_STATIC);
            else
                rc = sqlite3_bind_null(stmt, i + 1);
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
        const ParsedSql& sql = statement->parsed;
        const QList<Param>& params = statement->params;
        if (!statement->qt) {
            auto q = std::make_unique<QSqlQuery>(conn->database());
            q->setForwardOnly(true);
            if (!q->prepare(sql.sql))
                throw DbError(providerText(q->lastError()));
            statement->qt = std::move(q);
        }
        QSqlQuery& q = *statement->qt;
        for (int i = 0; i < sql.slots.size(); ++i)
            q.bindValue(i, params[sql.slots[i]].variant());
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
    d->statement = nullptr;
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
    return d->parsed().sql;
}

QStringList Query::parameterNames() const
{
    return d->parsed().names;
}

void Query::setText(const QString& name, const QString& value)
{
    Param& p = d->param(name);
    // Qt SQL binds a null QString as NULL; text is text, even when empty.
    p.text = value.isNull() ? QString(QLatin1String("")) : value;
    p.kind = Param::Text;
}

void Query::setInteger(const QString& name, qint64 value)
{
    Param& p = d->param(name);
    p.integer = value;
    p.kind = Param::Integer;
}

void Query::setNull(const QString& name)
{
    Param& p = d->param(name);
    p.text.clear();
    p.kind = Param::Null;
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
