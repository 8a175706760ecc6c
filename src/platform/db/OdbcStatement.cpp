#include "platform/db/QueryParts.h"

#include "platform/Errors.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <type_traits>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's wide characters are UTF-16");
static_assert(std::is_same_v<SQLLEN, long>, "lengths are kept as long");

namespace {

// Every diagnostic record of the handle joined, the driver's own words, with
// the first record's SQLSTATE and native number.
DbError diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    QStringList texts;
    QString firstState;
    int firstNative = 0;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(type, handle, rec, state, &native, message, 1024, &length);
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO)
            break;
        if (rec == 1) {
            firstState = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), SQL_SQLSTATE_SIZE);
            firstNative = int(native);
        }
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                                length < 0 ? 0 : qMin<qsizetype>(length, 1023)).trimmed();
        if (!text.isEmpty())
            texts << text;
    }
    const QString text = texts.isEmpty() ? QStringLiteral("The ODBC driver gave no reason.") : texts.join(QLatin1String("; "));
    return firstState.isEmpty() ? DbError(text) : DbError(text, firstState, firstNative);
}

bool ok(SQLRETURN r)
{
    return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
}

bool isIntegerType(SQLSMALLINT type)
{
    return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIGINT
        || type == SQL_BIT;
}

bool isFloatType(SQLSMALLINT type)
{
    return type == SQL_DOUBLE || type == SQL_FLOAT || type == SQL_REAL;
}

} // namespace

OdbcStatement::OdbcStatement(void* connection, const QString& sql)
{
    SQLHANDLE stmt = SQL_NULL_HANDLE;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(connection), &stmt)))
        throw diagnostics(SQL_HANDLE_DBC, static_cast<SQLHDBC>(connection));
    stmt_ = stmt;
    if (!ok(SQLPrepareW(stmt, const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(sql.utf16())),
                        SQLINTEGER(sql.size())))) {
        const DbError error = diagnostics(SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt_ = nullptr;
        throw error;
    }
}

OdbcStatement::~OdbcStatement()
{
    if (stmt_)
        SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(stmt_));
}

void OdbcStatement::run(const QList<Param>& params, const QList<int>& slots, ResultRows* result)
{
    auto* stmt = static_cast<SQLHSTMT>(stmt_);
    // Buffers of our own, bound once and bound again only when one must
    // grow or the kind of value changes: a binding costs the driver more
    // than copying the value.
    if (bound_.size() != size_t(slots.size()))
        bound_ = std::vector<Bound>(size_t(slots.size()));
    for (int i = 0; i < slots.size(); ++i) {
        const Param& p = params[slots[i]];
        Bound& b = bound_[size_t(i)];
        SQLLEN* length = &b.length;
        SQLRETURN r = SQL_SUCCESS;
        if (p.kind == Param::Integer) {
            b.integer = p.integer;
            *length = 0;
            if (b.as != Bound::Integer)
                r = SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                     &b.integer, 0, length);
            b.as = Bound::Integer;
        } else {
            const qsizetype n = p.kind == Param::Text ? p.text.size() : 0;
            const Bound::As as = n > 254 ? Bound::LongText : Bound::Text;
            if (b.as != as || n > qsizetype(b.text.size())) {
                b.text.resize(size_t(qMax<qsizetype>(n, 64)));
                r = SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                                     as == Bound::LongText ? SQL_WLONGVARCHAR : SQL_WVARCHAR, 0, 0, b.text.data(),
                                     SQLLEN(b.text.size() * 2), length);
                b.as = as;
            }
            std::memcpy(b.text.data(), p.text.utf16(), size_t(n) * 2);
            *length = p.kind == Param::Text ? SQLLEN(n * 2) : SQLLEN(SQL_NULL_DATA);
        }
        if (!ok(r)) {
            b.as = Bound::Unbound;
            throw diagnostics(SQL_HANDLE_STMT, stmt);
        }
    }
    const SQLRETURN r = SQLExecute(stmt);
    if (!ok(r) && r != SQL_NO_DATA) {
        const DbError error = diagnostics(SQL_HANDLE_STMT, stmt);
        SQLFreeStmt(stmt, SQL_CLOSE);
        throw error;
    }
    struct Close {
        SQLHSTMT s;
        ~Close() { SQLFreeStmt(s, SQL_CLOSE); }
    } close{stmt};
    if (result)
        fetch(*result);
}

void OdbcStatement::fetch(ResultRows& result)
{
    auto* stmt = static_cast<SQLHSTMT>(stmt_);
    SQLSMALLINT cols = 0;
    if (!ok(SQLNumResultCols(stmt, &cols)) || cols <= 0)
        return;
    QList<SQLSMALLINT> types(cols);
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(cols); ++c) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!ok(SQLDescribeColW(stmt, c, name, 256, &nameLength, &type, &size, &digits, &nullable)))
            throw diagnostics(SQL_HANDLE_STMT, stmt);
        result.fields << QString::fromUtf16(reinterpret_cast<const char16_t*>(name), qMin<qsizetype>(nameLength, 255));
        types[c - 1] = type;
    }
    for (;;) {
        const SQLRETURN r = SQLFetch(stmt);
        if (r == SQL_NO_DATA)
            break;
        if (!ok(r))
            throw diagnostics(SQL_HANDLE_STMT, stmt);
        QVariantList row;
        row.reserve(cols);
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(cols); ++c) {
            SQLLEN length = 0;
            const SQLSMALLINT type = types[c - 1];
            if (isIntegerType(type) || isFloatType(type)) {
                qint64 integer = 0;
                double real = 0;
                const bool isInt = isIntegerType(type);
                if (!ok(isInt ? SQLGetData(stmt, c, SQL_C_SBIGINT, &integer, 0, &length)
                              : SQLGetData(stmt, c, SQL_C_DOUBLE, &real, 0, &length)))
                    throw diagnostics(SQL_HANDLE_STMT, stmt);
                if (length == SQL_NULL_DATA)
                    row << QVariant(QMetaType(QMetaType::QString));
                else
                    row << (isInt ? QVariant(qlonglong(integer)) : QVariant(real));
                continue;
            }
            // Text in pieces until the driver has no more.
            QString text;
            char16_t buffer[512];
            for (;;) {
                const SQLRETURN g = SQLGetData(stmt, c, SQL_C_WCHAR, buffer, sizeof buffer, &length);
                if (g == SQL_NO_DATA)
                    break;
                if (!ok(g))
                    throw diagnostics(SQL_HANDLE_STMT, stmt);
                if (length == SQL_NULL_DATA)
                    break;
                const qsizetype room = qsizetype(sizeof buffer / 2) - 1;
                const qsizetype got = length == SQL_NO_TOTAL || length / 2 > room ? room : length / 2;
                text.append(QStringView(buffer, got));
                if (g == SQL_SUCCESS)
                    break;
            }
            if (length == SQL_NULL_DATA)
                row << QVariant(QMetaType(QMetaType::QString));
            else
                row << QVariant(text.isNull() ? QString(QLatin1String("")) : text);
        }
        result.rows << std::move(row);
    }
}
