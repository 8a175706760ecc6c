#pragma once

// Pieces of Query (platform/db only): the markers of a statement text, the
// values set for its parameters, and statements run straight on SQLite or
// on the ODBC driver.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The statement with its ":Name" markers replaced by "?", and which
// parameter each "?" stands for.
struct ParsedSql {
    QString sql;
    QStringList names;   // first spelling of each distinct name
    QList<int> slots;    // index into names per placeholder
};

ParsedSql parseMarkers(const QString& text);

struct Param {
    enum Kind { Unset, Null, Text, Integer };
    QString name;
    Kind kind = Unset;
    QString text;
    qint64 integer = 0;

    QVariant variant() const;
};

// What a statement with a result returns, every row at once.
struct ResultRows {
    QStringList fields;
    QList<QVariantList> rows;
};

// A prepared statement straight on SQLite. Qt's driver costs more than the
// statement itself for the short statements an import runs by the thousand.
class SqliteStatement {
public:
    // Raises DbError with SQLite's text when the statement does not prepare.
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binds each placeholder to its parameter and runs to the end; with
    // `result`, its rows are read into it. Raises DbError.
    void run(const QList<Param>& params, const QList<int>& slots, ResultRows* result);
    // The bytes text parameter k went to SQLite as in the last run; false
    // when it was no text.
    bool boundText(int k, QByteArrayView& bytes) const
    {
        if (k < 0 || size_t(k) >= spans_.size() || spans_[size_t(k)].first < 0)
            return false;
        bytes = QByteArrayView(utf8_.constData() + spans_[size_t(k)].first, spans_[size_t(k)].second);
        return true;
    }

private:
    // The result's column names, kept while the statement gives the same.
    const QStringList& fieldNames();

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    QByteArray utf8_;  // the text values of one run, as SQLite takes them
    std::vector<std::pair<qsizetype, qsizetype>> spans_;  // of each parameter in utf8_, or {-1, 0}
    QStringList names_;
    std::vector<QByteArray> utf8Names_;
};

// A prepared statement straight on the ODBC driver's connection handle.
// Qt's ODBC layer costs as much per statement as psqlODBC itself: it binds
// each value through a copy and re-describes the result at every run. The
// values are bound as Qt binds them (text as SQL_C_WCHAR/SQL_WVARCHAR,
// integers as SQL_C_SBIGINT/SQL_BIGINT, null as null text), so that the
// driver and the server see the same statement either way.
class OdbcStatement {
public:
    // `connection` is the driver's SQLHDBC. Raises DbError with its text.
    OdbcStatement(void* connection, const QString& sql);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    void run(const QList<Param>& params, const QList<int>& slots, ResultRows* result);

private:
    void fetch(ResultRows& result);

    // What is bound to one placeholder.
    struct Bound {
        enum As { Unbound, Integer, Text, LongText };
        As as = Unbound;
        qint64 integer = 0;
        std::vector<char16_t> text;
        long length = 0;  // SQLLEN: bytes, or the null indicator
    };

    void* stmt_ = nullptr;
    std::vector<Bound> bound_;
};
