#include "import/checks/IdNumber.h"

namespace IdNumber {

namespace {
bool allDigits(QStringView text)
{
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

int number(QStringView digits)
{
    int v = 0;
    for (QChar c : digits)
        v = v * 10 + (c.unicode() - u'0');
    return v;
}

bool blank(QChar c)
{
    return c.unicode() <= 0x20 || c == QChar(0x3000) || c == QChar(0x00A0);
}
} // namespace

QChar checkChar(QStringView first17)
{
    if (first17.size() != 17 || !allDigits(first17))
        return QChar();
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += (first17[i].unicode() - u'0') * kWeights[i];
    return QChar::fromLatin1(kCheckChars[sum % 11]);
}

Reading read(const QString& text, const QDate& today)
{
    Reading r;
    QStringView date;
    int yearBase = 0;
    if (text.size() == kLength && allDigits(QStringView(text).left(17))
        && (text[17] == u'X' || (text[17] >= u'0' && text[17] <= u'9'))) {
        date = QStringView(text).mid(6, 8);
    } else if (text.size() == kOldLength && allDigits(text)) {
        r.oldForm = true;
        date = QStringView(text).mid(6, 6);
        yearBase = 1900;
    } else {
        return r;
    }
    const int year = r.oldForm ? yearBase + number(date.left(2)) : number(date.left(4));
    const int month = number(date.mid(r.oldForm ? 2 : 4, 2));
    const int day = number(date.mid(r.oldForm ? 4 : 6, 2));
    if (!QDate::isValid(year, month, day)) {
        r.kind = Reading::Kind::BadDate;
        return r;
    }
    r.birth = QDate(year, month, day);
    r.male = (text[r.oldForm ? 14 : 16].unicode() - u'0') % 2 == 1;
    if (r.birth > today) {
        r.kind = Reading::Kind::FutureDate;
        return r;
    }
    if (!r.oldForm) {
        r.expected = checkChar(QStringView(text).left(17));
        r.given = text[17];
        if (r.expected != r.given) {
            r.kind = Reading::Kind::BadCheckChar;
            return r;
        }
    }
    r.kind = Reading::Kind::Valid;
    return r;
}

QString mendedKey(const QString& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && blank(text[to - 1]))
        --to;
    QString out = text.mid(from, to - from);
    for (QChar& c : out)
        if (c >= QChar(0xFF10) && c <= QChar(0xFF19))
            c = QChar(u'0' + (c.unicode() - 0xFF10));
    return out;
}

QString normalised(const QString& text)
{
    QString out = mendedKey(text);
    for (QChar& c : out)
        if (c == QChar(0xFF38) || c == QChar(0xFF58) || c == u'x')
            c = u'X';
    return out;
}

} // namespace IdNumber
