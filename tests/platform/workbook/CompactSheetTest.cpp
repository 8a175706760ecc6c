#include "platform/Errors.h"
#include "platform/workbook/CompactSheet.h"
#include "platform/workbook/CsvWorkbook.h"

#include <QDir>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

struct Given {
    Given(int r, int c, WorkbookCell::Kind k, double n = 0, bool d = false, QByteArray t = {})
        : row(r), column(c), kind(k), number(n), isDate(d), text(std::move(t))
    {
    }
    int row, column;
    WorkbookCell::Kind kind;
    double number;
    bool isDate;
    QByteArray text; // Text, Error
};

void add(CompactSheet& s, const Given& g)
{
    switch (g.kind) {
    case WorkbookCell::Kind::Number: s.addNumber(g.row, g.column, g.number, g.isDate); break;
    case WorkbookCell::Kind::Bool: s.addBool(g.row, g.column, g.number != 0); break;
    case WorkbookCell::Kind::Error: s.addError(g.row, g.column, g.text); break;
    case WorkbookCell::Kind::Text: s.addText(g.row, g.column, g.text); break;
    default: s.addEmpty(g.row, g.column); break;
    }
}

// What a cell should read as: a NaN is the error #NUM!, an empty text no cell.
Given expected(const Given& g)
{
    Given e = g;
    if (g.kind == WorkbookCell::Kind::Number && !std::isfinite(g.number))
        e = Given(g.row, g.column, WorkbookCell::Kind::Error, 0x24, false, "#NUM!");
    if (g.kind == WorkbookCell::Kind::Text && g.text.isEmpty())
        e.kind = WorkbookCell::Kind::Empty;
    if (g.kind == WorkbookCell::Kind::Error)
        e.number = errorCode(g.text);
    return e;
}

void expectCell(const WorkbookSheet& s, const Given& e, const char* how)
{
    SCOPED_TRACE(testing::Message() << how << " " << e.row << "," << e.column << " " << e.text.toStdString());
    const WorkbookCell cell = s.cell(e.row, e.column);
    QByteArrayView utf8;
    const WorkbookCell raw = s.cellUtf8(e.row, e.column, utf8);
    ASSERT_EQ(cell.kind, e.kind);
    EXPECT_EQ(raw.kind, e.kind);
    if (e.kind == WorkbookCell::Kind::Empty)
        return;
    if (e.kind == WorkbookCell::Kind::Text || e.kind == WorkbookCell::Kind::Error) {
        EXPECT_EQ(cell.text, QString::fromUtf8(e.text));
        EXPECT_EQ(utf8.toByteArray(), e.text);
    }
    if (e.kind != WorkbookCell::Kind::Text) {
        // The very bits: -0 stays -0, 2^53 + 2 stays itself.
        EXPECT_EQ(std::memcmp(&cell.number, &e.number, sizeof(double)), 0) << cell.number << " " << e.number;
        EXPECT_EQ(cell.isDate, e.isDate);
    }
}

} // namespace

// Every kind of cell reads back as it went in, whether the cells come in
// order, out of order (kept apart and sorted), or in parts appended.
TEST(CompactSheet, PackedRowsKeepEveryCellWhateverTheOrderTheyCameIn)
{
    using K = WorkbookCell::Kind;
    std::vector<Given> cells = {
        {0, 0, K::Text, 0, false, "a"},
        {0, 1, K::Text, 0, false, "ab"},
        {0, 2, K::Text, 0, false, "张"},                         // three bytes, kept once
        {0, 3, K::Text, 0, false, "é😀x"},                       // two and four bytes
        {0, 5, K::Text, 0, false, "2020-01-05"},                 // two characters a byte
        {0, 6, K::Text, 0, false, "440102198001015123"},
        {0, 7, K::Text, 0, false, " 12:30:00 "},
        {0, 8, K::Text, 0, false, "0123"},
        {0, 9, K::Text, 0, false, "123"},
        {0, 10, K::Text, 0, false, "44010219800101512X"},
        {0, 11, K::Text, 0, false, "1.5e3"},
        {0, 12, K::Text, 0, false, QByteArray(64, 'q')},         // the longest kept once
        {0, 13, K::Text, 0, false, QByteArray(65, 'q')},
        {0, 14, K::Text, 0, false, QByteArray(5000, '7')},
        {0, 300, K::Text, 0, false, "far"},
        {1, 0, K::Number, 0},
        {1, 1, K::Number, -0.0},
        {1, 2, K::Number, -1},
        {1, 3, K::Number, 9007199254740991.0},                   // 2^53 - 1
        {1, 4, K::Number, 9007199254740994.0},                   // past 2^53
        {1, 5, K::Number, -9007199254740992.0},
        {1, 6, K::Number, 0.1},
        {1, 7, K::Number, 1e300},
        {1, 8, K::Number, 45000, true},
        {1, 9, K::Number, 45000.75, true},
        {1, 10, K::Number, std::nan("")},
        {1, 11, K::Number, -INFINITY, true},
        {2, 0, K::Bool, 1},
        {2, 1, K::Bool, 0},
        {2, 2, K::Error, 0, false, "#DIV/0!"},
        {2, 3, K::Error, 0, false, "#N/A"},
        {2, 4, K::Text, 0, false, ""},
        {2, 5, K::Empty},
        {5, 2, K::Text, 0, false, "张"},                         // a gap of rows; the same text again
        {5, 3, K::Text, 0, false, "é😀x"},
    };
    // A column of repeats and one of new values past what a column keeps once.
    for (int r = 6; r < 9000; ++r) {
        cells.push_back({r, 0, K::Text, 0, false, QByteArray("部门") + QByteArray::number(r % 7)});
        cells.push_back({r, 1, K::Text, 0, false, "E" + QByteArray::number(r)});
        cells.push_back({r, 2, K::Text, 0, false, "13" + QByteArray::number(r * 7919)});
    }
    const int rows = 9000, columns = 301;

    const std::function<void(CompactSheet&)> fills[] = {
        [&](CompactSheet& s) {
            for (const Given& g : cells)
                add(s, g);
        },
        [&](CompactSheet& s) {
            // Backwards, each first written wrong and then replaced.
            for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
                if (it->kind != K::Empty) // a styled empty cell replaces nothing
                    s.addNumber(it->row, it->column, 7, false);
                add(s, *it);
            }
        },
        [&](CompactSheet& s) {
            // Pieces of a hundred cells, as the .xlsx reader's threads make them.
            for (size_t from = 0; from < cells.size(); from += 100) {
                CompactSheet part(QStringLiteral("f.xlsx"));
                part.setInterning(false);
                for (size_t i = from; i < std::min(cells.size(), from + 100); ++i)
                    add(part, cells[i]);
                s.append(std::move(part));
            }
        },
    };
    const char* how[] = {"in order", "out of order", "in parts"};
    for (int f = 0; f < 3; ++f) {
        CompactSheet sheet(QStringLiteral("f.csv"));
        fills[f](sheet);
        sheet.finish();
        EXPECT_EQ(std::pair(sheet.rowCount(), sheet.columnCount()), std::pair(rows, columns)) << how[f];
        for (const Given& g : cells)
            expectCell(sheet, expected(g), how[f]);
        expectCell(sheet, Given(3, 0, K::Empty), how[f]);
        expectCell(sheet, Given(0, 4, K::Empty), how[f]);
        if (f == 0) { // a realistic row takes far less than its text
            EXPECT_LT(sheet.storeBytes(), std::uint64_t(9000 * 40 + (8u << 20) + (1u << 20)));
        }
    }
}

TEST(CompactSheet, MemoryIsBoundedBeforeRepeatsAreStored)
{
    CompactSheet sheet(QStringLiteral("f.ods"));
    sheet.addText(0, 0, "x");
    EXPECT_NO_THROW(sheet.expect(1'000'000));
    try {
        // A row of 16,384 values repeated over every row of a sheet.
        sheet.expect(std::uint64_t(CompactSheet::kMaxRows) * CompactSheet::kMaxColumns);
        ADD_FAILURE() << "no bound";
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().startsWith(QStringLiteral("工作表的内容过多"))) << e.text().toStdString();
    }
}

// A .csv is read in pieces of 4 MB: a field, a line end, a character or a
// byte-order mark cut by a piece's end reads as it does uncut.
TEST(CsvWorkbook, FieldsCutByTheEndOfAPieceReadAsUncut)
{
    constexpr qsizetype kPiece = qsizetype(4) << 20;
    const QByteArray utf8Tail = "\"a\"\"b\",张\r\n\xEF\xBB\xBFq,\"c\nd\"x\r\n;tail\r";
    QStringEncoder gbk("GB18030");
    const QByteArray gbkTail = gbk(QStringLiteral("张三,\"李\"\"四\"\r\n王五"));
    for (const QByteArray& tail : {utf8Tail, gbkTail}) {
        const auto small = CsvWorkbook::fromBytes("x,y\n" + tail, QStringLiteral("f.csv"));
        const WorkbookSheet& expect = small->activeSheet();
        for (qsizetype cut = 0; cut <= tail.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << tail.toHex().toStdString() << " cut " << cut);
            QByteArray bytes;
            bytes.reserve(kPiece + tail.size());
            const QByteArray filler = QByteArray(30, 'x') + ",y\n";
            while (bytes.size() + filler.size() <= kPiece - cut)
                bytes += filler;
            bytes += QByteArray(kPiece - cut - bytes.size(), 'z'); // the last filler row is longer
            const int fillerRows = int(bytes.count('\n'));
            bytes += "\n" + tail;
            const auto big = CsvWorkbook::fromBytes(bytes, QStringLiteral("f.csv"));
            const WorkbookSheet& got = big->activeSheet();
            ASSERT_EQ(got.rowCount(), fillerRows + expect.rowCount()); // row 0 of `expect` is the filler row
            for (int r = 1; r < expect.rowCount(); ++r)
                for (int c = 0; c < std::max(expect.columnCount(), got.columnCount()); ++c)
                    EXPECT_EQ(got.cell(fillerRows + r, c).text, expect.cell(r, c).text) << r << "," << c;
        }
    }
}

// Reading the first rows only (for the header) gives those rows as the
// whole read gives them, in every format made by another program.
TEST(Workbook, TheFirstRowsReadAloneAreThoseOfTheWholeSheet)
{
    const QString dir = QStringLiteral(OSTREL_TEST_FIXTURES "/workbook/");
    const QStringList files = QDir(dir).entryList({QStringLiteral("*.cells")});
    ASSERT_GE(files.size(), 6);
    for (const QString& cells : files) {
        const QString path = dir + cells.chopped(6);
        const std::unique_ptr<Workbook> whole = openWorkbook(path);
        const WorkbookSheet& all = whole->activeSheet();
        for (int maxRows : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << path.toStdString() << " first " << maxRows);
            const std::unique_ptr<Workbook> head = openWorkbook(path, maxRows);
            const WorkbookSheet& first = head->activeSheet();
            EXPECT_EQ(head->activeSheetIndex(), whole->activeSheetIndex());
            EXPECT_EQ(head->sheetCount(), whole->sheetCount());
            EXPECT_LE(first.rowCount(), std::min(all.rowCount(), maxRows));
            for (int r = 0; r < std::min(all.rowCount(), maxRows); ++r)
                for (int c = 0; c < all.columnCount(); ++c) {
                    const WorkbookCell a = all.cell(r, c), b = first.cell(r, c);
                    EXPECT_EQ(int(a.kind), int(b.kind)) << r << "," << c;
                    EXPECT_EQ(a.text, b.text) << r << "," << c;
                    EXPECT_EQ(a.number, b.number) << r << "," << c;
                }
        }
    }
}
