#include "platform/workbook/CsvWorkbook.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

namespace {
// Every row of the sheet, cells joined by "|".
QStringList rows(const QByteArray& bytes, const QString& name = QStringLiteral("list.csv"))
{
    auto book = CsvWorkbook::fromBytes(bytes, name);
    const WorkbookSheet& s = book->activeSheet();
    QStringList out;
    for (int r = 0; r < s.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < s.columnCount(); ++c) {
            const WorkbookCell cell = s.cell(r, c);
            EXPECT_TRUE(cell.kind == WorkbookCell::Kind::Text || cell.kind == WorkbookCell::Kind::Empty);
            cells << cell.text;
        }
        out << cells.join(u'|');
    }
    return out;
}
} // namespace

TEST(CsvWorkbook, SeparatorsQuotingAndLineEnds)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList rows;
    } cases[] = {
        {"list.csv", "a,b,c\n1,2,3\n", {"a|b|c", "1|2|3"}},
        {"list.csv", "a;b;c\r\n1,5;2;3", {"a|b|c", "1,5|2|3"}},               // European Excel
        {"list.txt", "a\tb,c\tx\n", {"a|b,c|x"}},                              // the first line has more tabs
        {"list.tsv", "a,b\tc\n", {"a,b|c"}},                                   // .tsv: always a tab
        {"list.csv", "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\"\n", {"a,b|say \"hi\"|two\nlines"}},
        {"list.csv", "\"a;b\",c;d\n", {"a;b|c;d"}},                            // quoted separators do not count
        {"list.csv", "a\rb\r\rc", {"a", "b", "", "c"}},                        // old Mac line ends, an empty line
        {"list.csv", "a,,c,\n,\n", {"a||c"}},                                  // empty fields are empty cells
        {"list.csv", "007,440102198001015123,1E+5,2020-01-05", {"007|440102198001015123|1E+5|2020-01-05"}},
        {"list.csv", "\"unclosed,x\ny", {"unclosed,x\ny"}},
        {"list.csv", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        EXPECT_EQ(rows(c.bytes, QString::fromLatin1(c.name)), c.rows);
    }
}

TEST(CsvWorkbook, EncodingsByByteOrderMarkThenUtf8ThenGb18030)
{
    const QString text = QStringLiteral("工号,姓名\nW001,张三丰\n");
    const QStringList expected{QStringLiteral("工号|姓名"), QStringLiteral("W001|张三丰")};
    QStringEncoder gb("GB18030");
    QStringEncoder utf16be(QStringConverter::Utf16BE);
    QStringEncoder utf16le(QStringConverter::Utf16LE);
    EXPECT_EQ(rows(text.toUtf8()), expected);
    EXPECT_EQ(rows("\xEF\xBB\xBF" + text.toUtf8()), expected);
    EXPECT_EQ(rows(gb(text)), expected);
    EXPECT_EQ(rows("\xFF\xFE" + QByteArray(utf16le(text))), expected);
    EXPECT_EQ(rows("\xFE\xFF" + QByteArray(utf16be(text))), expected);
    // One byte that cannot be UTF-8, even at the end, makes the whole file GB18030.
    EXPECT_EQ(rows("abc," + QByteArray(gb(QStringLiteral("张")))), QStringList{QStringLiteral("abc|张")});
}
