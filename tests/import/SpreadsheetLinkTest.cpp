#include "import/SpreadsheetLink.h"
#include "platform/DateFormats.h"
#include "platform/Errors.h"
#include "platform/workbook/XlsTestFiles.h"
#include "platform/workbook/XmlStream.h"
#include "support/TempDir.h"

#include <QFile>

#include <QThread>

#include <gtest/gtest.h>

namespace {

class SpreadsheetLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DateFormats::setShortDateFormat(QStringLiteral("yyyy-MM-dd"))); }

    QStringList row(int r, int columns)
    {
        QStringList cells;
        for (int c = 1; c <= columns; ++c)
            cells << link.ReadCellText(r, c);
        return cells;
    }

    SpreadsheetLink link;
};

} // namespace

TEST_F(SpreadsheetLinkTest, CellsReadAsTheImportSeesThem)
{
    link.OpenWorkbook(xlsFixture("basic.xls"));
    ASSERT_TRUE(link.isOpen());
    EXPECT_EQ(row(1, 5), QStringList({"text", "padded", "", "中文姓名", ""}));
    EXPECT_EQ(row(2, 5), QStringList({"12", "0.1", "1234567.891", "-3.5", "1E-07"}));
    EXPECT_EQ(row(3, 5), QStringList({"123456789012345", "1.23456789012346E+17", "4.40102198001015E+17",
                                      "0.00001", "1E+15"}));
    EXPECT_EQ(row(4, 5), QStringList({"2020-01-05", "1999-12-31", "2020-01-05 13:45:00", "13:45:30", "2021-03-09"}));
    EXPECT_EQ(row(5, 6), QStringList({"True", "False", "", "3.14159", "1900-01-01 12:00:00", "7"}));
    EXPECT_EQ(link.ReadCellText(7, 7), QStringLiteral("end"));
    EXPECT_EQ(link.usedRows(), 7);
    EXPECT_EQ(link.usedColumns(), 7);
}

TEST_F(SpreadsheetLinkTest, PositionsBeyondTheDataAreEmptyAndBelowOneFail)
{
    link.OpenWorkbook(xlsFixture("basic.xls"));
    EXPECT_EQ(link.ReadCellText(8, 1), QString());
    EXPECT_EQ(link.ReadCellText(65537, 1), QString());
    EXPECT_EQ(link.ReadCellText(1, 300), QString());
    EXPECT_THROW(link.ReadCellText(0, 1), Error);
    EXPECT_THROW(link.ReadCellText(1, 0), Error);
    EXPECT_THROW(link.ReadCellText(-2, -2), Error);
}

TEST_F(SpreadsheetLinkTest, ErrorValuesFailTheReadOtherCachedResultsRead)
{
    link.OpenWorkbook(xlsFixture("crafted8.xls"));
    try {
        link.ReadCellText(1, 1);
        FAIL() << "an error value read as text";
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("#DIV/0!"))) << e.text().toStdString();
    }
    EXPECT_THROW(link.ReadCellText(1, 6), Error); // cached #N/A
    EXPECT_EQ(QStringList({link.ReadCellText(1, 2), link.ReadCellText(1, 3), link.ReadCellText(1, 4),
                           link.ReadCellText(1, 5)}),
              QStringList({"True", "42", "公式text", "False"}));
    EXPECT_EQ(link.ReadCellText(1, 7), QString());
    EXPECT_EQ(row(2, 7), QStringList({"100", "1.5", "0.5", "-7", "label", "ABCDEF中文字", ""}));
    EXPECT_EQ(row(3, 7).mid(4), QStringList({"2020-01-05", "2020-01-05 12:00:00", "43835"}));
}

TEST_F(SpreadsheetLinkTest, DatesFollowTheFormatAsItStandsAtEachRead)
{
    link.OpenWorkbook(xlsFixture("basic.xls"));
    EXPECT_EQ(link.ReadCellText(4, 1), QStringLiteral("2020-01-05"));
    ASSERT_TRUE(DateFormats::setShortDateFormat(QStringLiteral("yyyy/M/d")));
    EXPECT_EQ(link.ReadCellText(4, 1), QStringLiteral("2020/1/5"));
    EXPECT_EQ(link.ReadCellText(4, 3), QStringLiteral("2020/1/5 13:45:00"));
    EXPECT_EQ(link.ReadCellText(4, 4), QStringLiteral("13:45:30"));
}

TEST_F(SpreadsheetLinkTest, OtherWorkbooksActiveSheet1904AndExcel5)
{
    link.OpenWorkbook(xlsFixture("multisheet.xls"));
    EXPECT_EQ(link.ReadCellText(1, 1), QStringLiteral("sheet 2"));
    link.OpenWorkbook(xlsFixture("dates1904.xls"));
    EXPECT_EQ(row(1, 3), QStringList({"2020-01-05", "00:00:00", "42"}));
    link.OpenWorkbook(xlsFixture("biff5-gbk.xls"));
    EXPECT_EQ(row(1, 4), QStringList({"张三", "2020-01-05", "7", "部门"}));
    EXPECT_EQ(row(2, 2), QStringList({"研发部", "2000-01-01"}));
}

TEST_F(SpreadsheetLinkTest, FailedOpenLeavesNothingOpenAndCloseEnds)
{
    link.OpenWorkbook(xlsFixture("basic.xls"));
    try {
        link.OpenWorkbook(xlsFixture("encrypted.xls"));
        FAIL() << "an encrypted workbook opened";
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().contains(xlsFixture("encrypted.xls")));
    }
    EXPECT_FALSE(link.isOpen());
    EXPECT_THROW(link.ReadCellText(1, 1), Error);

    link.OpenWorkbook(xlsFixture("basic.xls"));
    link.CloseAndQuit();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.usedRows(), 0);
    EXPECT_THROW(link.ReadCellText(1, 1), Error);
    link.CloseAndQuit(); // twice is harmless
}

namespace {
// The sheet as `cells` prints it: rows of tab-separated texts.
QString sheetText(SpreadsheetLink& link)
{
    QString out;
    for (int r = 1; r <= link.usedRows(); ++r) {
        for (int c = 1; c <= link.usedColumns(); ++c) {
            if (c > 1)
                out += u'\t';
            try {
                out += link.ReadCellText(r, c);
            } catch (const Error&) {
                out += QStringLiteral("#ERROR");
            }
        }
        out += u'\n';
    }
    return out;
}

// The same as bytes, as `cells` prints them.
QByteArray sheetBytes(SpreadsheetLink& link)
{
    QByteArray out;
    for (int r = 1; r <= link.usedRows(); ++r)
        link.appendRowText(r, link.usedColumns(), out);
    return out;
}

const XmlStream::Parser kParsers[] = {XmlStream::Parser::Libxml2, XmlStream::Parser::Expat};

struct ParserScope {
    explicit ParserScope(XmlStream::Parser p) : saved(XmlStream::defaultParser()) { XmlStream::setDefaultParser(p); }
    ~ParserScope() { XmlStream::setDefaultParser(saved); }
    XmlStream::Parser saved;
};
} // namespace

TEST_F(SpreadsheetLinkTest, EveryFormatReadsWhatItsWriterWrote)
{
    const QStringList names = workbookFixtures(".cells");
    ASSERT_GE(names.size(), 10);
    for (XmlStream::Parser parser : kParsers) {
        ParserScope scope(parser);
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString() + (parser == XmlStream::Parser::Expat ? " (expat)" : " (libxml2)"));
            link.OpenWorkbook(workbookFixture(name));
            EXPECT_EQ(sheetText(link), fixtureText(workbookFixture(name + QStringLiteral(".cells"))));
            EXPECT_EQ(sheetBytes(link), sheetText(link).toUtf8());
        }
    }
}

TEST_F(SpreadsheetLinkTest, BadFilesFailTheOpenWithTheirReason)
{
    const QStringList names = workbookFixtures(".bad");
    ASSERT_GE(names.size(), 10);
    for (XmlStream::Parser parser : kParsers) {
        ParserScope scope(parser);
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString());
            const QString path = workbookFixture(name);
            try {
                link.OpenWorkbook(path);
                ADD_FAILURE() << "opened";
            } catch (const Error& e) {
                EXPECT_TRUE(e.text().startsWith(fixtureText(path + QStringLiteral(".bad")))) << e.text().toStdString();
                EXPECT_TRUE(e.text().endsWith(QStringLiteral(": ") + path)) << e.text().toStdString();
                EXPECT_FALSE(e.text().contains(u'\n'));
            }
            EXPECT_FALSE(link.isOpen());
        }
    }
}

TEST_F(SpreadsheetLinkTest, FormatIsToldByContentNotByName)
{
    TempDir dir;
    // Renamed files: an .xlsx and an .ods saved as .xls, an .xls as .xlsx.
    const struct {
        QString from, to;
    } renamed[] = {{workbookFixture(QStringLiteral("basic.xlsx")), QStringLiteral("renamed.xls")},
                   {workbookFixture(QStringLiteral("no-settings.ods")), QStringLiteral("renamed.xlsx")},
                   {xlsFixture("multisheet.xls"), QStringLiteral("renamed-xls.xlsx")},
                   {workbookFixture(QStringLiteral("utf8.csv")), QStringLiteral("renamed.TXT")}};
    for (const auto& r : renamed) {
        SCOPED_TRACE(r.to.toStdString());
        ASSERT_TRUE(QFile::copy(r.from, dir.file(r.to)));
        link.OpenWorkbook(dir.file(r.to));
        EXPECT_FALSE(link.ReadCellText(1, 1).isEmpty());
    }
    // Text is comma-separated only under a name that says so.
    ASSERT_TRUE(QFile::copy(workbookFixture(QStringLiteral("utf8.csv")), dir.file(QStringLiteral("list.dat"))));
    EXPECT_THROW(link.OpenWorkbook(dir.file(QStringLiteral("list.dat"))), Error);
    EXPECT_THROW(link.OpenWorkbook(xlsFixture("csv.xls")), Error);
}

TEST_F(SpreadsheetLinkTest, TheLastCellOfTheLargestSheet)
{
    link.OpenWorkbook(workbookFixture(QStringLiteral("last-cell.xlsx")));
    EXPECT_EQ(link.usedRows(), 1048576);
    EXPECT_EQ(link.usedColumns(), 16384);
    EXPECT_EQ(link.ReadCellText(1048576, 16384), QStringLiteral("7"));
    EXPECT_EQ(link.ReadCellText(1, 1), QString());
}

TEST_F(SpreadsheetLinkTest, PrintedBytesAreTheTextsInUtf8EvenFromBrokenUtf8)
{
    TempDir dir;
    QFile file(dir.file(QStringLiteral("broken.csv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // After a UTF-8 byte-order mark the bytes are taken as they are.
    file.write("\xEF\xBB\xBF" "a\xFF" "b,\xEF\xBB\xBFx, \xC0\x80 ,\xED\xA0\x80,\xF4\x90\x80\x80,\xE4\xB8\xAD\xE6\x96,"
               " \xE4\xB8\xAD\xE6\x96\x87\t,1e400\n");
    file.close();
    link.OpenWorkbook(file.fileName());
    EXPECT_EQ(sheetBytes(link), sheetText(link).toUtf8());
}
