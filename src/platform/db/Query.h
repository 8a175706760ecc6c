#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class Connection;
struct Param;

// A query in the style the whole program uses: close, clear, add lines, set
// named parameters, then open or execute. ":Name" markers become positional
// placeholders; parameter and field names match without regard to case.
// Errors (provider, unknown parameter or field) raise DbError.
//
// A marker's name runs up to a blank, tab, comma, semicolon, closing
// parenthesis, line break or the end of the text; a ":" directly followed by
// one of those, and "::", are left alone, and quoted text ('...' or "...")
// is never searched. open() fetches every row into memory and releases the
// statement at once (a static cursor), so the connection never keeps a
// statement running between calls. Prepared statements are kept per final
// SQL text and rebound on each run.
class Query {
public:
    explicit Query(Connection& connection);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void close();
    // Drops the statement and every parameter with its value.
    void clear();
    // Appends a line; parameters whose markers remain keep their values.
    void add(const QString& line);
    QString sql() const;           // the lines joined by "\n"
    // The statement as it goes to the provider, markers replaced by "?".
    QString preparedSql() const;

    // Parameter names as they occur, first spelling kept, one per name.
    QStringList parameterNames() const;
    void setText(const QString& name, const QString& value);
    void setInteger(const QString& name, qint64 value);
    void setNull(const QString& name);
    // The values set, in the order of parameterNames() (QueryParts.h).
    const QList<Param>& parameterValues() const;
    // The UTF-8 bytes each parameter (of parameterNames()) went to SQLite
    // as in the last execute(), a null view where it was no text; false
    // when the statement did not go to SQLite directly.
    bool boundUtf8(std::vector<QByteArrayView>& into) const;

    void open();     // a statement with a result; fetches every row
    void execute();  // no result
    bool isOpen() const;

    bool isEmpty() const;
    void first();
    void next();
    bool eof() const;
    int rowCount() const;
    QStringList fieldNames() const;
    // Null reads as "" or 0; with no current row as well. A real read as an
    // integer is rounded to the nearest whole number (halves away from
    // zero), as is text holding a number; other text raises DbError.
    QString fieldText(const QString& name) const;
    qint64 fieldInteger(const QString& name) const;

private:
    friend class Connection;
    void openRows();
    void releaseStatements();  // the connection is about to close
    void connectionGone();     // the connection is being destroyed

    struct Impl;
    std::unique_ptr<Impl> d;
};
