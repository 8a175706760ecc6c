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

// Raised with the database provider's own text.
class DbError : public Error {
public:
    using Error::Error;
};

// The text of any exception, for showing it.
QString errorText(const std::exception& e);
