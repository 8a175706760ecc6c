// Broken, odd and huge workbooks through the whole import run: each ends
// with the run's message or its list lines, and the database holds exactly
// the rows the run counts as imported.
#include "data/UserDMUnit.h"
#include "import/CellText.h"
#include "import/ImportRun.h"
#include "import/ImportTestSupport.h"
#include "import/WorkerWriter.h"
#include "robustness/RobustnessSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace {
QString success(int imported)
{
    return QStringLiteral("数据导入成功，请查询!\n已导入 %1 人，未导入 0 人").arg(imported);
}
const QString kBadFile = QStringLiteral("请选择正确的文件！");

class BadWorkbookTest : public ::testing::Test {
protected:
    BadWorkbookTest()
        : db(true) // the demo departments
    {
        view.mapAll();
    }

    RunEnd run(const QString& path)
    {
        view.path = path;
        const qint64 before = workers();
        ImportRun r(view, row, writer);
        const RunEnd end = r.SBSaveClick();
        imported = r.imported();
        notImported = r.notImported();
        // The invariant of every run, whatever the workbook.
        EXPECT_EQ(imported, workers() - before) << path.toStdString();
        EXPECT_EQ(notImported, view.list.size());
        EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");
        return end;
    }
    qint64 workers() { return db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(); }
    QString stored(const QString& column, const QString& workerid)
    {
        return db.scalar(QStringLiteral("select %1 from Hrp_workers where Workerid='%2'").arg(column, workerid)).toString();
    }
    QStringList boxTexts()
    {
        QStringList texts;
        for (const RecordedBox& b : scriptedDialogs().boxes)
            texts << b.text;
        return texts;
    }

    TestDatabase db;
    RecordingView view;
    ImportRow row;
    WorkerWriter writer;
    int imported = 0, notImported = 0;
};

QString xlsFixture(const char* name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/xls/") + QString::fromUtf8(name);
}
} // namespace

TEST_F(BadWorkbookTest, FilesThatAreNoWorkbookAreRefusedWithTheirReason)
{
    // Zero bytes, random bytes, half a workbook, a zip (.xlsx) and a CSV
    // renamed, an OLE2 file without a workbook stream, a password.
    for (const char* name : {"empty.xls", "random.xls", "truncated.xls", "zip.xls", "csv.xls", "nostream.xls",
                             "encrypted.xls"}) {
        SCOPED_TRACE(name);
        scriptedDialogs().reset();
        EXPECT_EQ(run(xlsFixture(name)), RunEnd::WorkbookNotOpened);
        ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
        const QStringList lines = scriptedDialogs().boxes[0].text.split(u'\n');
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], QStringLiteral("无法打开文件「%1」，请确认它是表格文件并且没有损坏。").arg(xlsFixture(name)));
        EXPECT_GT(lines[1].size(), 1) << "no reason given";
        EXPECT_FALSE(view.path.isEmpty());
    }
    EXPECT_EQ(workers(), 0);
}

TEST_F(BadWorkbookTest, EmptyActiveSheetImportsNothingAndSaysSo)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("empty-active.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("empty-active"), path));
    // The other sheet holds a row; only the active one counts.
    EXPECT_EQ(run(path), RunEnd::Succeeded);
    EXPECT_EQ(boxTexts(), QStringList{success(0)});
    EXPECT_EQ(workers(), 0);
}

TEST_F(BadWorkbookTest, FormulasBooleansLongTextsAndMergedCells)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("cells.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("cells"), path));
    // Row 8 holds an error value in a mapped column: the write pass ends
    // there with its message, the rows before it stay stored.
    EXPECT_EQ(run(path), RunEnd::WritePassFailed);
    ASSERT_EQ(boxTexts().size(), 1);
    EXPECT_TRUE(boxTexts()[0].startsWith(kBadFile + QStringLiteral("\n第 8 行的「"))) << boxTexts()[0].toStdString();
    // Row C003's 10,000-character name is wider than any database's column.
    EXPECT_EQ(workers(), 5);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers where %1").arg(QString::fromUtf8(kWholeRowCondition))).toInt(), 5);

    // Formulas written without a computed result read as empty text.
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("C001")), "");
    EXPECT_EQ(stored(QStringLiteral("ContactAddr"), QStringLiteral("C001")), "");
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("C002")), "True");
    EXPECT_EQ(stored(QStringLiteral("ContactAddr"), QStringLiteral("C002")), "False");
    EXPECT_EQ(stored(QStringLiteral("Wname"), QStringLiteral("C003")), QString());
    // A merged area holds its text in its first cell only.
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("C004")), "合并");
    EXPECT_EQ(stored(QStringLiteral("ContactAddr"), QStringLiteral("C004")), "");
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("C005")), "竖合并");
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("C006")), "");
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers where Workerid='C008'")).toInt(), 0);
}

TEST_F(BadWorkbookTest, ErrorValueInTheWorkerNumberEndsTheCheckPassNamingTheCell)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("cells.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("cells"), path));
    view.boxes[0] = QStringLiteral("32"); // a worker number, then an error value
    EXPECT_EQ(run(path), RunEnd::DeptCheckFailed);
    ASSERT_EQ(boxTexts().size(), 1);
    EXPECT_TRUE(boxTexts()[0].startsWith(QStringLiteral("第 3 行的「员工编号」无法读取，没有导入任何数据。"))) << boxTexts()[0].toStdString();
    EXPECT_EQ(workers(), 0);
}

TEST_F(BadWorkbookTest, MergedDepartmentCellLeavesTheRowBelowWithoutOne)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("cells.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("cells"), path));
    view.boxes[16] = QStringLiteral("30"); // department from the merged-down column
    EXPECT_EQ(run(path), RunEnd::DeptCheckFailed);
    EXPECT_EQ(boxTexts().size(), 1);
    EXPECT_EQ(workers(), 0);
}

TEST_F(BadWorkbookTest, HostileTextsAreStoredAsReadNeverExecuted)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("hostile.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("hostile"), path));
    const QStringList texts{
        QString::fromUtf16(u"a\0b", 3),
        QStringLiteral("\x01\x02lead and trail\x1f\x7f"),
        QStringLiteral("x'); delete from Hrp_workers; --"),
        QStringLiteral("Robert'); DROP TABLE Hrp_workers;--"),
        QStringLiteral("表情😀 and 한국어 and ﬁ"),
        QStringLiteral("semi;colon \"quoted\" 'single' :param ?"),
    };
    EXPECT_EQ(run(path), RunEnd::Succeeded);
    EXPECT_EQ(notImported, 0) << view.reasons.join(u'|').toStdString();
    EXPECT_EQ(workers(), texts.size() + 1);
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const QString id = QStringLiteral("C%1").arg(i + 1, 3, 10, QChar(u'0'));
        const QString expected = CellText::trimmed(texts[i]);
        EXPECT_EQ(stored(QStringLiteral("Wname"), id), expected);
        EXPECT_EQ(stored(QStringLiteral("Remarks"), id), expected);
    }
    EXPECT_EQ(stored(QStringLiteral("Workerid"), QStringLiteral("W''; drop table Sys_dept; --")),
              "W'; drop table Sys_dept; --");
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Sys_dept")).toInt(), 6);

    // The committed workbook with quotes and a statement in its cells.
    EXPECT_EQ(run(importFixture("hostile.xls")), RunEnd::Succeeded);
    EXPECT_EQ(stored(QStringLiteral("Remarks"), QStringLiteral("W0002")), "'; drop table Hrp_workers; --");
    EXPECT_EQ(stored(QStringLiteral("Wname"), QStringLiteral("W0001")), "O'Brien \"Bob\"; drop");
}

TEST_F(BadWorkbookTest, SheetFullToItsLastRowIsStoredWhole)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("rows.xls"));
    // Rows 2 to 65,536: the data runs to the end of the sheet.
    ASSERT_TRUE(makeWorkbook(QStringLiteral("rows"), path, {QStringLiteral("65535")}));
    view.boxes.fill(QString());
    view.boxes[0] = QStringLiteral("1");
    view.boxes[1] = QStringLiteral("2");
    view.boxes[16] = QStringLiteral("3");
    EXPECT_EQ(run(path), RunEnd::Succeeded);
    EXPECT_EQ(boxTexts(), QStringList{success(65535)});
    EXPECT_EQ(imported, 65535);
    EXPECT_EQ(workers(), 65535);
    EXPECT_EQ(stored(QStringLiteral("DepName"), QStringLiteral("R65535")), "技术部"); // row 65,536
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers where %1").arg(QString::fromUtf8(kWholeRowCondition))).toInt(), 65535);
    EXPECT_GT(db.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(),
              db.scalar(QStringLiteral("select max(Wkid) from Hrp_workers")).toLongLong());
}

TEST_F(BadWorkbookTest, ErrorCellEndsTheWritePassAtItsRowWhereverTheRowsAreRead)
{
    // The remarks (column D) hold an error value in one row. The write pass
    // ends there with the same words, after exactly the rows before it,
    // whether the cells were read ahead or, after a box changed during the
    // run, in hand.
    struct Case {
        const char* name;
        int rows;        // data rows, sheet rows 2..rows+1
        int errorRow;    // sheet row of the error value
        int remarksBox;  // "4" from the start, "" never, or set after this many rows
        bool emptyLater; // the remarks box is emptied after 100 rows
        int stored;      // -1: every row, and the run succeeds
    };
    const Case cases[] = {
        {"first row", 5, 2, 0, false, 0},
        {"past the rows read ahead", 600, 450, 0, false, 448},
        {"last row", 600, 601, 0, false, 599},
        {"remarks not mapped", 600, 450, -1, false, -1},
        // Below the row without a worker number: never read. 63 and 64 rows
        // end a batch of rows read ahead with the last row, or just before.
        {"error below the data, 63 rows", 63, 66, 0, false, -1},
        {"error below the data, 64 rows", 64, 67, 0, false, -1},
        {"remarks mapped after 100 rows", 600, 450, 100, false, 448},
        {"remarks emptied after 100 rows", 600, 450, 0, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(QStringLiteral("delete from Hrp_workers"));
        scriptedDialogs().reset();
        TempDir dir;
        const QString path = dir.file(QStringLiteral("error.xls"));
        ASSERT_TRUE(makeWorkbook(QStringLiteral("rows"), path, {QString::number(c.rows), QString::number(c.errorRow)}));
        view.boxes.fill(QString());
        view.boxes[0] = QStringLiteral("1");
        view.boxes[1] = QStringLiteral("2");
        view.boxes[16] = QStringLiteral("3");
        view.boxes[29] = c.remarksBox == 0 ? QStringLiteral("4") : QString();
        view.messagesProcessed = 0;
        view.onProcessMessages = [c](RecordingView& v) {
            if (v.messagesProcessed == c.remarksBox)
                v.boxes[29] = QStringLiteral("4");
            if (c.emptyLater && v.messagesProcessed == 100)
                v.boxes[29].clear();
        };
        if (c.stored < 0) {
            EXPECT_EQ(run(path), RunEnd::Succeeded);
            EXPECT_EQ(boxTexts(), QStringList{success(c.rows)});
            continue;
        }
        EXPECT_EQ(run(path), RunEnd::WritePassFailed);
        EXPECT_EQ(boxTexts(), QStringList{kBadFile + QStringLiteral("\n第 %1 行的「备注」无法读取：第%1行第4列的单元格是错误值#DIV/0!")
                                                        .arg(c.errorRow)});
        EXPECT_EQ(imported, c.stored);
        EXPECT_EQ(db.scalar(QStringLiteral("select max(Workerid) from Hrp_workers")).toString(),
                  c.stored ? QStringLiteral("R%1").arg(c.stored, 5, 10, QChar(u'0')) : QString());
        EXPECT_EQ(db.scalar(QStringLiteral("select Remarks from Hrp_workers where Workerid='R00001'")).toString(),
                  c.stored ? (c.remarksBox == 0 ? QStringLiteral("第2行") : QString()) : QString());
    }
}

TEST_F(BadWorkbookTest, CorruptXlsxPartsAreRefusedBeforeAnyRowIsStored)
{
    // Each once stored rows (a shared-string index past the table left the
    // name empty; a sheet pointed at the styles ended "成功 0 人").
    for (const char* kind : {"bad-index", "wrong-kind", "no-strings", "crc"}) {
        SCOPED_TRACE(kind);
        scriptedDialogs().reset();
        TempDir dir;
        const QString path = dir.file(QStringLiteral("corrupt.xlsx"));
        ASSERT_TRUE(makeWorkbook(QStringLiteral("xlsx-") + QLatin1String(kind), path, {QStringLiteral("5")}));
        EXPECT_EQ(run(path), RunEnd::WorkbookNotOpened);
        ASSERT_EQ(boxTexts().size(), 1);
        EXPECT_TRUE(boxTexts()[0].contains(QStringLiteral("文件已损坏"))) << boxTexts()[0].toStdString();
        EXPECT_EQ(workers(), 0);
    }
}

TEST(HostileXlsx, RefusedOrReadWithinBoundsWithTheReason)
{
    // Each file is made here (the big ones inflate to hundreds of MB) and
    // read by `cells` in a child held to 1 GB and 30 s of processor time.
    // Files under 1 MB read within 300 MB.
    const struct {
        const char* kind;
        int n;
        int code;
        const char* reason; // on standard error
    } cases[] = {
        {"attributes", 200000, 1, "文件的XML属性过多"},                  // was 27-63 s
        {"cell-text", 700, 1, "文件解压后过大"},                         // 947 KB, was 1,034-2,986 MB
        {"shared-strings", 900, 1, "文件解压后过大"},                    // 919 KB, was 1,043-3,664 MB
        {"cell-text", 75, 0, "读取工作表「花名册」"},                    // 75 MiB of text, just inside the bound
        {"numbers", 50, 0, "读取工作表「花名册」"},                      // 50 MiB of number cells
        {"empty-strings", 75, 0, "读取工作表「花名册」"},                // 15 million "<si/>"
        {"long-text", 32768, 1, "工作表「花名册」的单元格B3的文字超过32767个字符"},
        {"bad-index", -1, 1, "共享文字表xl/sharedStrings.xml"},
        {"no-strings", 1, 1, "工作簿缺少共享文字表xl/sharedStrings.xml"},
        {"wrong-kind", 0, 1, "工作表「花名册」所指的部件xl/styles.xml不是工作表"},
        {"crc", 0, 1, "部件xl/worksheets/sheet1.xml校验不符"},
        {"nan", 0, 0, "读取工作表「花名册」"},
        {"far-cell", 0, 0, "读取工作表「花名册」"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.n));
        TempDir dir;
        const QString path = dir.file(QStringLiteral("hostile.xlsx"));
        ASSERT_TRUE(makeWorkbook(QStringLiteral("xlsx-") + QLatin1String(c.kind), path, {QString::number(c.n)}));
        const BoundedRun run = runCliBounded({QStringLiteral("cells"), QStringLiteral("--workbook"), path});
        EXPECT_TRUE(run.exited) << "killed at a bound, signal " << -run.code;
        EXPECT_EQ(run.code, c.code) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.reason))) << run.err.toStdString();
        EXPECT_LT(run.cpuSeconds, 30);
#if !defined(__SANITIZE_ADDRESS__)
        if (QFileInfo(path).size() < 1000000) {
            EXPECT_LE(run.peakMiB, 300);
        }
#endif
    }
}
