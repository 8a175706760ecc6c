#include "platform/workbook/NumberFormats.h"

namespace NumberFormats {

bool isBuiltinDateFormat(int index)
{
    return (index >= 14 && index <= 22) || (index >= 27 && index <= 36)
        || (index >= 45 && index <= 47) || (index >= 50 && index <= 58);
}

namespace {
bool isElapsedTime(QStringView inside)
{
    if (inside.isEmpty())
        return false;
    const QChar first = inside.front().toLower();
    if (first != u'h' && first != u'm' && first != u's')
        return false;
    for (QChar c : inside)
        if (c.toLower() != first)
            return false;
    return true;
}
} // namespace

bool isDateFormatCode(QStringView code)
{
    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = code[i];
        switch (c.unicode()) {
        case u'"': {
            const qsizetype end = code.indexOf(u'"', i + 1);
            if (end < 0)
                return false;
            i = end;
            continue;
        }
        case u'\\': // escaped character
        case u'_':  // space as wide as the next character
        case u'*':  // fill with the next character
            ++i;
            continue;
        case u'[': {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0)
                return false;
            if (isElapsedTime(code.mid(i + 1, end - i - 1)))
                return true;
            i = end;
            continue;
        }
        default:
            break;
        }
        switch (c.toLower().unicode()) {
        case u'y': case u'm': case u'd': case u'h': case u's':
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace NumberFormats
