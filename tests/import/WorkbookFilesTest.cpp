#include "import/HeaderMap.h"
#include "import/ImportTemplate.h"
#include "import/ImportTestSupport.h"
#include "import/RejectsExport.h"
#include "import/SpreadsheetLink.h"
#include "platform/Errors.h"
#include "support/ReadXlsx.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {
// The files a clerk takes away, filled or corrected in another program,
// come back through our own reader.
class WorkbookFilesTest : public ::testing::Test {
protected:
    WorkbookFilesTest()
        : db(false)
    {
        for (const char* d : {"人事部", "财务部", "技术部"})
            db.addDepartment(QString::fromUtf8(d), QString::fromUtf8(d));
    }
    QString stored(const char* sql) { return db.scalar(QString::fromUtf8(sql)).toString(); }
    void importsTwo(const QString& path)
    {
        h.view.path = path;
        EXPECT_EQ(h.run(), RunEnd::Succeeded);
        EXPECT_EQ(h.imported, 2) << h.view.reasons.join(u'|').toStdString();
    }
    void mapFromHeader(const QString& path)
    {
        SpreadsheetLink link;
        link.OpenWorkbook(path);
        const HeaderMap::Columns columns = HeaderMap::suggest(HeaderMap::readHeaderRow(link));
        for (size_t k = 0; k < columns.size(); ++k)
            h.view.boxes[k] = columns[k] ? QString::number(columns[k]) : QString();
    }

    TestDatabase db;
    TempDir dir;
    ImportHarness h;
};
} // namespace

TEST_F(WorkbookFilesTest, TemplateFilledElsewhereImportsByNumbersAndByHeader)
{
    const QString blank = dir.file(QStringLiteral("模板.xlsx"));
    writeImportTemplate(blank);
    const QString filled = dir.file(QStringLiteral("filled.xlsx"));
    editXlsx(blank, filled,
             {QStringLiteral("A2=T001"), QStringLiteral("B2=赵六"), QStringLiteral("F2=date:1985-03-04"),
              QStringLiteral("I2=440102198503040011"), QStringLiteral("Q2=人事部"), QStringLiteral("V2=number:4200"),
              QStringLiteral("AA2=6222021234567890123"), QStringLiteral("A3=T002"), QStringLiteral("B3=钱七"),
              QStringLiteral("Q3=技术部"), QStringLiteral("W3=date:2020-01-02")});
    for (bool byHeader : {false, true}) {
        SCOPED_TRACE(byHeader);
        db.exec(QStringLiteral("delete from Hrp_workers"));
        if (byHeader)
            mapFromHeader(filled);
        else
            h.view.mapAll();
        importsTwo(filled);
        EXPECT_EQ(stored("select BIrThday || '|' || IdNumber || '|' || BankId || '|' || BaseWage from Hrp_workers "
                         "where Workerid='T001'"),
                  "1985-03-04|440102198503040011|6222021234567890123|4200");
        EXPECT_EQ(stored("select BeginDate from Hrp_workers where Workerid='T002'"), "2020-01-02");
    }
}

TEST_F(WorkbookFilesTest, RowsNotImportedCorrectedElsewhereImportWithTheSameMap)
{
    h.view.mapAll();
    h.view.path = importFixture("bad-values.xls");
    ImportRun first(h.view, h.row, h.writer);
    const RejectsExport::Source source = RejectsExport::Source::of(h.view.path);
    ASSERT_EQ(first.SBSaveClick(), RunEnd::Succeeded);
    ASSERT_EQ(first.notImportedRows().size(), 2);

    const QString rejects = dir.file(QStringLiteral("rejects.xlsx"));
    SpreadsheetLink link;
    link.OpenWorkbook(importFixture("bad-values.xls"));
    RejectsExport::write(link, source, first.notImportedRows(), rejects);
    // Our reader sees what openpyxl sees: the source's cells as text.
    link.OpenWorkbook(rejects);
    const XlsxContent other = readXlsx(rejects);
    ASSERT_EQ(link.usedRows(), 3);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 32; ++c)
            ASSERT_EQ(link.ReadCellText(r, c), other.rows[r - 1].value(c - 1)) << r << "," << c;

    const QString fixed = dir.file(QStringLiteral("fixed.xlsx"));
    editXlsx(rejects, fixed, {QStringLiteral("F2=date:1981-02-02"), QStringLiteral("V3=3520")});
    importsTwo(fixed);
    EXPECT_EQ(stored("select group_concat(Workerid || ',' || ifnull(BIrThday, '') || ',' || BaseWage, ';') from "
                     "(select * from Hrp_workers where Workerid <> 'W0001' order by Workerid)"),
              "W0002,1981-02-02,3510;W0003,1982-03-03,3520");

    // A source changed since its run cannot give its rows any more.
    const QString copy = dir.file(QStringLiteral("copy.xls"));
    QFile::copy(importFixture("bad-values.xls"), copy);
    const RejectsExport::Source before = RejectsExport::Source::of(copy);
    QFile(copy).resize(1);
    EXPECT_THROW(RejectsExport::write(link, before, first.notImportedRows(), dir.file(QStringLiteral("no.xlsx"))), Error);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("no.xlsx"))));
}
