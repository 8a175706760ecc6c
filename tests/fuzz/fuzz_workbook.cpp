// libFuzzer entry for the workbook reader: the input is taken as a file
// (OLE2 or a bare BIFF stream) and, failing that, as a workbook stream;
// every cell of every worksheet is read and turned into text.
#include "import/CellText.h"
#include "platform/Errors.h"
#include "platform/workbook/XlsWorkbook.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {
void readAll(XlsWorkbook& book)
{
    for (int s = 0; s < book.sheetCount(); ++s) {
        if (book.sheetType(s) != Workbook::SheetType::Worksheet)
            continue;
        const XlsSheet& sheet = book.sheet(s);
        // Rows in order, as the import reads them, then a few out of order.
        for (int r = 0; r <= sheet.rowCount(); ++r) {
            for (int c = 0; c <= sheet.columnCount(); ++c) {
                const WorkbookCell cell = sheet.cell(r, c);
                if (cell.kind == WorkbookCell::Kind::Number) {
                    (void)CellText::numberText(cell.number);
                    if (cell.isDate)
                        (void)CellText::dateText(cell.number, book.uses1904Dates(), QStringLiteral("yyyy-MM-dd"));
                }
            }
        }
        (void)sheet.cell(0, 0);
        (void)sheet.cell(sheet.rowCount() - 1, sheet.columnCount() - 1);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        auto book = XlsWorkbook::fromFileBytes(bytes);
        readAll(*book);
    } catch (const Error&) {
    }
    try {
        auto book = XlsWorkbook::fromStream(bytes);
        readAll(*book);
    } catch (const Error&) {
    }
    return 0;
}
