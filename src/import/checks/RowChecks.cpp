#include "import/checks/RowChecks.h"

#include "import/FieldValues.h"
#include "import/HeaderMap.h"
#include "import/checks/IdNumber.h"

#include <QStringList>

#include <array>

namespace RowChecks {

namespace {
constexpr int kWorkerid = 1, kName = 2, kSex = 3, kBirthday = 6, kMobile = 8, kIdNumber = 9, kBaseWage = 22,
              kBeginDate = 23, kDepName = 17;
constexpr int kDateSlots[] = {6, 14, 23, 24};
constexpr int kMobileLength = 11;
const QString kUnderAge = QStringLiteral("入职时未满 %1 岁").arg(kMinimumWorkingAge);

using Level = CellProblem::Level;
using HeaderMap::columnLetters;

// A list with warnings on most rows (a column of mistyped identity
// numbers) makes these texts for each: the captions and the letters of the
// first columns are made once, and the texts are put together, not formatted.
const QString& caption(int slot)
{
    static const auto captions = [] {
        std::array<QString, ImportRow::SlotCount> all;
        for (int k = 1; k <= ImportRow::SlotCount; ++k)
            all[size_t(k - 1)] = QString::fromUtf8(importSlots()[size_t(k - 1)].caption);
        return all;
    }();
    return captions[size_t(slot - 1)];
}

QString letters(int column)
{
    constexpr int kKept = 256;
    static const auto first = [] {
        std::array<QString, kKept> all;
        for (int c = 1; c <= kKept; ++c)
            all[size_t(c - 1)] = columnLetters(c);
        return all;
    }();
    return column <= kKept ? first[size_t(column - 1)] : columnLetters(column);
}

// "出生日期(F列)「1990-13-45」"
QString cell(int slot, int column, const QString& value)
{
    QString text = caption(slot);
    text.reserve(text.size() + value.size() + 12);
    if (column > 0) {
        text += u'(';
        text += letters(column);
        text += QStringView(u"列)");
    }
    text += u'「';
    text += value;
    text += u'」';
    return text;
}

// A message that names its field itself, then the cell: "工号已存在（A列「W1」）".
// The message first: a narrow list shows it before it elides the rest.
QString located(const QString& message, int column, const QString& value)
{
    if (column <= 0)
        return message;
    QString text = message;
    text.reserve(message.size() + value.size() + 12);
    text += u'（';
    text += letters(column);
    text += u'列';
    if (!value.isEmpty()) {
        text += u'「';
        text += value;
        text += u'」';
    }
    text += u'）';
    return text;
}

// A date in ISO form ("yyyy-MM-dd", a time after it allowed), else null.
QDate isoDate(const QString& text)
{
    if (text.size() < 10 || text[4] != u'-' || text[7] != u'-')
        return QDate();
    int parts[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, len[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = from[p]; i < from[p] + len[p]; ++i) {
            if (text[i] < u'0' || text[i] > u'9')
                return QDate();
            parts[p] = parts[p] * 10 + (text[i].unicode() - u'0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

// A number below zero; without a minus sign none is, and reading every
// wage as a number costs more than the rest of the row's checks.
bool negative(const QString& text)
{
    if (!text.contains(u'-'))
        return false;
    bool number = false;
    const double value = text.toDouble(&number);
    return number && value < 0;
}

bool fullWidthDigit(QChar c)
{
    return c >= QChar(0xFF10) && c <= QChar(0xFF19);
}

// Blanks the reader left (ideographic, no-break) and full-width digits in
// a key: mended, with a note saying how.
void mendKey(QString& value, int slot, int column, int sheetRow, QList<CellProblem>& out)
{
    if (value.isEmpty())
        return;
    bool wide = false;
    for (QChar c : value)
        wide = wide || fullWidthDigit(c);
    const QString mended = slot == kIdNumber ? IdNumber::normalised(value) : IdNumber::mendedKey(value);
    if (mended == value)
        return;
    const bool trimmed = mended.size() != value.size();
    QStringList did;
    if (trimmed)
        did << QStringLiteral("首尾有空格，已去掉");
    if (wide)
        did << QStringLiteral("含全角数字，已转为半角");
    if (!did.isEmpty())
        out.append({sheetRow, slot, column, Level::Warning, cell(slot, column, value) + did.join(u'，'), {}, true});
    value = mended;
}
} // namespace


bool refuses(const QList<CellProblem>& problems)
{
    for (const CellProblem& p : problems)
        if (p.level == Level::Refusal)
            return true;
    return false;
}

QString rowReason(int sheetRow, const QList<CellProblem>& problems)
{
    const bool refused = refuses(problems);
    QStringList texts;
    for (const CellProblem& p : problems)
        if (p.level == Level::Refusal || (!refused && p.level == Level::Warning))
            texts << p.reason;
    return QStringLiteral("第 %1 行 ").arg(sheetRow) + texts.join(u'；');
}

QList<CellProblem> check(ImportRow& row, int sheetRow, const Columns& columns, const Options& options)
{
    QList<CellProblem> out;
    const auto col = [&](int slot) { return columns[size_t(slot - 1)]; };
    const auto add = [&](int slot, Level level, const QString& reason) {
        out.append({sheetRow, slot, col(slot), level, reason, {}, true});
    };
    const Level idLevel = options.strictId ? Level::Refusal : Level::Warning;

    mendKey(row.Workerid, kWorkerid, col(kWorkerid), sheetRow, out);
    if (row.Workerid.isEmpty()) // blanks the reader keeps, and nothing else
        add(kWorkerid, Level::Refusal, located(QStringLiteral("工号为空"), col(kWorkerid), QString()));
    if (!options.adding) {
        // An update writes none of the fields below but the wage: a file of
        // changes is not refused for a column it does not change.
        if (negative(row.BaseWage))
            add(kBaseWage, Level::Warning, cell(kBaseWage, col(kBaseWage), row.BaseWage) + QStringLiteral("是负数"));
        return out;
    }
    if (row.Wname.isEmpty())
        add(kName, Level::Refusal, located(QStringLiteral("姓名为空"), col(kName), QString()));

    // Dates the database would refuse are refused here, naming the cell.
    QDate dates[std::size(kDateSlots)];
    for (size_t k = 0; k < std::size(kDateSlots); ++k) {
        const int slot = kDateSlots[k];
        const QString& value = row.field(slot);
        if (value.isEmpty())
            continue;
        dates[k] = isoDate(FieldValues::normalisedDate(value));
        if (!dates[k].isValid())
            add(slot, Level::Refusal, cell(slot, col(slot), value) + QStringLiteral("不是有效日期"));
    }
    const QDate birthday = dates[0];
    const QDate beginDate = dates[2];
    if (birthday.isValid() && birthday > options.today)
        add(kBirthday, Level::Warning, cell(kBirthday, col(kBirthday), row.BIrThday) + QStringLiteral("在今天之后"));
    if (birthday.isValid() && beginDate.isValid()) {
        if (beginDate < birthday)
            add(kBeginDate, Level::Warning, cell(kBeginDate, col(kBeginDate), row.BeginDate) + QStringLiteral("早于出生日期"));
        else if (beginDate < birthday.addYears(kMinimumWorkingAge))
            add(kBeginDate, Level::Warning,
                cell(kBeginDate, col(kBeginDate), row.BeginDate) + kUnderAge);
    }

    if (!row.Worktel1.isEmpty()) {
        bool mobile = row.Worktel1.size() == kMobileLength && row.Worktel1[0] == u'1';
        for (QChar c : row.Worktel1)
            mobile = mobile && c >= u'0' && c <= u'9';
        if (!mobile)
            add(kMobile, Level::Warning, cell(kMobile, col(kMobile), row.Worktel1) + QStringLiteral("不是 1 开头的 11 位手机号码"));
    }
    if (negative(row.BaseWage))
        add(kBaseWage, Level::Warning, cell(kBaseWage, col(kBaseWage), row.BaseWage) + QStringLiteral("是负数"));

    mendKey(row.IdNumber, kIdNumber, col(kIdNumber), sheetRow, out);
    if (row.IdNumber.isEmpty())
        return out;
    const IdNumber::Reading id = IdNumber::read(row.IdNumber, options.today);
    const auto idAt = [&](const QString& message) { return located(message, col(kIdNumber), row.IdNumber); };
    using Kind = IdNumber::Reading::Kind;
    switch (id.kind) {
    case Kind::WrongForm:
        add(kIdNumber, idLevel, idAt(QStringLiteral("身份证号码应为 18 位")));
        return out;
    case Kind::BadDate:
        add(kIdNumber, idLevel, idAt(QStringLiteral("身份证号码中的出生日期不是有效日期")));
        return out;
    case Kind::FutureDate:
        add(kIdNumber, idLevel, idAt(QStringLiteral("身份证号码中的出生日期在今天之后")));
        return out;
    case Kind::BadCheckChar:
        // A digit is wrong somewhere: the date and sex in it prove nothing.
        add(kIdNumber, idLevel,
            idAt(QStringLiteral("身份证号码校验位应为 ") + id.expected + QStringLiteral("，表中为 ") + id.given));
        return out;
    case Kind::Valid:
        break;
    }
    // Made only where a message or a filled cell needs them.
    const auto birthText = [&] { return id.birth.toString(Qt::ISODate); };
    const QString sexText = id.male ? QStringLiteral("男") : QStringLiteral("女");
    if (birthday.isValid() && birthday != id.birth)
        add(kBirthday, idLevel,
            located(QStringLiteral("出生日期与身份证号码不符（身份证为 %1）").arg(birthText()), col(kBirthday), row.BIrThday));
    const QString sex = row.Sex.trimmed();
    if ((sex == u"男" || sex == u"女") && sex != sexText)
        add(kSex, idLevel, located(QStringLiteral("性别与身份证号码不符（身份证为 %1）").arg(sexText), col(kSex), row.Sex));
    if (options.fillFromId && id.kind == Kind::Valid) {
        if (row.BIrThday.isEmpty()) {
            row.BIrThday = birthText();
            add(kBirthday, Level::Filled, QStringLiteral("出生日期由身份证号码补全为 %1").arg(row.BIrThday));
        }
        if (row.Sex.isEmpty()) {
            row.Sex = sexText;
            add(kSex, Level::Filled, QStringLiteral("性别由身份证号码补全为 %1").arg(sexText));
        }
    }
    return out;
}

CellProblem fromWriterReason(const QString& reason, const ImportRow& row, int sheetRow, const Columns& columns)
{
    const qsizetype nl = reason.indexOf(u'\n');
    const QString said = nl < 0 ? reason : reason.left(nl);
    const QString detail = nl < 0 ? QString() : reason.mid(nl + 1).trimmed();
    // The field the sentence names: the first caption in it, longest first
    // where two start at one place ("联系电话" before "联系").
    int slot = 0;
    qsizetype best = -1;
    for (const ImportSlot& s : importSlots()) {
        const QString c = QString::fromUtf8(s.caption);
        const qsizetype i = said.indexOf(c);
        if (i >= 0 && (best < 0 || i < best || (i == best && c.size() > caption(slot).size()))) {
            best = i;
            slot = s.slot;
        }
    }
    if (slot == 0 && said.startsWith(QStringLiteral("工号")))
        slot = kWorkerid;
    const int column = slot > 0 ? columns[size_t(slot - 1)] : 0;
    return {sheetRow, slot, column, Level::Refusal, slot > 0 ? located(said, column, row.field(slot)) : said, detail};
}

CellProblem repeated(const ImportRow& row, int sheetRow, int earlierRow, const Columns& columns)
{
    const int column = columns[kWorkerid - 1];
    return {sheetRow, kWorkerid, column, Level::Refusal,
            located(QStringLiteral("工号与第 %1 行重复").arg(earlierRow), column, row.Workerid), {}};
}

CellProblem department(int sheetRow, const QString& department, int column)
{
    const QString said = department.isEmpty() ? QStringLiteral("部门名称为空")
                                              : QStringLiteral("部门「%1」不存在").arg(department);
    return {sheetRow, kDepName, column, Level::Refusal, located(said, column, department), {}};
}

} // namespace RowChecks
