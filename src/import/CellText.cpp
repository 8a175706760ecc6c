#include "import/CellText.h"

#include "platform/DateFormats.h"

#include <QDate>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace CellText {

QString numberText(double value)
{
    char out[kNumberChars];
    const int n = numberChars(value, out);
    return n > 0 ? QString::fromLatin1(out, n) : QString();
}

int numberChars(double value, char* out)
{
    if (!std::isfinite(value))
        return 0;
    if (value == 0) {
        *out = '0'; // negative zero too
        return 1;
    }
    char* o = out;
    // Whole numbers of up to 15 digits are the common case, and exact.
    if (std::fabs(value) < 1e15 && value == std::trunc(value))
        return int(std::to_chars(o, out + kNumberChars, static_cast<long long>(value)).ptr - out);
    // Rounds to 15 significant digits: "d.dddddddddddddde±XX".
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    *r.ptr = 0;
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[16];
    int n = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && n < 15)
            digits[n++] = *p;
    int exponent = 0;
    if (*p == 'e') {
        const bool below = p[1] == '-';
        for (p += 2; *p >= '0' && *p <= '9'; ++p)
            exponent = exponent * 10 + (*p - '0');
        if (below)
            exponent = -exponent;
    }
    while (n > 1 && digits[n - 1] == '0')
        --n;

    if (negative)
        *o++ = '-';
    if (exponent >= -5 && exponent <= 14) {
        if (exponent >= 0) {
            for (int i = 0; i <= exponent; ++i)
                *o++ = i < n ? digits[i] : '0';
            if (n > exponent + 1) {
                *o++ = '.';
                for (int i = exponent + 1; i < n; ++i)
                    *o++ = digits[i];
            }
        } else {
            *o++ = '0';
            *o++ = '.';
            for (int i = 0; i < -exponent - 1; ++i)
                *o++ = '0';
            for (int i = 0; i < n; ++i)
                *o++ = digits[i];
        }
        return int(o - out);
    }
    *o++ = digits[0];
    if (n > 1) {
        *o++ = '.';
        for (int i = 1; i < n; ++i)
            *o++ = digits[i];
    }
    *o++ = 'E';
    *o++ = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    if (e >= 100)
        *o++ = char('0' + e / 100);
    *o++ = char('0' + e / 10 % 10);
    *o++ = char('0' + e % 10);
    return int(o - out);
}

QString dateText(double serial, bool dates1904, const QString& dateFormat)
{
    // 2958465 is 9999-12-31 in the 1900 system.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466.0)
        return QString();
    const qint64 seconds = std::llround(serial * 86400.0);
    const qint64 day = seconds / 86400;
    const int secondOfDay = int(seconds % 86400);
    auto time = [secondOfDay] {
        const int parts[3] = {secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
        char text[8] = {0, 0, ':', 0, 0, ':', 0, 0};
        for (int i = 0; i < 3; ++i) {
            text[3 * i] = char('0' + parts[i] / 10);
            text[3 * i + 1] = char('0' + parts[i] % 10);
        }
        return QString::fromLatin1(text, 8);
    };
    if (day == 0)
        return time();

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
    return secondOfDay == 0 ? text : text + u' ' + time();
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
