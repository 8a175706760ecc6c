#pragma once

#include "platform/Errors.h"

#include <QString>

class QSqlQuery;

// What a database failure means for the clerk: one table for the local file
// (SQLite's extended result codes, and its messages where one code covers
// several failures) and for servers through ODBC (SQLSTATE classes, with
// the native number or the message where one state covers several). The
// database's own text is kept and shown after the sentence, never instead
// of it; a failure the table does not know reads "数据库错误：" + that text.
//
// The database's text is not trusted to have any shape: names and values
// are only taken from it where a known pattern matches, and a sentence
// never depends on more than that.
namespace DbFailures {

enum class Kind {
    Other,
    BadDate,         // text the database does not take as a date
    BadNumber,       // text the database does not take as a number
    NumberTooLarge,  // a number beyond its column's range
    TooLong,         // a value longer than its column
    NotNull,         // no value where the column needs one
    UniqueKey,       // a unique index refused a second row
    MissingTable,
    MissingColumn,
    Locked,          // another program holds the database
    CannotConnect,
    ConnectionLost,
    ReadOnly,
    DiskFull,
    FileUnavailable, // the file cannot be opened, read or written
    NotADatabase,    // not a database file, or a damaged one
};

struct Failure {
    Kind kind = Kind::Other;
    QString table;   // as the database named it; our four tables in our spelling
    QString column;  // as the database named it
    QString value;   // the refused value, where the database quotes it
    int width = 0;   // the column's width, where the database gives it
    // What the clerk calls the field; callers that know the row fill it in.
    QString field;
};

Failure classify(const DbError& error);

// The Chinese sentence for a failure: it names the field (or else the
// column) and the value where they are known.
QString sentence(const Failure& failure, const QString& databaseText);

// The sentence, then the database's text on a line of its own.
QString explain(const Failure& failure, const QString& databaseText);
QString explain(const DbError& error);

// True for a failure that every later row would meet too (the database
// locked, read-only, full, damaged or gone): a run stops at it instead of
// listing every row with it.
bool recurs(Kind kind);

// What such a failure is, as the first words of the box that ends the run:
// "数据库被其他程序锁定", and for a local file that cannot be written,
// whether the file or its folder, named. `localFile` is the database file,
// "" on a server.
QString stopCause(const Failure& failure, const QString& localFile);
// What the clerk does about it before importing again.
QString stopAdvice(const Failure& failure);

// The error of a failed ODBC statement with its SQLSTATE and native number,
// read from the statement before anything else runs on it.
DbError odbcError(const QSqlQuery& query, const QString& text);

} // namespace DbFailures
