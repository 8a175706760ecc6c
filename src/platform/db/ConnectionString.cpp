#include "platform/db/ConnectionString.h"

#include "platform/Errors.h"

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

ProviderString ProviderString::parse(const QString& text)
{
    ProviderString result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isBlank(text[i]) || text[i] == u';'))
            ++i;
        if (i >= n)
            break;

        // Key: up to "=" ("==" stands for an "=" inside the key).
        QString key;
        while (i < n && text[i] != u';') {
            if (text[i] == u'=') {
                if (i + 1 < n && text[i + 1] == u'=') {
                    key += u'=';
                    i += 2;
                    continue;
                }
                break;
            }
            key += text[i++];
        }
        key = key.trimmed();
        if (i >= n || text[i] == u';') {
            // A piece without "=": nothing to record.
            continue;
        }
        ++i; // the "="

        while (i < n && isBlank(text[i]))
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                throw DbError(QStringLiteral("Malformed connection string: the quoted value of '%1' is not closed.").arg(key));
            while (i < n && isBlank(text[i]))
                ++i;
            if (i < n && text[i] != u';')
                throw DbError(QStringLiteral("Malformed connection string: text follows the quoted value of '%1'.").arg(key));
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != u';')
                ++i;
            value = text.mid(start, i - start).trimmed();
        }
        if (!key.isEmpty())
            result.pairs_.append({key, value});
    }
    return result;
}

bool ProviderString::contains(const QString& key) const
{
    for (const auto& p : pairs_)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString ProviderString::value(const QString& key) const
{
    for (auto it = pairs_.crbegin(); it != pairs_.crend(); ++it)
        if (it->first.compare(key, Qt::CaseInsensitive) == 0)
            return it->second;
    return QString();
}

QString quoteProviderValue(const QString& value)
{
    const bool needs = value.contains(u';') || value.contains(u'"') || value.contains(u'\'')
        || (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())));
    if (!needs)
        return value;
    QString inner = value;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

ProviderKind providerKind(const QString& provider)
{
    const QString p = provider.trimmed();
    if (p.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) == 0)
        return ProviderKind::Jet;
    if (p.compare(QLatin1String("SQLOLEDB.1"), Qt::CaseInsensitive) == 0
        || p.compare(QLatin1String("SQLOLEDB"), Qt::CaseInsensitive) == 0)
        return ProviderKind::SqlServer;
    return ProviderKind::Unknown;
}

bool isPsqlOdbc(const QString& driver)
{
    return driver.contains(QLatin1String("postgres"), Qt::CaseInsensitive)
        || driver.contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive);
}

QString odbcValue(const QString& value, bool decodingDriver)
{
    // A "}" inside an unbraced value needs nothing, and FreeTDS does not undo
    // the doubled "}}" of a braced one: brace only what must be.
    bool needs = value.contains(u';') || value.startsWith(u'{')
        || (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())));
    if (decodingDriver) {
        for (QChar c : {u'+', u'%', u'{', u'}'})
            needs = needs || value.contains(c);
    }
    if (!needs)
        return value;
    QString inner = value;
    inner.replace(u'}', QStringLiteral("}}"));
    return u'{' + inner + u'}';
}

QString odbcConnectionString(const ProviderString& provider, const QString& driver, const QString& options)
{
    QString d = driver;
    d.replace(u'}', QStringLiteral("}}"));
    QString s = QStringLiteral("DRIVER={%1};").arg(d);
    const bool decoding = isPsqlOdbc(driver);
    s += QStringLiteral("SERVER=") + odbcValue(provider.value(QStringLiteral("Data Source")), decoding) + u';';
    s += QStringLiteral("DATABASE=") + odbcValue(provider.value(QStringLiteral("Initial Catalog")), decoding) + u';';
    s += QStringLiteral("UID=") + odbcValue(provider.value(QStringLiteral("User ID")), decoding) + u';';
    s += QStringLiteral("PWD=") + odbcValue(provider.value(QStringLiteral("Password")), decoding) + u';';
    s += options;
    return s;
}
