#include "import/SpreadsheetLink.h"

#include "import/CellText.h"
#include "platform/DateFormats.h"
#include "platform/Errors.h"
#include "platform/workbook/Workbook.h"

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
} // namespace

SpreadsheetLink::SpreadsheetLink() = default;
SpreadsheetLink::~SpreadsheetLink() = default;

void SpreadsheetLink::OpenWorkbook(const QString& path)
{
    CloseAndQuit();
    std::unique_ptr<Workbook> book = openWorkbook(path);
    // Decoding the sheet now keeps every file failure inside the open.
    sheet_ = &book->activeSheet();
    workbook_ = std::move(book);
}

QString SpreadsheetLink::ReadCellText(int row, int column)
{
    if (!workbook_)
        throw Error(QStringLiteral("没有打开的工作簿"));
    if (row < 1 || column < 1)
        throw Error(QStringLiteral("单元格位置无效: 第%1行第%2列").arg(row).arg(column));
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
                                                DateFormats::currentShortDateFormat());
        if (!date.isNull())
            return CellText::trimmed(date);
    }
    const QString number = CellText::numberText(cell.number);
    if (number.isNull())
        throw Error(QStringLiteral("第%1行第%2列的单元格的值无法转换为文本").arg(row).arg(column));
    return number;
}

void SpreadsheetLink::CloseAndQuit()
{
    sheet_ = nullptr;
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
