#include "data/UserDMUnit.h"
#include "import/ImportRun.h"
#include "import/WorkerWriter.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"
#include "import/ImportTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {
const QString kPrompt = QStringLiteral("提示");
const RecordedBox kMapWrong{QStringLiteral("请正确导入的对应的序号或已输入的序号不正确!"), kPrompt, MsgIcon::Error};
const RecordedBox kNoPath{QStringLiteral("请选择导入文件!"), kPrompt, MsgIcon::Error};
RecordedBox success(int imported, int notImported)
{
    return {QStringLiteral("数据导入成功，请查询!\n已导入 %1 人，未导入 %2 人").arg(imported).arg(notImported), kPrompt,
            MsgIcon::Information};
}
const QString kNoMoreDuplicates = QStringLiteral("本次导入不再提示重复工号");
const RecordedBox kNoDept{QStringLiteral("在数据导入文件中,部门信息需要都填上!!!\n部门名称是空的：第 3 行（共 1 行）\n"
                                         "本次未导入任何数据。请在表中填上这些行的部门名称。"),
                          kPrompt, MsgIcon::Error};
const RecordedBox kBadFile{QStringLiteral("请选择正确的文件！"), kPrompt, MsgIcon::Error};

class ImportRunTest : public ::testing::Test, protected ImportHarness {
protected:
    ImportRunTest()
        : db(false)
    {
        for (const char* d : {"人事部", "财务部", "技术部", "销售部", "生产部", "行政部"})
            db.addDepartment(QStringLiteral("D%1").arg(++deptCount), QString::fromUtf8(d));
        view.mapAll();
    }

    qint64 workers() { return db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(); }

    TestDatabase db;
    int deptCount = 0;
};
} // namespace

TEST(ImportMapRule, WholeNumbersOnly)
{
    int v = 0;
    EXPECT_TRUE(ImportRun::parseWholeNumber(QStringLiteral("12"), v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ImportRun::parseWholeNumber(QStringLiteral("  +3"), v));
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(ImportRun::parseWholeNumber(QStringLiteral("-4"), v));
    EXPECT_EQ(v, -4);
    EXPECT_TRUE(ImportRun::parseWholeNumber(QStringLiteral("0"), v));
    for (const char* bad : {"", " ", "3 ", "3a", "+", "1.5", "１", "99999999999", "- 3"})
        EXPECT_FALSE(ImportRun::parseWholeNumber(QString::fromUtf8(bad), v)) << bad;
}

TEST_F(ImportRunTest, MapIsCheckedRequiredBoxesFirstAndTheListEmptiedEvenThen)
{
    view.list = {QStringLiteral("old")};
    view.boxes[16] = QString(); // Edt17 empty
    view.path = importFixture("people.xls");
    EXPECT_EQ(run(), RunEnd::MapRefused);
    EXPECT_TRUE(view.list.isEmpty());
    EXPECT_EQ(scriptedDialogs().boxes,
              QList<RecordedBox>{(RecordedBox{kMapWrong.text + QStringLiteral("\n「部门名称」必须填列号"), kPrompt, MsgIcon::Error})});

    view.mapAll();
    view.boxes[30] = QStringLiteral("31 "); // trailing blank
    EXPECT_EQ(run(), RunEnd::MapRefused);
    view.boxes[30] = QString();             // optional box empty: fine
    view.boxes[2] = QStringLiteral("-2");   // no range applies
    view.path.clear();
    EXPECT_EQ(run(), RunEnd::PathRefused);
    EXPECT_EQ(scriptedDialogs().boxes.last(), kNoPath);
    EXPECT_EQ(view.stagingReopened, 0);
}

TEST_F(ImportRunTest, WorkbookThatCannotBeOpenedSaysWhy)
{
    view.path = db.dir() + QStringLiteral("/missing.xls");
    EXPECT_EQ(run(), RunEnd::WorkbookNotOpened);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    const QStringList lines = scriptedDialogs().boxes[0].text.split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("无法打开文件「%1」，请确认它是表格文件并且没有损坏。").arg(view.path));
    EXPECT_FALSE(lines[1].isEmpty());
    EXPECT_EQ(view.stagingReopened, 1);
}

TEST_F(ImportRunTest, ImportsEveryRowAndReportsSuccess)
{
    view.path = importFixture("people.xls");
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(scriptedDialogs().boxes, QList<RecordedBox>{success(5, 0)});
    EXPECT_EQ(workers(), 5);
    EXPECT_EQ(imported, 5);
    EXPECT_EQ(notImported, 0);
    EXPECT_TRUE(view.path.isEmpty());
    EXPECT_EQ(view.messagesProcessed, 5);
    EXPECT_EQ(view.finishedImported, 5);
    // Check pass: (r+1)*100/500 for rows 2..6, then 100; write pass r*100/N.
    EXPECT_EQ(view.progress, (QList<int>{0, 0, 1, 1, 1, 100, 33, 50, 66, 83, 100, 100}));
    EXPECT_EQ(db.scalar(QStringLiteral("select DeptNo from Hrp_workers where Workerid='W0003'")).toString(), "D3");
    EXPECT_EQ(db.scalar(QStringLiteral("select DepName from Hrp_workers where Workerid='W0003'")).toString(), "技术部");
}

TEST_F(ImportRunTest, SecondImportListsEveryRowAsDuplicateAndTheTickedBoxStaysAway)
{
    view.path = importFixture("people.xls");
    ASSERT_EQ(run(), RunEnd::Succeeded);
    for (const QList<bool>& ticks : {QList<bool>{}, QList<bool>{false, true}}) {
        scriptedDialogs().reset();
        scriptedDialogs().checkAnswers = ticks;
        view.path = importFixture("people.xls");
        EXPECT_EQ(run(), RunEnd::Succeeded);
        EXPECT_EQ(workers(), 5);
        ASSERT_EQ(view.list.size(), 5);
        EXPECT_EQ(view.list[0], "W0001-张三丰-人事部-440102198001010000");
        EXPECT_EQ(view.reasons[0], QStringLiteral("第 2 行 工号已存在（A列「W0001」）"));
        // One box per duplicate until one is ticked, then the success.
        const QList<RecordedBox>& boxes = scriptedDialogs().boxes;
        ASSERT_EQ(boxes.size(), ticks.isEmpty() ? 6 : 3);
        EXPECT_EQ(boxes[0], (RecordedBox{QStringLiteral("工号「W0001」已存在，不能导入。\n第 2 行"), kPrompt, MsgIcon::Error, kNoMoreDuplicates}));
        EXPECT_EQ(boxes.last(), success(0, 5));
        EXPECT_EQ(notImported, 5);
    }
}

TEST_F(ImportRunTest, BlankWorkerNumberEndsTheData)
{
    view.path = importFixture("blank-middle.xls");
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(workers(), 2);
}

TEST_F(ImportRunTest, HeaderOnlySucceedsWithoutLookingAnythingUp)
{
    view.path = importFixture("header-only.xls");
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(workers(), 0);
    EXPECT_EQ(scriptedDialogs().boxes, QList<RecordedBox>{success(0, 0)});
    EXPECT_TRUE(view.path.isEmpty());
}

TEST_F(ImportRunTest, DepartmentRefusalsStopBeforeAnythingIsWritten)
{
    view.path = importFixture("no-dept.xls");
    EXPECT_EQ(run(), RunEnd::DeptCheckFailed);
    EXPECT_EQ(scriptedDialogs().boxes, QList<RecordedBox>{kNoDept});
    EXPECT_FALSE(view.path.isEmpty());

    scriptedDialogs().reset();
    view.path = importFixture("unknown-dept.xls");
    EXPECT_EQ(run(), RunEnd::DeptCheckFailed);
    EXPECT_EQ(scriptedDialogs().boxes,
              QList<RecordedBox>{(RecordedBox{QStringLiteral("工号为：W0002-的,部门信息未能与软件中的部门对应上!!!\n"
                                                             "部门「火星部」不存在：第 3 行（共 1 行）\n"
                                                             "本次未导入任何数据。请先在部门设置中添加这些部门，或改正表中的部门名称。"),
                                              kPrompt, MsgIcon::Error})});
    EXPECT_EQ(workers(), 0);
}

TEST_F(ImportRunTest, ProgressOfSixHundredRows)
{
    view.boxes.fill(QString());
    view.boxes[0] = QStringLiteral("1");
    view.boxes[1] = QStringLiteral("2");
    view.boxes[16] = QStringLiteral("17");
    view.path = importFixture("many.xls");
    ASSERT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(workers(), 600);
    ASSERT_EQ(view.progress.size(), 1202);
    // Check pass: row r gives (r+1)*100/500: full (100) from row 499 on.
    const QList<int> check = view.progress.mid(0, 600);
    EXPECT_EQ(check[496], 99);  // row 498
    EXPECT_EQ(check[497], 100); // row 499
    EXPECT_EQ(check.last(), 120);
    EXPECT_EQ(view.progress[600], 100);
    const QList<int> write = view.progress.mid(601, 600);
    EXPECT_EQ(write.first(), 2 * 100 / 601);
    EXPECT_EQ(write.last(), 100);
}

TEST_F(ImportRunTest, ColumnZeroFailsTheCheckPassOrTheWritePass)
{
    view.path = importFixture("people.xls");
    view.boxes[16] = QStringLiteral("0");
    EXPECT_EQ(run(), RunEnd::DeptCheckFailed);
    const auto badColumn = [](const char* n) {
        return QStringLiteral("框里的列号「%1」不是有效的列：列号从 1 开始，1 是 A 列，请改正。").arg(QLatin1String(n));
    };
    EXPECT_EQ(scriptedDialogs().boxes,
              QList<RecordedBox>{(RecordedBox{QStringLiteral("第 2 行的「部门名称」无法读取，没有导入任何数据。请改正后重新导入。\n「部门名称」") + badColumn("0"),
                                              kPrompt, MsgIcon::Error})});

    scriptedDialogs().reset();
    view.mapAll();
    view.boxes[5] = QStringLiteral("-1");
    EXPECT_EQ(run(), RunEnd::WritePassFailed);
    EXPECT_EQ(scriptedDialogs().boxes,
              QList<RecordedBox>{(RecordedBox{kBadFile.text + QStringLiteral("\n第 2 行的「出生日期」无法读取：「出生日期」")
                                                  + badColumn("-1"),
                                              kPrompt, MsgIcon::Error})});
    EXPECT_EQ(workers(), 0);
}

TEST_F(ImportRunTest, RowsTheDatabaseRejectsAreListedWithItsReason)
{
    view.path = importFixture("bad-values.xls");
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(workers(), 1);
    ASSERT_EQ(view.list.size(), 2);
    EXPECT_TRUE(view.list[0].startsWith(QStringLiteral("W0002-")));
    EXPECT_FALSE(view.reasons[0].isEmpty());
    EXPECT_EQ(imported, 1);
    EXPECT_EQ(notImported, 2);
}

TEST_F(ImportRunTest, StopRequestEndsAfterTheRowInHand)
{
    view.path = importFixture("people.xls");
    view.onProcessMessages = [](RecordingView& v) { v.stop = v.messagesProcessed == 2; };
    EXPECT_EQ(run(), RunEnd::Stopped);
    EXPECT_EQ(workers(), 2);
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(view.finishedImported, 2);
}

TEST_F(ImportRunTest, ChangedBoxTakesEffectFromTheNextRead)
{
    view.path = importFixture("people.xls");
    // After the first row, the name comes from the sex column.
    view.onProcessMessages = [](RecordingView& v) { v.boxes[1] = QStringLiteral("3"); };
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(db.scalar(QStringLiteral("select Wname from Hrp_workers where Workerid='W0001'")).toString(), "张三丰");
    EXPECT_EQ(db.scalar(QStringLiteral("select Wname from Hrp_workers where Workerid='W0002'")).toString(), "男");
}

TEST_F(ImportRunTest, RowsReadAheadAndRowsReadInHandEndTheSame)
{
    // Keys to mend, fields filled from the identity number, warnings and
    // refusals, over texts the reading thread shares with the run, or read
    // by the run itself once a box changed. Row 2 goes ahead either way.
    const TempDir dir;
    const QString path = dir.file(QStringLiteral("tricky.csv"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("工号,姓名,部门,性别,出生日期,身份证号码,备注\n"
            "W001,张三,人事部,女,1949-12-31,11010519491231002X,\n"
            "W０03,李四,财务部,,,440102198001010013,\n"
            "W004\u3000,王五,技术部,男,1985-06-15,44010219850615002x,\n"
            "W005,赵六,销售部,男,1990-13-45,110105199005121017,\n"
            "W003,钱七,人事部,,,,\n"
            "W006,,人事部,,,,\n"
            "\u3000,周九,人事部,,,,\n"
            "W007,孙八,行政部,女,1949-12-31,11010519491231002X,\n");
    f.close();
    view.settings.fillFromId = true;
    const auto outcome = [&](bool inHand) {
        view.path = path;
        db.exec(QStringLiteral("delete from Hrp_workers"));
        scriptedDialogs().reset();
        scriptedDialogs().checkAnswers = {true};
        view.boxes.fill(QString());
        for (const auto& [slot, column] : {std::pair{1, 1}, {2, 2}, {17, 3}, {3, 4}, {6, 5}, {9, 6}})
            view.boxes[size_t(slot - 1)] = QString::number(column);
        view.problems.clear();
        // 备注 mapped to an empty column after the first row: the same
        // values, read in hand from there on.
        view.onProcessMessages = [inHand](RecordingView& v) {
            if (inHand)
                v.boxes[29] = QStringLiteral("7");
        };
        EXPECT_EQ(run(), RunEnd::Succeeded) << scriptedDialogs().boxes.value(0).text.toStdString();
        QStringList all;
        Query q(UserDM->ADOConnection1);
        q.add(QStringLiteral("select Workerid, Wname, Sex, BIrThday, IdNumber, DepName, Remarks from Hrp_workers order by Workerid"));
        q.open();
        for (; !q.eof(); q.next())
            for (const char* c : {"Workerid", "Wname", "Sex", "BIrThday", "IdNumber", "DepName", "Remarks"})
                all << q.fieldText(QString::fromLatin1(c));
        all << view.reasons;
        for (const CellProblem& p : view.problems)
            all << QStringLiteral("%1 %2 %3 %4 %5").arg(p.sheetRow).arg(p.slot).arg(p.column).arg(int(p.level)).arg(p.reason);
        return all;
    };
    const QStringList ahead = outcome(false);
    EXPECT_EQ(imported, 4);
    EXPECT_EQ(outcome(true).join(u'|').toStdString(), ahead.join(u'|').toStdString());
    EXPECT_TRUE(ahead.contains(QStringLiteral("1980-01-01"))) << ahead.join(u'|').toStdString(); // filled
    EXPECT_TRUE(ahead.contains(QStringLiteral("44010219850615002X")));
    EXPECT_TRUE(ahead.join(u'|').contains(QStringLiteral("第 6 行 工号与第 3 行重复"))) << ahead.join(u'|').toStdString();
}
