#pragma once

// What every workbook fuzz target does with a workbook that opened: read
// each worksheet's cells and turn numbers into text, as the import would.
#include "import/CellText.h"
#include "platform/Errors.h"
#include "platform/workbook/Workbook.h"

#include <algorithm>

inline void readEveryCell(Workbook& book, int maxRows = 1 << 30, int maxColumns = 1 << 30)
{
    for (int s = 0; s < book.sheetCount(); ++s) {
        if (book.sheetType(s) != Workbook::SheetType::Worksheet)
            continue;
        try {
            const WorkbookSheet& sheet = book.sheet(s);
            // Rows in order, as the import reads them, then the far corner.
            for (int r = 0; r <= std::min(sheet.rowCount(), maxRows); ++r) {
                for (int c = 0; c <= std::min(sheet.columnCount(), maxColumns); ++c) {
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
        } catch (const Error&) {
        }
    }
}
