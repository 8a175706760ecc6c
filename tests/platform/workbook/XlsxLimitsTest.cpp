// The limits every format keeps in the compact sheet, and what the .xlsx
// reader makes of Excel's escapes and of packages laid out otherwise.
#include "platform/Errors.h"
#include "platform/workbook/CompactSheet.h"
#include "platform/workbook/XlsxWorkbook.h"
#include "robustness/RobustnessSupport.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(XlsxEscapes, DecodedInPlaceLeftToRight)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Data_x001B_[32m1", "Data\x1b[32m1"},
        {"_x005F_x0000_", "_x0000_"}, // the escaped underscore starts no escape
        {"ABC_x000D_\nDEF", "ABC\r\nDEF"},
        {"_x000d__x000a_", "\r\n"},    // lower-case hex
        {"a_x0041_b_x4E2D_", "aAb\xE4\xB8\xAD"},
        {"_xD800_", "_xD800_"},        // a lone surrogate stays as written
        {"_x12G4_ _x00 _x0041", "_x12G4_ _x00 _x0041"},
        {"no escape", "no escape"},
    };
    for (const auto& c : cases) {
        QByteArray text(c.in);
        text.truncate(xlsx::decodeEscapes(text.data(), text.size()));
        EXPECT_EQ(text, QByteArray(c.out)) << c.in;
    }
}

namespace {
// A sheet named 花名册 holding one cell; what it reads, or the error.
QString oneCell(const std::function<void(CompactSheet&)>& fill, int& rows, int& columns)
{
    CompactSheet sheet(QStringLiteral("f.ods"), QStringLiteral("花名册"));
    try {
        fill(sheet);
        sheet.finish();
    } catch (const Error& e) {
        return e.text();
    }
    rows = sheet.rowCount();
    columns = sheet.columnCount();
    const WorkbookCell cell = sheet.cell(rows - 1, columns - 1);
    return QStringLiteral("%1 %2").arg(int(cell.kind)).arg(cell.text.size());
}
void text(CompactSheet& s, const QString& t, int row = 11, int column = 1)
{
    const QByteArray utf8 = t.toUtf8();
    s.addText(row, column, utf8);
}
} // namespace

TEST(CompactSheet, KeepsTheSpreadsheetLimitsForEveryFormat)
{
    const QString tooLong = QStringLiteral("工作表「花名册」的单元格B12的文字超过32767个字符");
    const QString text2 = QString::number(int(WorkbookCell::Kind::Text)) + u' ';
    const struct {
        const char* what;
        std::function<void(CompactSheet&)> fill;
        QString read; // "kind length", or the start of the error
        int rows, columns;
    } cases[] = {
        {"32,767 characters", [](CompactSheet& s) { text(s, QString(32767, u'x')); }, text2 + "32767", 12, 2},
        {"32,767 three-byte characters", [](CompactSheet& s) { text(s, QString(32767, QChar(0x957F))); }, text2 + "32767", 12, 2},
        {"32,768 characters", [](CompactSheet& s) { text(s, QString(32768, u'x')); }, tooLong, 0, 0},
        {"16,384 characters past U+FFFF", [](CompactSheet& s) { text(s, QStringLiteral("😀").repeated(16384)); }, tooLong, 0, 0},
        {"NaN", [](CompactSheet& s) { s.addNumber(0, 0, std::nan(""), false); }, "4 5", 1, 1}, // #NUM!
        {"infinity", [](CompactSheet& s) { s.addNumber(2, 3, -INFINITY, true); }, "4 5", 3, 4},
        {"styled empty cells past the data",
         [](CompactSheet& s) {
             s.addNumber(1, 1, 7, false);
             s.addEmpty(CompactSheet::kMaxRows - 1, CompactSheet::kMaxColumns - 1);
             text(s, QString(), 5, 5);
         },
         "2 0", 2, 2},
        {"a row past the sheet", [](CompactSheet& s) { s.addBool(CompactSheet::kMaxRows, 0, true); }, "工作表超出了表格程序的范围", 0, 0},
        {"a column past the sheet", [](CompactSheet& s) { text(s, QStringLiteral("x"), 0, CompactSheet::kMaxColumns); }, "工作表超出了表格程序的范围", 0, 0},
    };
    for (const auto& c : cases) {
        int rows = 0, columns = 0;
        const QString read = oneCell(c.fill, rows, columns);
        EXPECT_TRUE(read.startsWith(c.read)) << c.what << ": " << read.toStdString();
        EXPECT_EQ(std::pair(rows, columns), std::pair(c.rows, c.columns)) << c.what;
    }
}

TEST(XlsxWorkbook, EscapesLayoutAndUsedRangeOfFilesMadeElsewhere)
{
    const struct {
        const char* kind;
        int rows, columns;
        QStringList row3; // A3, B3, C3
    } cases[] = {
        {"escapes", 3, 3, {QStringLiteral("Data\x1b[32m1"), QStringLiteral("_x0000_"), QStringLiteral("ABC\r\nDEF")}},
        // The workbook part at xl/Book.xml, names in other cases.
        {"layout", 3, 3, {QStringLiteral("X002"), QStringLiteral("李四"), QStringLiteral("人事部")}},
        // An empty styled cell at XFD1048576 under a dimension of the whole sheet.
        {"far-cell", 2, 3, {QString(), QString(), QString()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        TempDir dir;
        const QString path = dir.file(QStringLiteral("f.xlsx"));
        ASSERT_TRUE(makeWorkbook(QStringLiteral("xlsx-") + QLatin1String(c.kind), path));
        const std::unique_ptr<Workbook> book = openWorkbook(path);
        const WorkbookSheet& sheet = book->activeSheet();
        EXPECT_EQ(book->sheetName(book->activeSheetIndex()), QStringLiteral("花名册"));
        EXPECT_EQ(std::pair(sheet.rowCount(), sheet.columnCount()), std::pair(c.rows, c.columns));
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(sheet.cell(2, col).text, c.row3[col]) << col;
    }
}

TEST(XlsxWorkbook, PackagesOfAnotherKindAreNoWorkbook)
{
    const struct {
        int n;
        const char* reason;
    } cases[] = {{0, "压缩文件中没有表格"}, {1, "这是Excel二进制工作簿(.xlsb)"}};
    for (const auto& c : cases) {
        TempDir dir;
        const QString path = dir.file(QStringLiteral("f.xlsx"));
        ASSERT_TRUE(makeWorkbook(QStringLiteral("xlsx-other-document"), path, {QString::number(c.n)}));
        try {
            openWorkbook(path);
            ADD_FAILURE() << "opened " << c.n;
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith(QString::fromUtf8(c.reason))) << e.text().toStdString();
        }
    }
}
