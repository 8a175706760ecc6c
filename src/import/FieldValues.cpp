#include "import/FieldValues.h"

#include "platform/Errors.h"
#include "platform/db/DbFailures.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>

#include <optional>

namespace FieldValues {

namespace {

constexpr const char* kDateColumns[] = {"BIrThday", "BeginDate", "NorMalDate", "GraduateDate"};
// Fields whose digits all matter and which a spreadsheet may hold as a number.
constexpr const char* kDigitColumns[] = {"Workerid", "IdNumber", "BankId", "CustodyOldId", "CurativeId",
                                         "Worktel1", "Worktel2"};

template <size_t N>
bool among(const char* const (&names)[N], const char* column)
{
    for (const char* n : names)
        if (qstrcmp(n, column) == 0)
            return true;
    return false;
}

// The date in ISO form when the text is one of the accepted forms and a
// real date (and time), else nothing.
std::optional<QString> parseDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        "^([0-9]{4})(?:([-/.])([0-9]{1,2})\\2([0-9]{1,2})|([0-9]{2})([0-9]{2})|年([0-9]{1,2})月([0-9]{1,2})日)"
        "(?:\\s+([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    int month, day;
    if (m.hasCaptured(3)) {
        month = m.captured(3).toInt();
        day = m.captured(4).toInt();
    } else if (m.hasCaptured(5)) {
        month = m.captured(5).toInt();
        day = m.captured(6).toInt();
    } else {
        month = m.captured(7).toInt();
        day = m.captured(8).toInt();
    }
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    QString iso = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (m.hasCaptured(9)) {
        const QTime time(m.captured(9).toInt(), m.captured(10).toInt(),
                         m.hasCaptured(11) ? m.captured(11).toInt() : 0);
        if (!time.isValid())
            return std::nullopt;
        iso += u' ' + time.toString(QStringLiteral("hh:mm:ss"));
    }
    return iso;
}

// The fields the database's refusal may be about, in box order.
struct Candidate {
    QString caption;
    QString value;
};

// Which date field the database refused: the column it named, else the
// field holding the value it quoted, else the first one that is no date.
void findDateField(const ImportRow& row, DbFailures::Failure& f)
{
    QList<Candidate> named, quoted, invalid;
    for (const ImportSlot& s : importSlots()) {
        if (!among(kDateColumns, s.column) || row.field(s.slot).isEmpty())
            continue;
        const QString value = row.field(s.slot);
        const Candidate c{QString::fromUtf8(s.caption), value};
        if (f.column.compare(QLatin1String(s.column), Qt::CaseInsensitive) == 0)
            named << c;
        if (!f.value.isEmpty() && (value == f.value || normalisedDate(value) == f.value))
            quoted << c;
        if (!parseDate(value))
            invalid << c;
    }
    const QList<Candidate>& best = !named.isEmpty() ? named : !quoted.isEmpty() ? quoted : invalid;
    if (best.isEmpty())
        return;
    f.field = best.first().caption;
    f.value = best.first().value;
}

// Which field was too long: the column the database named, else those
// longer than the width it gave.
void findLongField(const ImportRow& row, DbFailures::Failure& f)
{
    if (!f.column.isEmpty()) {
        const QString caption = captionOfColumn(f.column);
        f.field = caption.isEmpty() ? f.column : caption;
        return;
    }
    if (f.width <= 0)
        return;
    QStringList captions;
    for (const ImportSlot& s : importSlots())
        if (row.field(s.slot).size() > f.width && !among(kDateColumns, s.column))
            captions << QString::fromUtf8(s.caption);
    // Each name in its own brackets: 「备注」「联系地址」过长.
    f.field = captions.join(QStringLiteral("」「"));
}

} // namespace

QString normalisedDate(const QString& text)
{
    return parseDate(text).value_or(text);
}

bool lostDigits(const QString& text)
{
    static const QRegularExpression exponent(QStringLiteral("^-?[0-9](?:\\.[0-9]+)?E[+-][0-9]{2,3}$"));
    return text.size() >= 5 && text.contains(u'E') && exponent.match(text).hasMatch();
}

QString lostDigitsReason(const ImportRow& row)
{
    QStringList captions;
    for (const ImportSlot& s : importSlots())
        if (among(kDigitColumns, s.column) && lostDigits(row.field(s.slot)))
            captions << QStringLiteral("「%1」").arg(QString::fromUtf8(s.caption));
    if (captions.isEmpty())
        return QString();
    return captions.join(QString()) + QStringLiteral("以数字格式保存，已丢失位数，请将该列设为文本后重新录入");
}

QString writeFailureReason(const std::exception& error, const ImportRow& row)
{
    const auto* db = dynamic_cast<const DbError*>(&error);
    if (!db)
        return errorText(error);
    DbFailures::Failure f = DbFailures::classify(*db);
    switch (f.kind) {
    case DbFailures::Kind::BadDate:
        findDateField(row, f);
        break;
    case DbFailures::Kind::BadNumber:
    case DbFailures::Kind::NumberTooLarge:
        // The wage is the only number bound from cell text.
        if (!row.BaseWage.isEmpty()) {
            f.field = captionOfColumn(QStringLiteral("BaseWage"));
            f.value = row.BaseWage;
        }
        break;
    case DbFailures::Kind::TooLong:
        findLongField(row, f);
        break;
    case DbFailures::Kind::NotNull:
        f.field = captionOfColumn(f.column);
        break;
    default:
        break;
    }
    return DbFailures::explain(f, db->text());
}

QString captionOfColumn(const QString& column)
{
    for (const ImportSlot& s : importSlots())
        if (column.compare(QLatin1String(s.column), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(s.caption);
    return QString();
}

} // namespace FieldValues
