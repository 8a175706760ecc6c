// What the .xlsx and .ods readers say about a workbook beyond its cells:
// sheets, their kinds, the active one, the date system.
#include "platform/Errors.h"
#include "platform/workbook/OdsWorkbook.h"
#include "platform/workbook/XlsTestFiles.h"
#include "platform/workbook/XlsxWorkbook.h"

#include <gtest/gtest.h>

TEST(XlsxWorkbook, SheetsKindsActiveTabAndDateSystem)
{
    auto crafted = XlsxWorkbook::open(ZipContainer(workbookFixture(QStringLiteral("crafted.xlsx"))));
    EXPECT_EQ(crafted->sheetCount(), 2);
    EXPECT_EQ(crafted->sheetName(0), QStringLiteral("图表"));
    EXPECT_EQ(crafted->sheetType(0), Workbook::SheetType::Chart);
    EXPECT_EQ(crafted->activeSheetIndex(), 1); // the active tab is a chart: the first worksheet
    EXPECT_TRUE(crafted->uses1904Dates());
    EXPECT_THROW(crafted->sheet(0), Error);
    const WorkbookSheet& s = crafted->activeSheet();
    EXPECT_EQ(s.cell(1, 1).kind, WorkbookCell::Kind::Number);
    EXPECT_TRUE(s.cell(1, 1).isDate);
    EXPECT_EQ(s.cell(1, 3).kind, WorkbookCell::Kind::Error);
    EXPECT_EQ(s.cell(1, 3).number, 0x2A);
    EXPECT_EQ(s.cell(5, 0).kind, WorkbookCell::Kind::Empty);

    auto multi = XlsxWorkbook::open(ZipContainer(workbookFixture(QStringLiteral("multisheet.xlsx"))));
    EXPECT_EQ(multi->activeSheetIndex(), 1);
    EXPECT_EQ(multi->sheet(2).cell(0, 0).text, QStringLiteral("sheet 3"));
    EXPECT_FALSE(multi->uses1904Dates());
}

TEST(XlsxWorkbook, CellReferences)
{
    const struct {
        const char* ref;
        int row, column; // -1: refused
    } cases[] = {{"A1", 0, 0}, {"b12", 11, 1}, {"AA10", 9, 26}, {"XFD1048576", 1048575, 16383},
                 {"XFE1", -1, -1}, {"A1048577", -1, -1}, {"A0", -1, -1}, {"1A", -1, -1}, {"A", -1, -1},
                 {"ABCD1", -1, -1}, {"A1x", -1, -1}, {"", -1, -1}, {"A99999999999", -1, -1}};
    for (const auto& c : cases) {
        int row = -1, column = -1;
        const bool ok = xlsx::parseCellReference(QByteArrayView(c.ref), row, column);
        EXPECT_EQ(ok, c.row >= 0) << c.ref;
        if (ok) {
            EXPECT_EQ(std::pair(row, column), std::pair(c.row, c.column)) << c.ref;
        }
    }
}

TEST(OdsWorkbook, ActiveTableFromTheSettingsAndOtherTablesOnDemand)
{
    auto book = OdsWorkbook::open(ZipContainer(workbookFixture(QStringLiteral("basic.ods"))));
    EXPECT_EQ(book->sheetCount(), 2);
    EXPECT_EQ(book->sheetName(1), QStringLiteral("人员"));
    EXPECT_EQ(book->activeSheetIndex(), 1);
    // A trailing repeat of a million empty rows costs nothing.
    EXPECT_EQ(book->activeSheet().rowCount(), 7);
    EXPECT_EQ(book->sheet(0).cell(0, 0).text, QStringLiteral("sheet 1"));
    EXPECT_EQ(book->activeSheet().cell(1, 0).kind, WorkbookCell::Kind::Number);
    EXPECT_TRUE(book->activeSheet().cell(1, 0).isDate);
    EXPECT_THROW(book->sheet(2), Error);

    auto first = OdsWorkbook::open(ZipContainer(workbookFixture(QStringLiteral("no-settings.ods"))));
    EXPECT_EQ(first->activeSheetIndex(), 0);
}
