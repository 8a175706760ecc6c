#include "platform/db/Query.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/DbFailures.h"
#include "platform/db/WriteSession.h"

#include "platform/db/QueryParts.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace {

QString providerText(const QSqlError& e)
{
    const QString db = e.databaseText().trimmed();
    return db.isEmpty() ? e.driverText().trimmed() : db;
}

constexpr size_t MaxCached = 64;

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
    std::unique_ptr<SqliteStatement> native;
    std::unique_ptr<OdbcStatement> odbc;
    std::unique_ptr<QSqlQuery> qt;
    // The last result's field names and where each lies (lower case).
    QStringList fields;
    QHash<QString, int> fieldIndex;

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

    void dropStatements()
    {
        for (auto& [text, st] : statements) {
            st->qt.reset();
            st->odbc.reset();
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
        Statement* next = find(text);
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

    Statement* find(const QString& text)
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
            throw DbError(QStringLiteral("Operation is not allowed when the object is closed."), QStringLiteral("08003"));
        ensureParsed();
        if (!statement)
            throw DbError(QStringLiteral("Command text was not set for the command object."));
        for (const Param& p : std::as_const(statement->params))
            if (p.kind == Param::Unset)
                throw DbError(QStringLiteral("No value given for parameter '%1'.").arg(p.name));
    }

    // Runs the statement on SQLite or the ODBC driver directly; with
    // keepRows, the result is read into rows. False when neither handle is
    // there (Qt's layer then runs it).
    bool runNative(Statement* st, bool keepRows)
    {
        ResultRows result;
        ResultRows* into = keepRows ? &result : nullptr;
        if (auto* db = static_cast<sqlite3*>(conn->sqliteHandle())) {
            if (!st->native)
                st->native = std::make_unique<SqliteStatement>(db, st->parsed.sql);
            st->native->run(st->params, st->parsed.slots, into);
        } else if (void* dbc = conn->odbcHandle()) {
            if (!st->odbc)
                st->odbc = std::make_unique<OdbcStatement>(dbc, st->parsed.sql);
            st->odbc->run(st->params, st->parsed.slots, into);
        } else {
            return false;
        }
        if (keepRows)
            keep(st, std::move(result));
        return true;
    }

    void keep(Statement* st, ResultRows&& result)
    {
        // A statement run again mostly gives the same columns: their index
        // is made once.
        if (st->fields != result.fields || (st->fieldIndex.isEmpty() && !result.fields.isEmpty())) {
            st->fields = std::move(result.fields);
            st->fieldIndex.clear();
            // Backwards, so that a repeated name finds its first column.
            for (qsizetype c = st->fields.size() - 1; c >= 0; --c)
                st->fieldIndex.insert(st->fields[c].toLower(), int(c));
        }
        fields = st->fields;
        fieldIndex = st->fieldIndex;
        rows = std::move(result.rows);
    }

    // A write of this group again, with the values it had (WriteSession).
    void redo(const QString& sqlText, const QList<Param>& values)
    {
        std::unique_ptr<Statement> own;
        auto it = statements.find(sqlText);
        Statement* st = it != statements.end() ? it->second.get() : (own = std::make_unique<Statement>(sqlText)).get();
        const QList<Param> current = st->params;
        st->params = values;
        struct Restore {
            Statement* st;
            const QList<Param>& params;
            ~Restore() { st->params = params; }
        } restore{st, current};
        if (!runNative(st, false))
            run(st).finish();
    }

    QSqlQuery& run(Statement* st)
    {
        const ParsedSql& sql = st->parsed;
        const QList<Param>& params = st->params;
        if (!st->qt) {
            auto q = std::make_unique<QSqlQuery>(conn->database());
            q->setForwardOnly(true);
            if (!q->prepare(sql.sql))
                throw DbFailures::odbcError(*q, providerText(q->lastError()));
            st->qt = std::move(q);
        }
        QSqlQuery& q = *st->qt;
        for (int i = 0; i < sql.slots.size(); ++i)
            q.bindValue(i, params[sql.slots[i]].variant());
        if (!q.exec()) {
            const DbError error = DbFailures::odbcError(q, providerText(q.lastError()));
            q.finish();
            throw error;
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
    if (d->conn) {
        if (WriteSession* session = d->conn->writeSession())
            session->forget(this);
        d->conn->detach(this);
    }
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

const QList<Param>& Query::parameterValues() const
{
    d->ensureParsed();
    static const QList<Param> none;
    return d->statement ? d->statement->params : none;
}

bool Query::boundUtf8(std::vector<QByteArrayView>& into) const
{
    if (!d->statement || d->dirty || !d->statement->native)
        return false;
    const SqliteStatement& native = *d->statement->native;
    into.resize(size_t(d->statement->params.size()));
    for (size_t k = 0; k < into.size(); ++k)
        if (!native.boundText(int(k), into[k]))
            into[k] = QByteArrayView();
    return true;
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
    if (d->runNative(d->statement, true)) {
        d->open = true;
        return;
    }
    QSqlQuery& q = d->run(d->statement);
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
            const DbError error = DbFailures::odbcError(q, providerText(q.lastError()));
            q.finish();
            throw error;
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
        if (!d->runNative(d->statement, false))
            d->run(d->statement).finish();
    } catch (...) {
        if (session)
            session->statementFailed();
        throw;
    }
    if (session) {
        WriteSession::Redo redo;
        if (session->keepsRedo())
            redo = [impl = d.get(), text = d->statement->text, values = d->statement->params] {
                impl->redo(text, values);
            };
        session->statementDone(true, std::move(redo), this);
    }
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
