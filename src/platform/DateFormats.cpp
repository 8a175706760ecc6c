#include "platform/DateFormats.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

#include <chrono>
#include <optional>

namespace DateFormats {
namespace {

const char* const kShortKey = "International/sShortDate";
const char* const kLongKey = "International/sLongDate";

std::optional<QString> g_startup;

// Re-reading the file for every cell would dominate a large import, so the
// value is cached and the file looked at again at most every 100 ms, and at
// once after our own writes.
struct Cache {
    QMutex mutex;
    bool valid = false;
    QString value;
    std::chrono::steady_clock::time_point checkedAt;
    QDateTime modified;
    qint64 size = -1;
};
Cache& cache()
{
    static Cache c;
    return c;
}

QString systemShortFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

QString readShortFromFile()
{
    const QString path = settingsFilePath();
    if (!QFileInfo::exists(path))
        return systemShortFormat();
    QSettings s(path, QSettings::IniFormat);
    const QString v = s.value(kShortKey).toString();
    return v.isEmpty() ? systemShortFormat() : v;
}

bool writeKey(const char* key, const QString& format)
{
    const QString path = settingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QSettings s(path, QSettings::IniFormat);
        s.setValue(key, format);
        s.sync();
        if (s.status() != QSettings::NoError)
            return false;
    }
    QMutexLocker lock(&cache().mutex);
    cache().valid = false;
    return true;
}

} // namespace

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
        + QStringLiteral("/date-formats.ini");
}

bool setLongDateFormat(const QString& format)
{
    return writeKey(kLongKey, format);
}

bool setShortDateFormat(const QString& format)
{
    return writeKey(kShortKey, format);
}

QString currentShortDateFormat()
{
    Cache& c = cache();
    QMutexLocker lock(&c.mutex);
    const auto now = std::chrono::steady_clock::now();
    if (c.valid && now - c.checkedAt < std::chrono::milliseconds(100))
        return c.value;

    const QFileInfo info(settingsFilePath());
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    if (!c.valid || modified != c.modified || size != c.size) {
        c.value = readShortFromFile();
        c.modified = modified;
        c.size = size;
        c.valid = true;
    }
    c.checkedAt = now;
    return c.value;
}

void captureStartupFormat()
{
    g_startup = readShortFromFile();
}

QString startupShortDateFormat()
{
    if (!g_startup)
        captureStartupFormat();
    return *g_startup;
}

QString formatDate(const QDate& date, const QString& format)
{
    // The format the login sets, written out directly: an import formats
    // four dates a row.
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d); // one calendar conversion instead of one per part
    if (format == QLatin1String("yyyy-MM-dd") && date.isValid() && y >= 1 && y <= 9999) {
        const char text[10] = {char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10),
                               char('0' + y % 10), '-', char('0' + m / 10), char('0' + m % 10), '-',
                               char('0' + d / 10), char('0' + d % 10)};
        return QString::fromLatin1(text, 10);
    }
    // Qt's pattern language matches the Windows one for d, M, y and quoted
    // literals; the era ("g", "gg") has no Qt code and is dropped.
    QString qtFormat;
    bool quoted = false;
    for (QChar ch : format) {
        if (ch == u'\'')
            quoted = !quoted;
        if (!quoted && ch == u'g')
            continue;
        qtFormat += ch;
    }
    return QLocale::system().toString(date, qtFormat);
}

} // namespace DateFormats
