#include "import/FieldValues.h"

#include "platform/Errors.h"
#include "platform/db/DbFailures.h"

#include <QDate>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

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

// Reads the accepted date forms by hand: four date fields a row, tens of
// thousands of rows.
class DateReader {
public:
    explicit DateReader(const QString& text)
        : t_(text)
    {
    }

    // The date in ISO form when the text is one of the accepted forms and a
    // real date (and time), else nothing.
    std::optional<QString> iso()
    {
        int year, month, day;
        if (!number(4, 4, year))
            return std::nullopt;
        const QChar sep = at();
        if (sep == u'-' || sep == u'/' || sep == u'.') {
            ++i_;
            if (!number(1, 2, month) || !take(sep) || !number(1, 2, day))
                return std::nullopt;
        } else if (sep == u'年') {
            ++i_;
            if (!number(1, 2, month) || !take(u'月') || !number(1, 2, day) || !take(u'日'))
                return std::nullopt;
        } else if (!number(2, 2, month) || !number(2, 2, day)) {
            return std::nullopt;
        }
        int hour = 0, minute = 0, second = 0;
        const bool timed = i_ < t_.size();
        if (timed) {
            const qsizetype blanks = i_;
            while (at() == u' ' || at() == u'\t')
                ++i_;
            if (i_ == blanks || !number(1, 2, hour) || !take(u':') || !number(2, 2, minute))
                return std::nullopt;
            if (take(u':') && !number(2, 2, second))
                return std::nullopt;
            if (i_ != t_.size() || hour > 23 || minute > 59 || second > 59)
                return std::nullopt;
        }
        if (year < 1 || !QDate::isValid(year, month, day))
            return std::nullopt;
        char out[] = "0000-00-00 00:00:00";
        const int parts[] = {year / 100, year % 100, month, day, hour, minute, second};
        for (int k = 0; k < 7; ++k) {
            const int at = k < 2 ? 2 * k : 3 * k - 1; // 0, 2, 5, 8, 11, 14, 17
            out[at] = char('0' + parts[k] / 10);
            out[at + 1] = char('0' + parts[k] % 10);
        }
        const QLatin1String iso(out, timed ? 19 : 10);
        // Most dates arrive from date cells already in this form.
        if (t_ == iso)
            return t_;
        return QString(iso);
    }

private:
    QChar at() const { return i_ < t_.size() ? t_[i_] : QChar(); }
    bool take(QChar c)
    {
        if (at() != c)
            return false;
        ++i_;
        return true;
    }
    bool number(int minDigits, int maxDigits, int& value)
    {
        value = 0;
        int n = 0;
        for (; n < maxDigits && at() >= u'0' && at() <= u'9'; ++n, ++i_)
            value = value * 10 + (t_[i_].unicode() - u'0');
        return n >= minDigits;
    }

    const QString& t_;
    qsizetype i_ = 0;
};

std::optional<QString> parseDate(const QString& text)
{
    return DateReader(text).iso();
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
    // A number in exponent form, "-d.dddE+dd(d)", read by hand: asked for
    // seven fields of every row.
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto digits = [&](qsizetype atLeast, qsizetype atMost) {
        const qsizetype from = i;
        while (i < n && i - from < atMost && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        return i - from >= atLeast;
    };
    if (n < 5)
        return false;
    if (text[i] == u'-')
        ++i;
    if (!digits(1, 1))
        return false;
    if (i < n && text[i] == u'.') {
        ++i;
        if (!digits(1, n))
            return false;
    }
    if (i >= n || text[i] != u'E')
        return false;
    ++i;
    if (i >= n || (text[i] != u'+' && text[i] != u'-'))
        return false;
    ++i;
    return digits(2, 3) && i == n;
}

QString lostDigitsReason(const ImportRow& row)
{
    // Asked for every row: only the few slots whose digits matter are looked at.
    static const std::vector<const ImportSlot*> digitSlots = [] {
        std::vector<const ImportSlot*> slots;
        for (const ImportSlot& s : importSlots())
            if (among(kDigitColumns, s.column))
                slots.push_back(&s);
        return slots;
    }();
    QStringList captions;
    for (const ImportSlot* s : digitSlots) {
        const QString& value = row.field(s->slot);
        if (value.size() >= 5 && value.contains(u'E') && lostDigits(value))
            captions << QStringLiteral("「%1」").arg(QString::fromUtf8(s->caption));
    }
    if (captions.isEmpty())
        return QString();
    return captions.join(QString()) + QStringLiteral("以数字格式保存，已丢失位数，请将该列设为文本后重新录入");
}

namespace {
// Hrp_workers' text columns and their widths, from sql/sqlserver.sql (the
// reference; the other two scripts follow it). The schema test holds the
// two together.
constexpr struct {
    const char* column;
    int width;
} kColumnWidths[] = {
    {"Workerid", 30},
    {"Wname", 50},
    {"NamePy", 10},
    {"DeptNo", 20},
    {"DepName", 50},
    {"Sex", 10},
    {"Nation", 20},
    {"Politics", 20},
    {"IdNumber", 30},
    {"Birthplace", 100},
    {"marriage", 10},
    {"Education", 20},
    {"Skill", 200},
    {"JobTitle", 50},
    {"BankName", 100},
    {"BankId", 50},
    {"EmployType", 20},
    {"ContactAddr", 200},
    {"Worktel1", 30},
    {"Worktel2", 30},
    {"Remarks", 500},
    {"CurativeId", 50},
    {"CustodyOldId", 50},
    {"Profession", 100},
    {"SchoolName", 100},
    {"WageLevel", 20},
    {"WorkStatus", 10},
    {"ALanguage", 100},
    {"leye", 10},
    {"reye", 10},
    {"Email", 100},
    {"FamilyTel", 30},
    {"JobAsses", 50}
};
} // namespace

int columnWidth(const QString& column)
{
    for (const auto& c : kColumnWidths)
        if (column.compare(QLatin1String(c.column), Qt::CaseInsensitive) == 0)
            return c.width;
    return 0;
}

QString tooLongReason(const ImportRow& row, int mode)
{
    // Asked for every row: each slot's width looked up once.
    static const std::array<int, ImportRow::SlotCount> widths = [] {
        std::array<int, ImportRow::SlotCount> w{};
        for (const ImportSlot& s : importSlots())
            w[size_t(s.slot - 1)] = columnWidth(QLatin1String(s.column));
        return w;
    }();
    for (const ImportSlot& s : importSlots()) {
        if (mode == 1 && !s.updatable && s.slot != 1)
            continue;
        const QString& value = row.field(s.slot);
        if (value.size() <= 10)
            continue;  // no text column is narrower
        const int width = widths[size_t(s.slot - 1)];
        if (width > 0 && value.size() > width)
            return QStringLiteral("「%1」过长（最多 %2 个字符）").arg(QString::fromUtf8(s.caption)).arg(width);
    }
    return QString();
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
    case DbFailures::Kind::UniqueKey:
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
