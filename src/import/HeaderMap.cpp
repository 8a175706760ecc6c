#include "import/HeaderMap.h"

#include "import/ImportRun.h"
#include "import/SpreadsheetLink.h"

#include <QHash>
#include <QSet>
#include <QRegularExpression>

namespace HeaderMap {
namespace {

// Ways a personnel office writes each box's header besides its caption.
// The Hrp_workers column names are accepted too (lists exported from the
// database carry them).
const char* const kVariants[ImportRow::SlotCount] = {
    "工号|职工编号|员工号|人员编号|职工号|员工代码|人员代码",
    "员工姓名|职工姓名|人员姓名|名字",
    "",
    "",
    "婚姻|婚否|婚姻状态",
    "生日|出生年月|出生年月日|出生时间",
    "政治身份|党派",
    "手机|手机号|移动电话|手机电话",
    "身份证号|身份证|证件号码|身份证件号码|证件号",
    "文化程度|最高学历",
    "户籍|出生地|户籍所在地",
    "电话|固定电话|办公电话|座机",
    "技术职称|专业技术职称",
    "毕业时间",
    "所学专业",
    "毕业院校|学校",
    "部门|所属部门|部门名|所在部门",
    "岗位|职位",
    "人员类型|用工类型|员工类别|人员类别|用工性质",
    "特长",
    "薪资等级|薪级|工资级别",
    "基本薪资|底薪",
    "入职时间|入司日期|到岗日期",
    "转正时间",
    "外语|外语水平|外语能力",
    "开户银行|开户行",
    "银行账号|工资卡号|银行卡号|工资账号|工资帐号",
    "养保账号|养老保险号|养老保险帐号|养老保险账号",
    "医保账号|医保卡号|医疗保险号|医保号",
    "说明|备注信息",
    "地址|家庭住址|通讯地址|住址|家庭地址",
};

struct Tables {
    QHash<QString, int> captions; // normalised caption → slot
    QHash<QString, int> variants; // normalised variant → slot
};

const Tables& tables()
{
    static const Tables t = [] {
        Tables t;
        for (const ImportSlot& s : importSlots()) {
            t.captions.insert(normalise(QString::fromUtf8(s.caption)), s.slot);
            QStringList words = QString::fromUtf8(kVariants[s.slot - 1]).split(u'|', Qt::SkipEmptyParts);
            words << QString::fromLatin1(s.column);
            for (const QString& w : words)
                t.variants.insert(normalise(w), s.slot);
        }
        return t;
    }();
    return t;
}

} // namespace

QString columnLetters(int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

bool parseColumn(const QString& text, int& column)
{
    if (ImportRun::parseWholeNumber(text, column))
        return true;
    // Full-width digits and letters fold to ASCII; blanks count as for a
    // number (none after the column).
    const QString folded = text.normalized(QString::NormalizationForm_KC).toUpper();
    if (folded != text && ImportRun::parseWholeNumber(folded, column))
        return true;
    // "27 AA": the number and the letters, as a box may show them.
    const qsizetype blank = folded.indexOf(u' ');
    QString letters = folded;
    int number = 0;
    if (blank > 0) {
        if (!ImportRun::parseWholeNumber(folded.left(blank), number))
            return false;
        letters = folded.mid(blank + 1);
    }
    if (letters.isEmpty() || letters.size() > 3)
        return false;
    int value = 0;
    for (const QChar c : letters) {
        if (c < u'A' || c > u'Z')
            return false;
        value = value * 26 + (c.unicode() - u'A' + 1);
    }
    if (value > kMaxColumn || (blank > 0 && number != value))
        return false;
    column = value;
    return true;
}

QString columnText(int column)
{
    return QString::number(column);
}

QString normalise(const QString& header)
{
    // NFKC folds full-width letters, digits, brackets and "＊" to ASCII.
    QString text = header.normalized(QString::NormalizationForm_KC).toCaseFolded();
    text.removeIf([](QChar c) { return c.isSpace(); });
    static const QRegularExpression notes(QStringLiteral("\\([^()]*\\)|\\[[^\\[\\]]*\\]|【[^【】]*】"));
    for (qsizetype before = -1; before != text.size();) {
        before = text.size();
        text.remove(notes);
    }
    while (text.endsWith(u'*') || text.endsWith(u':'))
        text.chop(1);
    while (text.startsWith(u'*'))
        text.remove(0, 1);
    return text;
}

int slotOfHeader(const QString& header)
{
    const QString key = normalise(header);
    if (key.isEmpty())
        return 0;
    if (const int slot = tables().captions.value(key))
        return slot;
    return tables().variants.value(key);
}

Columns suggest(const QStringList& headers)
{
    Columns columns{};
    QList<bool> used(headers.size(), false);
    QStringList keys;
    for (const QString& h : headers)
        keys << normalise(h);
    // Exact captions first, so that a variant never takes a caption's box.
    for (const QHash<QString, int>* table : {&tables().captions, &tables().variants}) {
        for (qsizetype c = 0; c < keys.size(); ++c) {
            const int slot = keys[c].isEmpty() ? 0 : table->value(keys[c]);
            if (slot == 0 || used[c] || columns[size_t(slot - 1)] != 0)
                continue;
            columns[size_t(slot - 1)] = int(c + 1);
            used[c] = true;
        }
    }
    return columns;
}

QStringList missingRequired(const Columns& columns)
{
    QStringList missing;
    for (const ImportSlot& s : importSlots())
        if (s.required && columns[size_t(s.slot - 1)] <= 0)
            missing << QString::fromUtf8(s.caption);
    return missing;
}

QString missingMessage(const QStringList& missing)
{
    return QStringLiteral("表头中没有找到「%1」这一列。请在对应的框中填写它的列号（1 是 A 列，2 是 B 列），再导入。")
        .arg(missing.join(QStringLiteral("」「")));
}

QString otherSheetWithHeader(SpreadsheetLink& link)
{
    const QString chosen = link.sheetName();
    QString found;
    for (const SpreadsheetLink::SheetEntry& e : link.sheets()) {
        if (e.name == chosen || e.hidden)
            continue;
        try {
            link.selectSheet(e.name);
            if (missingRequired(suggest(readHeaderRow(link, detectHeaderRow(link)))).isEmpty()) {
                found = e.name;
                break;
            }
        } catch (const std::exception&) {
            // A sheet that cannot be read is no better a choice.
        }
    }
    try {
        link.selectSheet(chosen);
    } catch (const std::exception&) {
    }
    return found;
}

QString otherSheetHint(const QString& sheet, const QString& how)
{
    return QStringLiteral("员工资料似乎在工作表「%1」中：%2。").arg(sheet, how);
}

namespace {
QString headerCell(SpreadsheetLink& link, int row, int column)
{
    try {
        return link.ReadCellText(row, column);
    } catch (const std::exception&) {
        return QString(); // an error value names no field
    }
}

// How many different fields row `row` names, counting captions merged down
// from the row above (readHeaderRow), and whether the worker number or the
// name is one of them; 0 when the row's own cells name none (a blank row
// under a header is no header).
int fieldsNamed(const QStringList& own, const QStringList& filled, bool& idOrName)
{
    QSet<int> slots;
    bool anyOwn = false;
    for (qsizetype c = 0; c < filled.size(); ++c) {
        const int slot = slotOfHeader(filled[c]);
        if (slot == 0)
            continue;
        slots.insert(slot);
        anyOwn = anyOwn || (c < own.size() && own[c] == filled[c]);
    }
    idOrName = slots.contains(1) || slots.contains(2);
    return anyOwn ? int(slots.size()) : 0;
}
} // namespace

int detectHeaderRow(SpreadsheetLink& link)
{
    const int rows = qMin(kHeaderSearchRows, link.usedRows());
    const int columns = link.usedColumns();
    int best = 1, bestCount = 0;
    QStringList above;
    for (int r = 1; r <= rows; ++r) {
        QStringList own, filled;
        for (int c = 1; c <= columns; ++c) {
            own << headerCell(link, r, c);
            const QString up = c <= above.size() ? above[c - 1] : QString();
            filled << (own.last().isEmpty() && slotOfHeader(up) != 0 ? up : own.last());
        }
        bool idOrName = false;
        const int count = fieldsNamed(own, filled, idOrName);
        // The lower of two alike: a field row under a group row.
        if (count >= kHeaderMinFields && idOrName && count >= bestCount) {
            best = r;
            bestCount = count;
        }
        above = own;
    }
    return best;
}

QStringList readHeaderRow(SpreadsheetLink& link, int row)
{
    QStringList headers;
    const int count = link.usedColumns();
    for (int c = 1; c <= count; ++c) {
        QString text = headerCell(link, row, c);
        if (text.isEmpty() && row > 1) {
            const QString above = headerCell(link, row - 1, c);
            if (slotOfHeader(above) != 0)
                text = above;
        }
        headers << text;
    }
    while (!headers.isEmpty() && headers.last().isEmpty())
        headers.removeLast();
    return headers;
}

QString describeColumn(int column, const QStringList& headers)
{
    const QString text = column >= 1 && column <= headers.size() ? headers[column - 1] : QString();
    return text.isEmpty() ? columnLetters(column) : columnLetters(column) + u' ' + text;
}

BoxNote noteForBox(int slot, const QString& boxText, const QStringList* headers, const QString& remembered,
                   int usedColumns)
{
    int column = 0;
    if (boxText.isEmpty())
        return {};
    if (!parseColumn(boxText, column))
        return {QStringLiteral("「%1」不是列号：请填列号（1 是 A 列）或列字母（A、B、AA）").arg(boxText), true};
    if (column < 1)
        return {QStringLiteral("「%1」不是列号：列号从 1 开始，1 是 A 列").arg(boxText), true};
    if (usedColumns > 0 && column > usedColumns)
        return {QStringLiteral("%1 列在表格的最后一列（%2 列）之后，是空的：请检查列号")
                    .arg(columnLetters(column), columnLetters(usedColumns)),
                true};
    if (!headers) {
        const QString letters = columnLetters(column);
        return {remembered.isEmpty() ? letters : letters + u' ' + remembered, false};
    }
    BoxNote note{describeColumn(column, *headers), false};
    const QString header = column <= headers->size() ? (*headers)[column - 1] : QString();
    const int named = slotOfHeader(header);
    const QString own = QString::fromUtf8(importSlots()[size_t(slot - 1)].caption);
    if (named != 0 && named != slot) {
        note.suspect = true;
        note.text += QStringLiteral("\n%1 列的表头「%2」是「%3」，不是「%4」：请检查列号")
                         .arg(columnLetters(column), header,
                              QString::fromUtf8(importSlots()[size_t(named - 1)].caption), own);
    } else if (named == 0 && !remembered.isEmpty() && normalise(remembered) != normalise(header)) {
        note.suspect = true;
        note.text += QStringLiteral("\n上次这一列的表头是「%1」，这个文件是「%2」：请检查列号")
                         .arg(remembered, header);
    }
    return note;
}

} // namespace HeaderMap
