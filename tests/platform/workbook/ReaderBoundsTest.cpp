#include "import/CellText.h"
#include "platform/Errors.h"
#include "platform/workbook/CsvWorkbook.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/XlsTestFiles.h"
#include "support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using Kind = WorkbookCell::Kind;

struct Expected {
    int row, column;
    QString text;
};

// The reason a reader refuses with, or nothing when it reads.
template <typename Open>
std::optional<QString> refusal(Open open)
{
    try {
        open();
    } catch (const Error& e) {
        return e.text();
    }
    return std::nullopt;
}

QByteArray repeated(const QByteArray& piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

bool makeHostile(const QString& kind, const QString& out)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/robustness/make_hostile_workbook.py"), kind, out});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

TEST(CsvBounds, LimitsEncodingsAndStrayByteOrderMarks)
{
    const QByteArray bom("\xEF\xBB\xBF");
    const QByteArray cjk32767 = repeated(QStringLiteral("张").toUtf8(), 32767);
    struct Case {
        const char* name;
        QByteArray bytes;
        QString refusedWith; // empty: read
        std::vector<Expected> cells;
    } cases[] = {
        {"marks inside fields go, the leading one too", bom + "id,name\nC015" + bom + ",\"张" + bom + "三\"\n", {},
         {{0, 0, "id"}, {1, 0, "C015"}, {1, 1, QStringLiteral("张三")}}},
        {"32,767 characters of three bytes each fit", "id,name\nC015," + cjk32767 + "\n", {}, {{1, 0, "C015"}}},
        {"doubled quotes count once", "a,\"" + QByteArray(32765, 'q') + "\"\"x\"", {}, {{0, 0, "a"}}},
        {"32,768 characters refuse, naming the cell", "id,name\nC015," + QByteArray(32768, 'x') + "\n",
         QStringLiteral("第2行B列的文字超过32767个字符"), {}},
        {"a quoted field too", "id\n\"" + QByteArray(40000, 'x') + "\"", QStringLiteral("第2行A列的文字超过32767个字符"), {}},
        {"every row a sheet holds, and empty lines after it", repeated("a\n", 1048576) + "\n\n", {},
         {{1048575, 0, "a"}}},
        {"a row past them refuses", repeated("a\n", 1048576) + "b", QStringLiteral("第1048577行有内容，超出了表格的最大行数"), {}},
        {"the last column", QByteArray(16383, ',') + "x", {}, {{0, 16383, "x"}}},
        {"a column past it refuses", QByteArray(16384, ',') + "x", QStringLiteral("第1行第16385列有内容，超出了表格的最大列数"),
         {}},
        {"GBK", QByteArray("\xB9\xA4\xBA\xC5,\xD5\xC5\xC8\xFD\n"),
         {}, {{0, 0, QStringLiteral("工号")}, {0, 1, QStringLiteral("张三")}}},
        {"UTF-16 with its mark", QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char*>(u"C015,\uFEFF张三"), 16), {},
         {{0, 0, "C015"}, {0, 1, QStringLiteral("张三")}}},
        {"bytes no encoding fits", repeated("\xFF\x80", 4096), QStringLiteral("文本文件的编码无法识别"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CsvWorkbook> book;
        const auto why = refusal([&] { book = CsvWorkbook::fromBytes(c.bytes, QStringLiteral("t.csv")); });
        if (!c.refusedWith.isEmpty()) {
            ASSERT_TRUE(why.has_value());
            EXPECT_TRUE(why->startsWith(c.refusedWith)) << why->toStdString();
            continue;
        }
        ASSERT_FALSE(why.has_value()) << why->toStdString();
        for (const Expected& e : c.cells)
            EXPECT_EQ(book->sheet(0).cell(e.row, e.column).text, e.text) << e.row << "," << e.column;
    }
}

TEST(EncryptedWorkbooks, DefaultPasswordOpensAnyOtherStaysRefused)
{
    const QString dir = QStringLiteral(OSTREL_TEST_FIXTURES "/encrypted/");
    const QStringList expected = fixtureText(dir + QStringLiteral("cells")).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(expected.size(), 3);
    const QStringList files = QDir(dir).entryList({QStringLiteral("*.xls"), QStringLiteral("*.xlsx")});
    ASSERT_EQ(files.size(), 7); // RC4, RC4 CryptoAPI, Standard, Agile; three with another password
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        std::unique_ptr<Workbook> book;
        const auto why = refusal([&] { book = openWorkbook(dir + name); });
        if (name.contains(QStringLiteral("-other"))) {
            ASSERT_TRUE(why.has_value());
            EXPECT_EQ(*why, QStringLiteral("工作簿有密码保护，请先取消密码: ") + dir + name);
            continue;
        }
        ASSERT_FALSE(why.has_value()) << why->toStdString();
        const WorkbookSheet& sheet = book->activeSheet();
        ASSERT_EQ(sheet.rowCount(), 3);
        for (int r = 0; r < 3; ++r) {
            QStringList row;
            for (int c = 0; c < sheet.columnCount(); ++c) {
                const WorkbookCell cell = sheet.cell(r, c);
                row << (cell.kind == Kind::Number ? QString::number(cell.number) : cell.text);
            }
            EXPECT_EQ(row.join(u'\t'), expected[r]);
        }
    }
}

TEST(EncryptedWorkbooks, SealedOdsAsksForThePasswordToBeRemoved)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("sealed.ods"));
    ASSERT_TRUE(makeHostile(QStringLiteral("ods-encrypted"), path));
    const auto why = refusal([&] { openWorkbook(path); });
    ASSERT_TRUE(why.has_value());
    EXPECT_EQ(*why, QStringLiteral("工作簿有密码保护，请先取消密码: ") + path);
}

// A 1904-based workbook's elapsed time and date, as .xls (a serial of the
// 1904 system) and as .ods (a duration and a calendar date under a 1904 null
// date): one calendar date and one text from both.
TEST(DateSystems, A1904WorkbookReadsAlikeAsXlsAndOds)
{
    TempDir tmp;
    for (const char* file : {"w.xls", "w.ods"}) {
        SCOPED_TRACE(file);
        const QString path = tmp.file(QString::fromLatin1(file));
        ASSERT_TRUE(makeHostile(path.endsWith(u"xls") ? QStringLiteral("xls-1904") : QStringLiteral("ods-1904"), path));
        const auto book = openWorkbook(path);
        EXPECT_TRUE(book->uses1904Dates());
        const WorkbookSheet& sheet = book->activeSheet();
        QStringList texts;
        for (int c = 0; c < 2; ++c) {
            const WorkbookCell cell = sheet.cell(0, c);
            EXPECT_TRUE(cell.isDate);
            texts << CellText::dateText(cell.number, book->uses1904Dates(), QStringLiteral("yyyy-MM-dd"));
        }
        EXPECT_EQ(texts, QStringList({"1904-01-11 15:10:10", "2020-01-05"}));
    }
}
