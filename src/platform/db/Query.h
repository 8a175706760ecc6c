#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class Connection;

// A query in the style the whole program uses: close, clear, add lines, set
// named parameters, then open or execute. ":Name" markers become positional
// placeholders; parameter and field names match without regard to case.
// Errors (provider, unknown parameter or field) raise DbError.
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

    // Parameter names as they occur, first spelling kept, one per name.
    QStringList parameterNames() const;
    void setText(const QString& name, const QString& value);
    void setInteger(const QString& name, qint64 value);
    void setNull(const QString& name);

    void open();     // a statement with a result; fetches every row
    void execute();  // no result
    bool isOpen() const;

    bool isEmpty() const;
    void first();
    int rowCount() const;
    QStringList fieldNames() const;
    QString fieldText(const QString& name) const;   // null reads as ""
    qint64 fieldInteger(const QString& name) const; // null reads as 0

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
