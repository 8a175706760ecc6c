#include "platform/Errors.h"
#include "platform/workbook/BiffBuilder.h"
#include "platform/workbook/XlsTestFiles.h"
#include "platform/workbook/XlsWorkbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

using Kind = WorkbookCell::Kind;

namespace {

std::unique_ptr<XlsWorkbook> openFixture(const char* name)
{
    return XlsWorkbook::open(xlsFixture(name));
}

// The reason the open failed with, or "opened".
QString openFailure(const QString& path)
{
    try {
        XlsWorkbook::open(path)->activeSheet();
        return QStringLiteral("opened");
    } catch (const Error& e) {
        return e.text();
    }
}

// Opens and reads every cell; only Error may come out.
void readEverything(const QByteArray& bytes)
{
    try {
        auto book = XlsWorkbook::fromFileBytes(bytes);
        for (int s = 0; s < book->sheetCount(); ++s) {
            if (book->sheetType(s) != Workbook::SheetType::Worksheet)
                continue;
            const XlsSheet& sheet = book->sheet(s);
            // Damage can claim a huge used range; the corners and a block
            // from the top left reach every decoding path.
            for (int r = 0; r <= std::min(sheet.rowCount(), 300); ++r)
                for (int c = 0; c <= std::min(sheet.columnCount(), 300); ++c)
                    (void)sheet.cell(r, c);
            (void)sheet.cell(sheet.rowCount() - 1, sheet.columnCount() - 1);
        }
    } catch (const Error&) {
    }
}

} // namespace

TEST(XlsWorkbook, ReadsCellKindsOfAnXlwtWorkbook)
{
    auto book = openFixture("basic.xls");
    EXPECT_EQ(book->version(), XlsWorkbook::Version::Biff8);
    const XlsSheet& s = book->activeSheet();
    EXPECT_EQ(s.name(), QStringLiteral("人员"));
    EXPECT_EQ(s.rowCount(), 7);
    EXPECT_EQ(s.columnCount(), 7);

    EXPECT_EQ(s.cell(0, 0).kind, Kind::Text);
    EXPECT_EQ(s.cell(0, 3).text, QStringLiteral("中文姓名"));
    EXPECT_EQ(s.cell(0, 1).text, QStringLiteral("  padded \t")); // the reader keeps text as stored

    EXPECT_EQ(s.cell(1, 0).kind, Kind::Number);
    EXPECT_EQ(s.cell(1, 0).number, 12);
    EXPECT_DOUBLE_EQ(s.cell(1, 2).number, 1234567.891);
    EXPECT_EQ(s.cell(2, 1).number, 123456789012345678.0);
    EXPECT_FALSE(s.cell(1, 0).isDate);

    for (int c = 0; c < 5; ++c)
        EXPECT_TRUE(s.cell(3, c).isDate) << "date column " << c;
    EXPECT_EQ(s.cell(3, 0).number, 43835); // 2020-01-05

    EXPECT_EQ(s.cell(4, 0).kind, Kind::Bool);
    EXPECT_EQ(s.cell(4, 0).number, 1);
    EXPECT_EQ(s.cell(4, 1).number, 0);
    EXPECT_EQ(s.cell(4, 2).kind, Kind::Empty);      // styled blank
    EXPECT_FALSE(s.cell(4, 3).isDate);              // "0.00"
    EXPECT_TRUE(s.cell(4, 4).isDate);               // "[h]:mm"
    EXPECT_FALSE(s.cell(4, 5).isDate);              // colour and quoted "d"
    EXPECT_EQ(s.cell(6, 6).text, QStringLiteral("end"));
}

TEST(XlsWorkbook, CellsOutsideTheDataAreEmpty)
{
    auto book = openFixture("basic.xls");
    const XlsSheet& s = book->activeSheet();
    EXPECT_EQ(s.cell(5, 0).kind, Kind::Empty);   // an empty row inside
    EXPECT_EQ(s.cell(7, 0).kind, Kind::Empty);   // below the last row
    EXPECT_EQ(s.cell(0, 7).kind, Kind::Empty);   // right of the last column
    EXPECT_EQ(s.cell(-1, 0).kind, Kind::Empty);
    EXPECT_EQ(s.cell(0, 1 << 20).kind, Kind::Empty);
    // Going back to an earlier row after a later one still works.
    EXPECT_EQ(s.cell(0, 0).text, QStringLiteral("text"));
}

TEST(XlsWorkbook, SharedStringsAcrossContinueRecords)
{
    // xlwt splits the long strings over CONTINUE records.
    auto book = openFixture("longsst.xls");
    const XlsSheet& s = book->activeSheet();
    QString ascii;
    for (int i = 0; i < 3000; ++i)
        ascii += QChar(u'a' + i % 26);
    QString cjk;
    for (int i = 0; i < 4000; ++i)
        cjk += QChar(char16_t(0x4E00 + i % 500));
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(s.cell(r, 0).text, QString::number(r) + u':' + ascii) << r;
    EXPECT_EQ(s.cell(4, 0).text, cjk);
    EXPECT_EQ(s.cell(5, 0).text, QStringLiteral("after"));
}

TEST(XlsWorkbook, HandMadeRecordsOfEveryCellKind)
{
    auto book = openFixture("crafted8.xls");
    // WINDOW1 names the chart: the first worksheet is read instead.
    EXPECT_EQ(book->sheetCount(), 2);
    EXPECT_EQ(book->sheetType(1), Workbook::SheetType::Chart);
    EXPECT_EQ(book->activeSheetIndex(), 0);
    const XlsSheet& s = book->activeSheet();
    EXPECT_EQ(s.name(), QStringLiteral("数据"));

    // Error and boolean cells, cached formula results.
    EXPECT_EQ(s.cell(0, 0).kind, Kind::Error);
    EXPECT_EQ(s.cell(0, 0).number, 0x07);
    EXPECT_EQ(s.cell(0, 1).kind, Kind::Bool);
    EXPECT_EQ(s.cell(0, 2).number, 42);                              // the chart's 999 is not the sheet's
    EXPECT_EQ(s.cell(0, 3).text, QStringLiteral("公式text"));       // STRING continued, narrower
    EXPECT_EQ(s.cell(0, 4).kind, Kind::Bool);
    EXPECT_EQ(s.cell(0, 4).number, 0);
    EXPECT_EQ(s.cell(0, 5).kind, Kind::Error);
    EXPECT_EQ(s.cell(0, 5).number, 0x2A);
    EXPECT_EQ(s.cell(0, 6).kind, Kind::Empty);
    EXPECT_EQ(s.cell(0, 7).number, 1);

    // RK in its forms, a plain label, shared strings.
    EXPECT_EQ(s.cell(1, 0).number, 100);
    EXPECT_EQ(s.cell(1, 1).number, 1.5);
    EXPECT_EQ(s.cell(1, 2).number, 0.5);
    EXPECT_EQ(s.cell(1, 3).number, -7);
    EXPECT_EQ(s.cell(1, 4).text, QStringLiteral(" label "));
    EXPECT_EQ(s.cell(1, 5).text, QStringLiteral("ABCDEF中文字")); // seam: narrow to wide
    EXPECT_EQ(s.cell(1, 6).text, QString());                      // index past the table

    // Blanks, dates through a built-in and a custom format, a plain number.
    EXPECT_EQ(s.cell(2, 0).kind, Kind::Empty);
    EXPECT_TRUE(s.cell(2, 4).isDate);
    EXPECT_TRUE(s.cell(2, 5).isDate);
    EXPECT_FALSE(s.cell(2, 6).isDate);

    // The later of two records for one cell; strings after a rich one.
    EXPECT_EQ(s.cell(3, 0).number, 2);
    EXPECT_EQ(s.cell(3, 1).text, QStringLiteral("中文xyz"));     // seam: wide to narrow
    EXPECT_EQ(s.cell(3, 2).text, QStringLiteral("end"));
    EXPECT_EQ(s.cell(3, 3).text, QStringLiteral("rich"));
    EXPECT_EQ(s.cell(3, 4).text, QStringLiteral("after"));
    EXPECT_EQ(s.cell(4, 0).number, 5);                            // written before row 4
}

TEST(XlsWorkbook, ActiveSheetDateSystemAndCodePage)
{
    auto multi = openFixture("multisheet.xls");
    EXPECT_EQ(multi->sheetCount(), 3);
    EXPECT_EQ(multi->activeSheetIndex(), 1);
    EXPECT_EQ(multi->activeSheet().cell(0, 0).text, QStringLiteral("sheet 2"));
    EXPECT_EQ(multi->sheet(2).cell(0, 0).text, QStringLiteral("sheet 3"));

    auto d1904 = openFixture("dates1904.xls");
    EXPECT_TRUE(d1904->uses1904Dates());
    EXPECT_EQ(d1904->activeSheet().cell(0, 0).number, 43835 - 1462);
    EXPECT_FALSE(openFixture("basic.xls")->uses1904Dates());

    // Excel 5 in the "Book" stream, text in GBK.
    auto b5 = openFixture("biff5-gbk.xls");
    EXPECT_EQ(b5->version(), XlsWorkbook::Version::Biff5);
    EXPECT_EQ(b5->codePage(), 936);
    const XlsSheet& s = b5->activeSheet();
    EXPECT_EQ(s.name(), QStringLiteral("人员表"));
    EXPECT_EQ(s.cell(0, 0).text, QStringLiteral("张三"));
    EXPECT_TRUE(s.cell(0, 1).isDate);  // custom GBK "yyyy年m月d日"
    EXPECT_EQ(s.cell(0, 2).number, 7);
    EXPECT_EQ(s.cell(0, 3).text, QStringLiteral("部门"));
    EXPECT_EQ(s.cell(1, 0).text, QStringLiteral(" 研发部 "));
    EXPECT_TRUE(s.cell(1, 1).isDate);  // built-in 14
}

TEST(XlsWorkbook, BareStreamsDecodeWithoutTheContainer)
{
    auto book = XlsWorkbook::fromFileBytes(xlsFixtureBytes("biff5-gbk.bin"));
    EXPECT_EQ(book->activeSheet().cell(0, 0).text, QStringLiteral("张三"));
    auto b8 = XlsWorkbook::fromStream(xlsFixtureBytes("crafted8.bin"));
    EXPECT_EQ(b8->activeSheet().cell(1, 5).text, QStringLiteral("ABCDEF中文字"));
}

TEST(XlsWorkbook, ALoneExcel5WorksheetWithoutWorkbookRecords)
{
    const QByteArray bof5 = biff::record(0x0809, biff::u16(0x0500) + biff::u16(0x10) + biff::u16(0) + biff::u16(0));
    const QByteArray label = biff::record(0x0204, biff::cell(0, 0) + biff::u16(3) + "abc");
    auto book = XlsWorkbook::fromStream(bof5 + label + biff::number(1, 0, 4) + biff::eof());
    EXPECT_EQ(book->version(), XlsWorkbook::Version::Biff5);
    EXPECT_EQ(book->activeSheet().cell(0, 0).text, QStringLiteral("abc"));
    EXPECT_EQ(book->activeSheet().cell(1, 0).number, 4);
}

TEST(XlsWorkbook, LastRowOfTheSheetAndActiveTabFallbacks)
{
    const QByteArray stream = biff::workbook({biff::number(65535, 255, 3)});
    auto book = XlsWorkbook::fromStream(stream);
    const XlsSheet& s = book->activeSheet();
    EXPECT_EQ(s.rowCount(), 65536);
    EXPECT_EQ(s.columnCount(), 256);
    EXPECT_EQ(s.cell(65535, 255).number, 3);
    EXPECT_EQ(s.cell(65536, 255).kind, Kind::Empty);

    // Past column IV nothing counts, and blank cells, styled only, widen
    // nothing: the used range ends at the last value.
    const QByteArray blanks = biff::record(0x00BE, biff::u16(1) + biff::u16(250) + QByteArray(2 * 20, '\0') + biff::u16(269));
    auto wide = XlsWorkbook::fromStream(biff::workbook({biff::number(0, 0, 1) + biff::number(0, 300, 2) + blanks}));
    EXPECT_EQ(wide->activeSheet().columnCount(), 1);
    EXPECT_EQ(wide->activeSheet().rowCount(), 1);
    EXPECT_EQ(wide->activeSheet().cell(0, 300).kind, Kind::Empty);

    // WINDOW1's tab out of range: the first worksheet.
    const QByteArray window = biff::record(0x003D, QByteArray(10, '\0') + biff::u16(7) + QByteArray(6, '\0'));
    auto fallback = XlsWorkbook::fromStream(biff::workbook({biff::number(0, 0, 1), biff::number(0, 0, 2)}, window));
    EXPECT_EQ(fallback->activeSheetIndex(), 0);
    const QByteArray second = biff::record(0x003D, QByteArray(10, '\0') + biff::u16(1) + QByteArray(6, '\0'));
    auto chosen = XlsWorkbook::fromStream(biff::workbook({biff::number(0, 0, 1), biff::number(0, 0, 2)}, second));
    EXPECT_EQ(chosen->activeSheet().cell(0, 0).number, 2);
}

TEST(XlsWorkbook, SheetFoundWhenItsOffsetIsWrong)
{
    // Offsets that miss the sheet's BOF fall back to counting substreams.
    const QByteArray window = biff::record(0x003D, QByteArray(10, '\0') + biff::u16(1) + QByteArray(6, '\0'));
    QByteArray stream = biff::workbook({biff::number(0, 0, 1), biff::number(0, 0, 2)}, window);
    const qsizetype first = stream.indexOf(QByteArray("\x85\x00", 2), 0);
    const qsizetype second = stream.indexOf(QByteArray("\x85\x00", 2), first + 1);
    ASSERT_GT(second, 0);
    stream.replace(second + 4, 4, biff::u32(3));
    EXPECT_EQ(XlsWorkbook::fromStream(stream)->activeSheet().cell(0, 0).number, 2);
}

TEST(XlsWorkbook, FilesThatAreNoWorkbookFailWithAReason)
{
    EXPECT_EQ(openFailure(xlsFixture("missing.xls")), QStringLiteral("文件不存在: ") + xlsFixture("missing.xls"));
    EXPECT_TRUE(openFailure(xlsFixture("empty.xls")).startsWith(QStringLiteral("文件为空")));
    EXPECT_TRUE(openFailure(xlsFixture("random.xls")).startsWith(QStringLiteral("不是Excel 97-2003工作簿")));
    EXPECT_TRUE(openFailure(xlsFixture("csv.xls")).startsWith(QStringLiteral("不是Excel 97-2003工作簿")));
    EXPECT_TRUE(openFailure(xlsFixture("zip.xls")).contains(QStringLiteral(".xlsx")));
    EXPECT_TRUE(openFailure(xlsFixture("truncated.xls")).startsWith(QStringLiteral("文件已损坏或不完整")));
    EXPECT_TRUE(openFailure(xlsFixture("nostream.xls")).startsWith(QStringLiteral("文件中没有Excel工作簿数据")));
    EXPECT_TRUE(openFailure(xlsFixture("encrypted.xls")).startsWith(QStringLiteral("工作簿有密码保护")));
    EXPECT_TRUE(openFailure(QStringLiteral(OSTREL_TEST_FIXTURES)).startsWith(QStringLiteral("不是文件")));
    // Every reason is one line and names the file.
    for (const char* name : {"empty.xls", "random.xls", "zip.xls", "truncated.xls", "encrypted.xls"}) {
        const QString reason = openFailure(xlsFixture(name));
        EXPECT_FALSE(reason.contains(u'\n')) << name;
        EXPECT_TRUE(reason.endsWith(xlsFixture(name))) << name;
    }
}

TEST(XlsWorkbook, StreamsCutShortOrWithoutSheetsFail)
{
    const QByteArray stream = xlsFixtureBytes("crafted8.bin");
    EXPECT_THROW(XlsWorkbook::fromStream(stream.left(40)), Error);               // globals cut
    const QByteArray one = biff::workbook({biff::number(0, 0, 1)});
    auto cut = XlsWorkbook::fromStream(one.left(one.size() - 3)); // the sheet's EOF cut
    EXPECT_THROW(cut->activeSheet(), Error);
    EXPECT_THROW(XlsWorkbook::fromStream(biff::bof(5) + biff::eof()), Error);    // no worksheet
    const QByteArray biff4 = biff::record(0x0409, biff::u16(0) + biff::u16(0x10) + biff::u16(0));
    EXPECT_THROW(XlsWorkbook::fromFileBytes(biff4), Error);
}

TEST(XlsWorkbook, SurvivesEveryCutAndRandomDamage)
{
    // Prefixes of whole streams and of OLE2 files, then random byte damage:
    // nothing may crash or read out of bounds (run under the sanitizers).
    for (const char* name : {"crafted8.bin", "biff5-gbk.bin"}) {
        const QByteArray bytes = xlsFixtureBytes(name);
        ASSERT_FALSE(bytes.isEmpty()) << name;
        for (qsizetype n = 1; n < bytes.size(); ++n)
            readEverything(bytes.left(n));
    }
    const QByteArray ole = xlsFixtureBytes("crafted8.xls");
    for (qsizetype n = 512; n < ole.size(); n += 512)
        readEverything(ole.left(n));

    std::mt19937 random(1234);
    for (const char* name : {"crafted8.bin", "biff5-gbk.bin", "crafted8.xls", "basic.xls"}) {
        const QByteArray bytes = xlsFixtureBytes(name);
        for (int round = 0; round < 150; ++round) {
            QByteArray damaged = bytes;
            const int hits = 1 + int(random() % 8);
            for (int i = 0; i < hits; ++i)
                damaged[qsizetype(random() % quint32(damaged.size()))] = char(random());
            readEverything(damaged);
        }
    }
}

TEST(XlsWorkbook, OddNumbersOldFormulaIdsAndTrailingBlanks)
{
    using namespace biff;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto formula = [](unsigned id, unsigned row, unsigned col, const QByteArray& result) {
        return record(id, cell(row, col) + result + u16(0) + u32(0) + u16(0));
    };
    auto rk = [](unsigned row, unsigned col, unsigned bits) { return record(0x027E, cell(row, col) + u32(bits)); };
    const QByteArray textResult = QByteArray("\0\0\0\0\0\0\xFF\xFF", 8);
    const QByteArray text = record(0x0207, u16(2) + QByteArray(1, '\0') + "ok");
    // A MULBLANK over C..Z of row 1 and a BLANK far below: styled cells only.
    const QByteArray blanks = record(0x00BE, cell(0, 2) + QByteArray(2 * 23, '\0') + u16(25))
        + record(0x0201, cell(60000, 200));
    auto book = XlsWorkbook::fromStream(workbook({number(0, 0, inf) + number(0, 1, nan) + rk(1, 0, 0x7FF00000)
                                                  + formula(0x0006, 1, 1, f64(-inf))
                                                  + formula(0x0406, 2, 0, f64(42.5))
                                                  + formula(0x0406, 2, 1, textResult) + text + blanks}));
    const XlsSheet& s = book->activeSheet();
    struct Case {
        int row, col;
        Kind kind;
        double number;
        QString text;
    } cases[] = {
        {0, 0, Kind::Error, 0x24, {}}, // NUMBER infinite
        {0, 1, Kind::Error, 0x24, {}}, // NUMBER NaN
        {1, 0, Kind::Error, 0x24, {}}, // RK whose exponent is all ones
        {1, 1, Kind::Error, 0x24, {}}, // a formula's cached -inf
        {2, 0, Kind::Number, 42.5, {}},
        {2, 1, Kind::Text, 0, QStringLiteral("ok")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.col);
        const WorkbookCell got = s.cell(c.row, c.col);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.number, c.number);
        EXPECT_EQ(got.text, c.text);
    }
    EXPECT_EQ(s.rowCount(), 3);
    EXPECT_EQ(s.columnCount(), 2);
    EXPECT_EQ(s.cell(60000, 200).kind, Kind::Empty);
}

TEST(XlsWorkbook, TextPastTheCellLimitRefusesNamingTheCell)
{
    using namespace biff;
    auto label = [](unsigned row, unsigned col, int chars) {
        return record(0x0204, cell(row, col) + latin1String(QByteArray(chars, 'x')));
    };
    const QByteArray formula = record(0x0006, cell(4, 27) + QByteArray("\0\0\0\0\0\0\xFF\xFF", 8) + u16(0) + u32(0) + u16(0));
    const struct {
        QByteArray records;
        QString reason; // empty: read
    } cases[] = {
        {label(0, 0, 32767), {}},
        {label(2, 1, 32768), QStringLiteral("第3行B列的文字超过32767个字符")},
        {formula + record(0x0207, u16(40000) + QByteArray(1, '\0') + QByteArray(100, 'x')),
         QStringLiteral("第5行AB列的文字超过32767个字符")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        try {
            auto book = XlsWorkbook::fromStream(workbook({c.records}));
            book->activeSheet();
            EXPECT_TRUE(c.reason.isEmpty());
        } catch (const Error& e) {
            EXPECT_TRUE(!c.reason.isEmpty() && e.text().startsWith(c.reason)) << e.text().toStdString();
        }
    }
}
