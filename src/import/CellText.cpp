#include "import/CellText.h"

#include "platform/DateFormats.h"

#include <QDate>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace CellText {

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QString();
    if (value == 0)
        return QStringLiteral("0"); // negative zero too
    // Rounds to 15 significant digits: "d.dddddddddddddde±XX".
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[16];
    int n = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && n < 15)
            digits[n++] = *p;
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (n > 1 && digits[n - 1] == '0')
        --n;

    QString out;
    out.reserve(24);
    if (negative)
        out += u'-';
    if (exponent >= -5 && exponent <= 14) {
        if (exponent >= 0) {
            for (int i = 0; i <= exponent; ++i)
                out += QLatin1Char(i < n ? digits[i] : '0');
            if (n > exponent + 1) {
                out += u'.';
                for (int i = exponent + 1; i < n; ++i)
                    out += QLatin1Char(digits[i]);
            }
        } else {
            out += QLatin1String("0.");
            for (int i = 0; i < -exponent - 1; ++i)
                out += u'0';
            for (int i = 0; i < n; ++i)
                out += QLatin1Char(digits[i]);
        }
        return out;
    }
    out += QLatin1Char(digits[0]);
    if (n > 1) {
        out += u'.';
        for (int i = 1; i < n; ++i)
            out += QLatin1Char(digits[i]);
    }
    out += QLatin1Char('E');
    out += QLatin1Char(exponent < 0 ? '-' : '+');
    const int e = std::abs(exponent);
    if (e < 10)
        out += u'0';
    out += QString::number(e);
    return out;
}

QString dateText(double serial, bool dates1904, const QString& dateFormat)
{
    // 2958465 is 9999-12-31 in the 1900 system.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466.0)
        return QString();
    const qint64 seconds = std::llround(serial * 86400.0);
    const qint64 day = seconds / 86400;
    const int secondOfDay = int(seconds % 86400);
    const QString time = QString::asprintf("%02d:%02d:%02d", secondOfDay / 3600, secondOfDay / 60 % 60,
                                           secondOfDay % 60);
    if (day == 0)
        return time;

    QDate date;
    if (dates1904)
        date = QDate(1904, 1, 1).addDays(day);
    else if (day >= 61)
        date = QDate(1899, 12, 30).addDays(day);
    else if (day == 60)
        // The 1900 system counts a 29 February 1900 that never was; it
        // reads as the 28th.
        date = QDate(1900, 2, 28);
    else
        date = QDate(1899, 12, 31).addDays(day);
    if (!date.isValid() || date.year() > 9999)
        return QString();
    const QString text = DateFormats::formatDate(date, dateFormat);
    return secondOfDay == 0 ? text : text + u' ' + time;
}

QString trimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return (begin == 0 && end == text.size()) ? text : text.mid(begin, end - begin);
}

} // namespace CellText
