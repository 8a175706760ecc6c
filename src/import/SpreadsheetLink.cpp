#include "import/SpreadsheetLink.h"

#include "import/CellEdits.h"
#include "import/CellText.h"
#include "import/ImportRun.h"
#include "platform/DateFormats.h"
#include "platform/Errors.h"
#include "platform/workbook/Workbook.h"

#include <QDir>

#include <algorithm>

namespace {
QString errorName(int code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QStringLiteral("#ERR%1").arg(code);
    }
}
// Bytes that QString::fromUtf8 and toUtf8 give back unchanged: well-formed
// UTF-8 (no overlong forms, surrogates or code points past U+10FFFF) that
// does not start with a byte-order mark.
bool roundTrips(QByteArrayView v)
{
    const auto* p = reinterpret_cast<const unsigned char*>(v.data());
    const auto* end = p + v.size();
    if (v.startsWith("\xEF\xBB\xBF"))
        return false;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more;
        unsigned char lo = 0x80, hi = 0xBF; // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p <= more || p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return true;
}

void appendTrimmed(QByteArrayView v, QByteArray& out)
{
    // Characters up to U+0020 are single bytes in UTF-8, and no other
    // character's bytes lie in that range.
    while (!v.isEmpty() && uchar(v.front()) <= 0x20)
        v = v.sliced(1);
    while (!v.isEmpty() && uchar(v.back()) <= 0x20)
        v.chop(1);
    out.append(v);
}
} // namespace

SpreadsheetLink::SpreadsheetLink() = default;
SpreadsheetLink::~SpreadsheetLink() = default;

void SpreadsheetLink::OpenWorkbook(const QString& path)
{
    CloseAndQuit();
    std::unique_ptr<Workbook> book = openWorkbook(path);
    // Decoding the sheet now keeps every file failure inside the open.
    sheet_ = &book->activeSheet();
    sheetIndex_ = book->activeSheetIndex();
    workbook_ = std::move(book);
}

void SpreadsheetLink::OpenWorkbook(const QString& path, const QString& sheet)
{
    OpenWorkbook(path);
    if (!sheet.isEmpty())
        selectSheet(sheet);
}

void SpreadsheetLink::openHead(const QString& path, const QString& sheet, int maxRows)
{
    CloseAndQuit();
    std::unique_ptr<Workbook> book = openWorkbook(path, maxRows);
    sheet_ = &book->activeSheet();
    sheetIndex_ = book->activeSheetIndex();
    workbook_ = std::move(book);
    if (!sheet.isEmpty())
        selectSheet(sheet);
}

void SpreadsheetLink::selectSheet(const QString& sheet)
{
    if (!workbook_)
        throw Error(QStringLiteral("没有打开的工作簿"));
    int index = workbook_->activeSheetIndex();
    if (!sheet.isEmpty()) {
        index = -1;
        for (int i = 0; i < workbook_->sheetCount() && index < 0; ++i)
            if (workbook_->sheetName(i) == sheet)
                index = i;
        for (int i = 0; i < workbook_->sheetCount() && index < 0; ++i)
            if (workbook_->sheetName(i).compare(sheet.trimmed(), Qt::CaseInsensitive) == 0)
                index = i;
        int number = 0;
        if (index < 0 && ImportRun::parseWholeNumber(sheet, number) && number >= 1 && number <= workbook_->sheetCount())
            index = number - 1;
    }
    QStringList names;
    for (const SheetEntry& e : sheets())
        names << e.name;
    const QString choices = QStringLiteral("可以选择的工作表：「%1」").arg(names.join(QStringLiteral("」「")));
    if (index < 0)
        throw Error(QStringLiteral("工作簿里没有工作表「%1」。%2").arg(sheet, choices));
    if (workbook_->sheetType(index) != Workbook::SheetType::Worksheet)
        throw Error(QStringLiteral("「%1」是图表或宏表，不是工作表。%2").arg(workbook_->sheetName(index), choices));
    sheet_ = &workbook_->sheet(index);
    sheetIndex_ = index;
}

QList<SpreadsheetLink::SheetEntry> SpreadsheetLink::sheets() const
{
    QList<SheetEntry> shown, hidden;
    for (int i = 0; workbook_ && i < workbook_->sheetCount(); ++i) {
        if (workbook_->sheetType(i) != Workbook::SheetType::Worksheet)
            continue;
        const bool h = workbook_->sheetVisibility(i) != Workbook::Visibility::Visible;
        (h ? hidden : shown).append({i, workbook_->sheetName(i), h});
    }
    return shown + hidden;

}

QString SpreadsheetLink::ReadCellText(int row, int column)
{
    if (!workbook_)
        throw Error(QStringLiteral("没有打开的工作簿"));
    if (row < 1 || column < 1)
        throw Error(QStringLiteral("单元格位置无效: 第%1行第%2列").arg(row).arg(column));
    if (const QString* edited = edits_ ? edits_->find(row, column) : nullptr)
        return *edited;
    const WorkbookCell cell = sheet_->cell(row - 1, column - 1);
    switch (cell.kind) {
    case WorkbookCell::Kind::Empty:
        return QString();
    case WorkbookCell::Kind::Text:
        return CellText::trimmed(cell.text);
    case WorkbookCell::Kind::Bool:
        return cell.number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case WorkbookCell::Kind::Error:
        throw Error(QStringLiteral("第%1行第%2列的单元格是错误值%3")
                        .arg(row).arg(column).arg(cell.text.isEmpty() ? errorName(int(cell.number)) : cell.text));
    case WorkbookCell::Kind::Number:
        break;
    }
    if (cell.isDate) {
        const QString date = CellText::dateText(cell.number, workbook_->uses1904Dates(),
                                                dateFormat_.isEmpty() ? DateFormats::currentShortDateFormat() : dateFormat_);
        if (!date.isNull())
            return CellText::trimmed(date);
    }
    const QString number = CellText::numberText(cell.number);
    if (number.isNull())
        throw Error(QStringLiteral("第%1行第%2列的单元格的值无法转换为文本").arg(row).arg(column));
    return number;
}

void SpreadsheetLink::appendCellText(int row, int column, QByteArray& out)
{
    if (!workbook_ || row < 1 || column < 1) {
        out.append(ReadCellText(row, column).toUtf8()); // raises its Error
        return;
    }
    QByteArrayView utf8;
    const WorkbookCell cell = sheet_->cellUtf8(row - 1, column - 1, utf8);
    switch (cell.kind) {
    case WorkbookCell::Kind::Text:
        if (!utf8.isNull() && roundTrips(utf8))
            return appendTrimmed(utf8, out);
        break;
    case WorkbookCell::Kind::Number: {
        if (cell.isDate)
            break;
        char text[CellText::kNumberChars];
        const int n = CellText::numberChars(cell.number, text);
        if (n > 0) {
            out.append(text, n);
            return;
        }
        break;
    }
    case WorkbookCell::Kind::Empty:
        return;
    default:
        break;
    }
    out.append(ReadCellText(row, column).toUtf8());
}

bool SpreadsheetLink::isBlank(int row, int column)
{
    if (workbook_ && row >= 1 && column >= 1) {
        QByteArrayView utf8;
        const WorkbookCell cell = sheet_->cellUtf8(row - 1, column - 1, utf8);
        if (cell.kind == WorkbookCell::Kind::Empty)
            return true;
        char digits[CellText::kNumberChars];
        if (cell.kind == WorkbookCell::Kind::Number && !cell.isDate && CellText::numberChars(cell.number, digits) > 0)
            return false;
        if (cell.kind == WorkbookCell::Kind::Text && !utf8.isNull()) {
            // Trimmed away: characters up to U+0020, single bytes in UTF-8.
            return std::all_of(utf8.begin(), utf8.end(), [](char c) { return uchar(c) <= 0x20; });
        }
    }
    return ReadCellText(row, column).isEmpty();
}

void SpreadsheetLink::appendRowText(int row, int columns, QByteArray& out)
{
    for (int c = 1; c <= columns; ++c) {
        if (c > 1)
            out += '\t';
        try {
            appendCellText(row, c, out);
        } catch (const Error&) {
            out += "#ERROR";
        }
    }
    out += '\n';
}

bool SpreadsheetLink::readsConcurrently() const
{
    return sheet_ && sheet_->readsConcurrently();
}

void SpreadsheetLink::CloseAndQuit()
{
    sheet_ = nullptr;
    sheetIndex_ = -1;
    workbook_.reset();
}

bool SpreadsheetLink::isOpen() const
{
    return workbook_ != nullptr;
}

int SpreadsheetLink::usedRows() const
{
    return sheet_ ? sheet_->rowCount() : 0;
}

int SpreadsheetLink::usedColumns() const
{
    return sheet_ ? sheet_->columnCount() : 0;
}

QString SpreadsheetLink::sheetName() const
{
    return workbook_ ? workbook_->sheetName(sheetIndex_) : QString();
}

QString cannotOpenWorkbookText(const QString& path, const QString& reason)
{
    return QStringLiteral("无法打开文件「%1」，请确认它是表格文件并且没有损坏。\n%2")
        .arg(QDir::toNativeSeparators(path), reason);
}
