// Workbooks as other systems export them: title rows above the header, the
// data on another sheet than the active one, columns by letter, an update
// file with only what changes, several unknown departments at once.

#include "data/UserDMUnit.h"
#include "import/DepartmentProblems.h"
#include "import/HeaderMap.h"
#include "import/ImportRun.h"
#include "import/ImportTestSupport.h"
#include "import/RememberedMap.h"
#include "import/ShapedWorkbooks.h"
#include "import/SpreadsheetLink.h"
#include "import/WorkerWriter.h"
#include "platform/Errors.h"
#include "support/ReadXlsx.h"
#include "support/RunCli.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace {

QString shaped(const char* name)
{
    return shapedWorkbook(name);
}

// The run's view with a sheet and a header row of its own.
struct ShapedView : RecordingView {
    QString sheet;
    int header = 1;
    QString sheetChoice() const override { return sheet; }
    int headerRow() const override { return header; }
};

class ShapedImportTest : public ::testing::Test {
protected:
    ShapedImportTest()
        : db(false)
    {
        for (const char* d : {"人事部", "财务部", "技术部"})
            db.addDepartment(QString::fromUtf8(d), QString::fromUtf8(d));
    }
    RunEnd run(int mode = 0)
    {
        view.mode = mode;
        ImportRun r(view, row, writer);
        const RunEnd end = r.SBSaveClick();
        imported = r.imported();
        return end;
    }
    void map(std::initializer_list<std::pair<int, const char*>> boxes)
    {
        view.boxes.fill(QString());
        for (const auto& [slot, text] : boxes)
            view.boxes[size_t(slot - 1)] = QString::fromUtf8(text);
    }
    QString value(const char* sql) { return db.scalar(QString::fromUtf8(sql)).toString(); }

    TestDatabase db;
    ShapedView view;
    ImportRow row;
    WorkerWriter writer;
    int imported = 0;
};

} // namespace

TEST(WorkbookShapes, SheetAndHeaderRowAreFoundOrChosen)
{
    const struct {
        QString file;
        const char* sheet;
        const char* read;   // the sheet read
        int header;         // the header row found
        const char* texts;  // its first texts
    } cases[] = {
        {shaped("titles.xlsx"), "", "花名册", 4, "工号|姓名|性别|部门|出生日期|身份证号|基本工资"},
        {shaped("sheets.xlsx"), "", "说明", 1, "本表由人事系统导出，请勿修改表头"},
        {shaped("sheets.xlsx"), "花名册", "花名册", 1, "工号|姓名|性别|部门|出生日期|身份证号|基本工资"},
        {shaped("sheets.xlsx"), "3", "花名册", 1, "工号|姓名|性别|部门|出生日期|身份证号|基本工资"},
        {shaped("sheets.xls"), "2", "花名册", 1, "工号|姓名|性别|部门|出生日期|身份证号|基本工资"},
        {importFixture("people.xls"), "", "员工", 1, "员工编号|姓名|性别"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString() + " " + c.sheet);
        SpreadsheetLink link;
        link.OpenWorkbook(c.file, QString::fromUtf8(c.sheet));
        EXPECT_EQ(link.sheetName(), QString::fromUtf8(c.read));
        const int header = HeaderMap::detectHeaderRow(link);
        EXPECT_EQ(header, c.header);
        const QStringList expected = QString::fromUtf8(c.texts).split(u'|');
        EXPECT_EQ(HeaderMap::readHeaderRow(link, header).mid(0, expected.size()), expected);
    }
}

TEST(WorkbookShapes, RememberedHeaderRowCountsOnlyWhereItsHeadersStandAsBefore)
{
    SpreadsheetLink link;
    link.OpenWorkbook(shaped("titles.xlsx"));
    const struct {
        int row;
        const char* first; // the header remembered for box 1
        int chosen;
    } cases[] = {{3, "工号", 3}, {3, "员工编号", 4}, {2, "工号", 4}, {40, "工号", 4}};
    for (const auto& c : cases) {
        RememberedMap map;
        map.boxes[0] = QStringLiteral("A");
        map.headers[0] = QString::fromUtf8(c.first);
        map.boxes[1] = QStringLiteral("2");
        map.headers[1] = QStringLiteral("姓名");
        map.headerRow = c.row;
        EXPECT_EQ(chooseHeaderRow(link, map), c.chosen) << c.row << c.first;
    }
}

TEST(WorkbookShapes, SheetListPutsHiddenLastLeavesChartsOutAndRefusalsNameTheChoices)
{
    const auto listed = [](const QString& file) {
        SpreadsheetLink link;
        link.OpenWorkbook(file);
        QStringList names;
        for (const SpreadsheetLink::SheetEntry& e : link.sheets())
            names << e.name + (e.hidden ? QStringLiteral("*") : QString());
        return names.join(u',');
    };
    EXPECT_EQ(listed(shaped("sheets.xlsx")), "说明,字典,花名册,备份*");
    EXPECT_EQ(listed(shaped("sheets.xls")), "说明,花名册,备份*");
    EXPECT_EQ(listed(shaped("sheets.ods")), "说明,花名册,备份*");

    SpreadsheetLink link;
    for (const char* wrong : {"图表", "名单", "9"}) {
        try {
            link.OpenWorkbook(shaped("sheets.xlsx"), QString::fromUtf8(wrong));
            ADD_FAILURE() << wrong;
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().endsWith(QStringLiteral("可以选择的工作表：「说明」「字典」「花名册」「备份」"))) << e.text().toStdString();
        }
    }
}

TEST(WorkbookShapes, ColumnsByNumberOrLetterAndTheBoxNotes)
{
    const struct {
        const char* text;
        int column; // -100: refused
    } cases[] = {
        {"2", 2}, {"  +3", 3}, {"0", 0}, {"-1", -1}, {"B", 2}, {"aa", 27}, {"ＡＡ", 27}, {"２７", 27},
        {"27 AA", 27}, {"XFD", 16384}, {"XFE", -100}, {"AAAA", -100}, {"27 AB", -100}, {"B1", -100},
        {"31 ", -100}, {"x1", -100}, {"工号", -100}, {"", -100},
    };
    for (const auto& c : cases) {
        int column = -100;
        const bool ok = HeaderMap::parseColumn(QString::fromUtf8(c.text), column);
        EXPECT_EQ(ok ? column : -100, c.column) << c.text;
    }
    const QStringList headers{QStringLiteral("工号"), QStringLiteral("姓名")};
    EXPECT_EQ(HeaderMap::noteForBox(2, QStringLiteral("b"), &headers, {}, 2).text, "B 姓名");
    const HeaderMap::BoxNote past = HeaderMap::noteForBox(6, QStringLiteral("C"), &headers, {}, 2);
    EXPECT_TRUE(past.suspect);
    EXPECT_EQ(past.text, "C 列在表格的最后一列（B 列）之后，是空的：请检查列号");
    EXPECT_TRUE(HeaderMap::noteForBox(6, QStringLiteral("x1"), &headers).suspect);

    std::array<QString, ImportRow::SlotCount> boxes;
    boxes[0] = QStringLiteral("A");
    boxes[1] = QStringLiteral("B");
    boxes[16] = QStringLiteral("Q");
    EXPECT_EQ(ImportRun::mapProblem(boxes, 0), "");
    boxes[5] = QStringLiteral("x1");
    EXPECT_EQ(ImportRun::mapProblem(boxes, 0), "请正确导入的对应的序号或已输入的序号不正确!\n「出生日期」的列号「x1」不正确");
    boxes[5].clear();
    boxes[1].clear();
    EXPECT_EQ(ImportRun::mapProblem(boxes, 0), "请正确导入的对应的序号或已输入的序号不正确!\n「姓名」必须填列号");
    boxes[16].clear();
    EXPECT_EQ(ImportRun::mapProblem(boxes, 1), ""); // an update needs the worker number only
}

TEST(WorkbookShapes, EveryUnknownDepartmentIsNamedWithItsRows)
{
    DepartmentProblems few;
    few.unknown(3, QStringLiteral("B002"), QStringLiteral("市场部"));
    few.empty(5, QStringLiteral("B004"));
    few.unknown(7, QStringLiteral("B006"), QStringLiteral("采购部"));
    few.unknown(12, QStringLiteral("B011"), QStringLiteral("市场部"));
    EXPECT_EQ(few.message(), "工号为：B002-的,部门信息未能与软件中的部门对应上!!!\n"
                             "部门「市场部」不存在：第 3、12 行（共 2 行）\n"
                             "部门「采购部」不存在：第 7 行（共 1 行）\n"
                             "部门名称是空的：第 5 行（共 1 行）\n"
                             "本次未导入任何数据。请先在部门设置中添加这些部门，或改正表中的部门名称。");
    DepartmentProblems many;
    for (int i = 0; i < 12; ++i)
        for (int r = 0; r < 11; ++r)
            many.unknown(2 + i * 11 + r, QStringLiteral("X"), QStringLiteral("部门%1").arg(i));
    const QStringList lines = many.message().split(u'\n');
    ASSERT_EQ(lines.size(), 1 + 10 + 1 + 1);
    EXPECT_EQ(lines[1], "部门「部门0」不存在：第 2、3、4、5、6、7、8、9、10、11 等行（共 11 行）");
    EXPECT_EQ(lines[11], "等 12 个部门");
}

TEST_F(ShapedImportTest, TitleRowsAreSkippedLettersMapAndUnknownDepartmentsComeAtOnce)
{
    view.path = shaped("titles.xlsx");
    view.header = 4;
    map({{1, "A"}, {2, "b"}, {3, "C"}, {17, "Ｄ"}, {6, "E"}, {9, "F"}, {22, "G"}});
    ASSERT_EQ(run(), RunEnd::Succeeded) << scriptedDialogs().boxes.value(0).text.toStdString();
    EXPECT_EQ(imported, 3);
    EXPECT_EQ(value("select Wname || DepName || BIrThday || BaseWage from Hrp_workers where Workerid='T001'"), "王一人事部1990-05-125000");

    scriptedDialogs().reset();
    view.path = shaped("depts.xlsx");
    view.header = 1;
    map({{1, "A"}, {2, "B"}, {17, "C"}});
    EXPECT_EQ(run(), RunEnd::DeptCheckFailed);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].text, "工号为：D003-的,部门信息未能与软件中的部门对应上!!!\n"
                                               "部门「市场部」不存在：第 3、7、12 行（共 3 行）\n"
                                               "部门「采购部」不存在：第 5 行（共 1 行）\n"
                                               "部门「法务部」不存在：第 9 行（共 1 行）\n"
                                               "本次未导入任何数据。请先在部门设置中添加这些部门，或改正表中的部门名称。");
    EXPECT_EQ(value("select count(*) from Hrp_workers where Workerid like 'D%'"), "0");
}

TEST_F(ShapedImportTest, UpdateFileOfWorkerNumberAndWageChangesOnlyTheWage)
{
    view.path = shaped("titles.xlsx");
    view.header = 4;
    map({{1, "1"}, {2, "2"}, {17, "4"}, {6, "5"}});
    ASSERT_EQ(run(), RunEnd::Succeeded);

    // A filled box an update cannot change is named first; No stops.
    scriptedDialogs().reset();
    view.path = shaped("update.xlsx");
    view.header = 1;
    map({{1, "A"}, {22, "B"}, {4, "B"}});
    EXPECT_EQ(run(1), RunEnd::MapRefused);
    EXPECT_EQ(scriptedDialogs().confirmations,
              QStringList{QStringLiteral("更新导入不会修改：民族\n只会修改标有红色「-」的栏目。继续更新导入吗？")});

    scriptedDialogs().reset();
    map({{1, "A"}, {22, "B"}});
    ASSERT_EQ(run(1), RunEnd::Succeeded);
    EXPECT_TRUE(scriptedDialogs().confirmations.isEmpty());
    EXPECT_EQ(scriptedDialogs().boxes.last().text, "数据导入成功，请查询!\n已更新 2 人，未导入 0 人");
    EXPECT_EQ(value("select group_concat(Workerid || ':' || BaseWage || ':' || Wname || ':' || DepName, ' ') from "
                    "(select * from Hrp_workers order by Workerid)"),
              "T001:5500:王一:人事部 T002:0:李二:财务部 T003:7700:赵三:技术部");
}

TEST(WorkbookShapesCli, SheetHeaderRowAndLettersFromTheCommandLine)
{
    TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config"))); // before any login

    CliResult r = runCli({QStringLiteral("map"), QStringLiteral("--workbook"), shaped("titles.xlsx")}, {}, env);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "表头：工作表「花名册」第 4 行\n");
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Edt1\tWorkerid\tA\t工号\nEdt2\tWname\tB\t姓名\n"))) << r.out.toStdString();
    // The list behind a "说明" sheet: the refusal points at it.
    r = runCli({QStringLiteral("map"), QStringLiteral("--workbook"), shaped("sheets.xlsx")}, {}, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("员工资料似乎在工作表「花名册」中：请加上 --sheet 花名册。\n"))) << r.err.toStdString();

    r = runCli({QStringLiteral("cells"), QStringLiteral("--workbook"), shaped("sheets.xlsx"), QStringLiteral("--sheet"),
                QStringLiteral("花名册"), QStringLiteral("--rows"), QStringLiteral("2")},
               {}, env);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.section(u'\n', 1, 1), "T001\t王一\t男\t人事部\t1990-05-12\t110101199005120011\t5000");

    const QString db = dir.file(QStringLiteral("Wage.VRD"));
    ASSERT_EQ(runCli({QStringLiteral("init-db"), db, QStringLiteral("--demo")}).code, 0);
    const QStringList import{QStringLiteral("import"), QStringLiteral("--workbook"), shaped("sheets.xlsx"), QStringLiteral("--db"), db,
                             QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin"), QStringLiteral("--sheet"),
                             QStringLiteral("3"), QStringLiteral("--check"), QStringLiteral("--map")};
    r = runCli(import + QStringList{QStringLiteral("Workerid=A,Wname=b,DepName=Ｄ,BIrThday=E")}, "demo\n", env);
    EXPECT_EQ(r.err.trimmed().split(u'\n').last(), "提示: 检查完成：可导入 3 人，不能导入 0 人") << r.err.toStdString();
    r = runCli(import + QStringList{QStringLiteral("Workerid=A,Wname=B,BIrThday=x1")}, "demo\n", env);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("「部门名称」必须填列号"))) << r.err.toStdString();

    // The report copies the sheet chosen, title rows and all, "问题" beside
    // the header row.
    const struct {
        QString workbook;
        QStringList options;
        int header;
    } reports[] = {
        {shaped("sheets.xlsx"), {QStringLiteral("--sheet"), QStringLiteral("花名册")}, 1},
        {shaped("titles.xlsx"), {}, 4},
    };
    for (const auto& c : reports) {
        SCOPED_TRACE(c.workbook.toStdString());
        const QString report = dir.file(QStringLiteral("report-%1.xlsx").arg(c.header));
        r = runCli(QStringList{QStringLiteral("import"), QStringLiteral("--workbook"), c.workbook, QStringLiteral("--db"), db,
                               QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin"),
                               QStringLiteral("--check"), QStringLiteral("--map"), QStringLiteral("auto"),
                               QStringLiteral("--report"), report}
                       + c.options,
                   "demo\n", env);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const XlsxContent content = readXlsx(report);
        ASSERT_GE(content.rows.size(), c.header + 3);
        EXPECT_EQ(content.rows[c.header - 1].value(2), "性别");
        EXPECT_EQ(content.rows[c.header - 1].value(7), "问题");
        EXPECT_EQ(content.rows[c.header].first(), "T001");
    }
}
