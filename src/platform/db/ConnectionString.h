#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The provider connection string as the settings build it: "key=value" pairs
// separated by ";". Keys match without regard to case. A value may stand
// between double or single quotes, a doubled quote inside standing for one;
// blanks around an unquoted value do not belong to it.
class ProviderString {
public:
    // Raises DbError when a quoted value is not closed or is followed by
    // more than blanks.
    static ProviderString parse(const QString& text);

    bool contains(const QString& key) const;
    // The last value given for the key, or empty text.
    QString value(const QString& key) const;
    const QList<QPair<QString, QString>>& pairs() const { return pairs_; }

private:
    QList<QPair<QString, QString>> pairs_;
};

// Quotes a value for a provider string when it holds ";", a quote, or blanks
// at either end (otherwise they would end it, change other keys or be lost):
// the value goes between double quotes with inner double quotes doubled.
// Any other value comes back unchanged.
QString quoteProviderValue(const QString& value);

enum class ProviderKind { Jet, SqlServer, Unknown };
ProviderKind providerKind(const QString& provider);

// The ODBC connection string for a SQL Server provider string:
// DRIVER={driver};SERVER=..;DATABASE=..;UID=..;PWD=..; followed by the extra
// options as they stand. Values that ODBC would misread are put in braces.
QString odbcConnectionString(const ProviderString& provider, const QString& driver, const QString& options);

// One ODBC attribute value, brace-quoted when it holds ";", starts with "{"
// or has blanks at either end. For psqlODBC (`decodingDriver`), which
// percent- and plus-decodes an unbraced value, also when it holds "+", "%",
// "{" or "}" anywhere: a braced value is taken as it stands.
QString odbcValue(const QString& value, bool decodingDriver = false);

// True for a driver that decodes unbraced values (PostgreSQL's psqlODBC).
bool isPsqlOdbc(const QString& driver);
