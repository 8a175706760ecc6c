#include "platform/db/QueryParts.h"

#include "platform/Errors.h"

#include <QHash>
#include <QStringEncoder>
#include <QVarLengthArray>

#include <sqlite3.h>

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

} // namespace

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

QVariant Param::variant() const
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

namespace {
QString sqliteError(sqlite3* db)
{
    return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_errmsg16(db))).trimmed();
}
} // namespace

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql)
    : db_(db)
{
    if (sqlite3_prepare16_v3(db, sql.utf16(), int(sql.size() * 2), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr)
        != SQLITE_OK)
        throw DbError(sqliteError(db), sqlite3_extended_errcode(db));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

const QStringList& SqliteStatement::fieldNames()
{
    // Compared as SQLite hands them out, without a string made per run; a
    // schema change may prepare the statement anew with other columns.
    const int cols = sqlite3_column_count(stmt_);
    bool same = utf8Names_.size() == size_t(cols);
    for (int c = 0; same && c < cols; ++c)
        same = utf8Names_[size_t(c)] == sqlite3_column_name(stmt_, c);
    if (!same) {
        names_.clear();
        utf8Names_.clear();
        for (int c = 0; c < cols; ++c) {
            utf8Names_.emplace_back(sqlite3_column_name(stmt_, c));
            names_ << QString::fromUtf8(utf8Names_.back());
        }
    }
    return names_;
}

void SqliteStatement::run(const QList<Param>& params, const QList<int>& slots, ResultRows* result)
{
    sqlite3_stmt* stmt = stmt_;
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
    for (const Param& p : params)
        if (p.kind == Param::Text)
            units += p.text.size();
    utf8_.resize(encoder.requiredSpace(units) + 1);
    char* const base = utf8_.data();
    char* end = base;
    std::vector<std::pair<qsizetype, qsizetype>>& spans = spans_;
    spans.assign(size_t(params.size()), {-1, 0});
    for (int i = 0; i < params.size(); ++i) {
        if (params[i].kind != Param::Text)
            continue;
        char* from = end;
        end = encoder.appendToBuffer(end, params[i].text);
        spans[size_t(i)] = {from - base, end - from};
    }
    for (int i = 0; i < slots.size(); ++i) {
        const int k = slots[i];
        const Param& p = params[k];
        int rc;
        if (p.kind == Param::Integer)
            rc = sqlite3_bind_int64(stmt, i + 1, p.integer);
        else if (p.kind == Param::Text)
            rc = sqlite3_bind_text(stmt, i + 1, base + spans[size_t(k)].first, int(spans[size_t(k)].second), SQLITE_STATIC);
        else
            rc = sqlite3_bind_null(stmt, i + 1);
        if (rc != SQLITE_OK)
            throw DbError(sqliteError(db_), sqlite3_extended_errcode(db_));
    }
    const int cols = result ? sqlite3_column_count(stmt) : 0;
    if (result)
        result->fields = fieldNames();
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            throw DbError(sqliteError(db_), sqlite3_extended_errcode(db_));
        if (!result)
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
        result->rows << std::move(row);
    }
}
