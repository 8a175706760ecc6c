#pragma once

#include <QString>
#include <stdexcept>

// An error whose text is meant for the user: it ends up in a message box or
// on standard error exactly as given.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text)
        : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// Raised with the database provider's own text, and where the database gave
// them, SQLite's extended result code or ODBC's SQLSTATE and native number,
// from which DbFailures tells what went wrong.
class DbError : public Error {
public:
    using Error::Error;
    DbError(const QString& text, int sqliteCode)
        : Error(text), sqliteCode_(sqliteCode) {}
    DbError(const QString& text, const QString& sqlState, int nativeCode = 0)
        : Error(text), sqlState_(sqlState), nativeCode_(nativeCode) {}

    int sqliteCode() const { return sqliteCode_; }       // 0: not from SQLite
    const QString& sqlState() const { return sqlState_; } // "": none given
    int nativeCode() const { return nativeCode_; }

private:
    int sqliteCode_ = 0;
    QString sqlState_;
    int nativeCode_ = 0;
};

// The text of any exception, for showing it. A database error reads as a
// Chinese sentence, then the database's own text on the next line.
QString errorText(const std::exception& e);
