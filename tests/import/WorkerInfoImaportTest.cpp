#include "data/UserDMUnit.h"
#include "import/ImportTestSupport.h"
#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QCheckBox>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTableView>

#include "support/ReadXlsx.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {
class ImportWindowTest : public ::testing::Test {
protected:
    ImportWindowTest()
        : db(false)
    {
        for (const char* d : {"人事部", "财务部", "技术部", "销售部", "生产部", "行政部"})
            db.addDepartment(QString::fromUtf8(d), QString::fromUtf8(d));
    }
    void mapAll(TWorkerInfoImaportFrm& w)
    {
        for (int k = 1; k <= 31; ++k)
            w.Edt(k)->setText(QString::number(k));
    }
    qint64 workers() { return db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(); }
    static StagingGrid* grid(TWorkerInfoImaportFrm& w) { return w.ui()->dxDBGrid1; }

    TestDatabase db;
};
} // namespace

TEST_F(ImportWindowTest, ColumnMapHasItsBoxesCaptionsAndMarks)
{
    TWorkerInfoImaportFrm w;
    EXPECT_EQ(w.windowTitle(), "数据导入");
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    int bold = 0, marks = 0;
    for (int k = 1; k <= 31; ++k) {
        QLineEdit* box = w.findChild<QLineEdit*>(QStringLiteral("Edt%1").arg(k));
        ASSERT_NE(box, nullptr) << k;
        EXPECT_TRUE(box->text().isEmpty());
        const auto labels = box->parentWidget()->findChildren<QLabel*>();
        for (QLabel* l : labels) {
            if (l->text() == QLatin1String("-") && l->styleSheet().contains(QLatin1String("red")))
                ++marks;
            if (l->font().bold() && l->text() != QLatin1String("-"))
                ++bold;
        }
        if (k < 31) {
            QWidget* next = box->nextInFocusChain();
            while (next != box && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            EXPECT_EQ(next->objectName(), QStringLiteral("Edt%1").arg(k + 1));
        }
    }
    EXPECT_EQ(bold, 3);
    EXPECT_EQ(marks, 8);
    EXPECT_TRUE(w.ui()->EdtPaths->isReadOnly());
    EXPECT_FALSE(w.ui()->RadioGroup1->isHidden());
    EXPECT_TRUE(w.ui()->SBCancel->isHidden());
    EXPECT_EQ(w.importMode(), 0);
    w.ui()->RadioUpdate->setChecked(true);
    EXPECT_EQ(w.importMode(), 1);
    EXPECT_EQ(w.ui()->ProgressBar1->maximum(), 100);
}

TEST_F(ImportWindowTest, GridShowsTheStagingColumnsAndFooterOnceOpened)
{
    TWorkerInfoImaportFrm w;
    StagingGrid* grid = w.ui()->dxDBGrid1;
    QStringList captions;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        captions << grid->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("工号"), QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("部门"),
                                     QStringLiteral("出生日期"), QStringLiteral("身份证号"), QStringLiteral("员工类型"), QStringLiteral("基本工资")}));
    EXPECT_TRUE(grid->view()->isColumnHidden(6));
    EXPECT_TRUE(grid->view()->isSortingEnabled());
    EXPECT_EQ(grid->footerText(), "");
    EXPECT_FALSE(w.QryDept().isOpen());
    w.reopenStaging();
    EXPECT_EQ(grid->footerText(), "共 0 人");
    EXPECT_EQ(grid->rowCount(), 0);
}

TEST_F(ImportWindowTest, FileButtonFillsThePathAndCancelKeepsIt)
{
    TWorkerInfoImaportFrm w;
    scriptedDialogs().fileAnswers = {QStringLiteral("/data/a.xls")};
    w.BtSelectClick();
    EXPECT_EQ(w.ui()->EdtPaths->text(), "/data/a.xls");
    // A file that cannot be read says so at once.
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_TRUE(scriptedDialogs().boxes[0].text.startsWith(QStringLiteral("无法打开文件「/data/a.xls」")));
    w.BtSelectClick();
    EXPECT_EQ(w.ui()->EdtPaths->text(), "/data/a.xls");
    ASSERT_EQ(scriptedDialogs().fileFilters.size(), 2);
    const QStringList entries = scriptedDialogs().fileFilters[0].split(u'|');
    QStringList descriptions;
    for (qsizetype i = 0; i < entries.size(); i += 2)
        descriptions << entries[i];
    EXPECT_EQ(descriptions, (QStringList{QStringLiteral("表格文件 (*.xls *.xlsx *.ods *.csv *.txt *.tsv)"),
                                         QStringLiteral("Excel数据文件 (*.xls)"), QStringLiteral("Excel 工作簿 (*.xlsx)"),
                                         QStringLiteral("OpenDocument 电子表格 (*.ods)"), QStringLiteral("文本文件 (*.csv *.txt *.tsv)")}));
}

TEST_F(ImportWindowTest, RunFromTheButtonListsRowsWithReasonsAndCounts)
{
    TWorkerInfoImaportFrm w;
    mapAll(w);
    w.ui()->EdtPaths->setText(importFixture("bad-values.xls"));
    w.ui()->SBSave->click();
    EXPECT_EQ(workers(), 1);
    QAbstractItemModel* list = w.ui()->ListBox1->model();
    ASSERT_EQ(list->rowCount(), 2);
    const auto lineOf = [list](int r) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->index(r, c).data().toString();
        return cells;
    };
    EXPECT_EQ(lineOf(0).mid(0, 3), (QStringList{"3", "W0002", QStringLiteral("王小明")}));
    const QString reason = list->index(0, NotImportedModel::Reason).data(Qt::ToolTipRole).toString();
    EXPECT_FALSE(reason.isEmpty());
    // The line begins with the why: the row is in its own column.
    EXPECT_EQ(QStringLiteral("第 3 行 ") + lineOf(0)[3], reason.section(u'\n', 0, 0));
    EXPECT_EQ(w.ui()->LblCounts->text(), "已导入 1 人，未导入 2 人");
    EXPECT_EQ(w.ui()->ProgressBar1->value(), 100);
    EXPECT_TRUE(w.ui()->EdtPaths->text().isEmpty());
    EXPECT_EQ(w.Edt(1)->text(), "1");
    // The grid shows the rows left behind, their problems marked, and takes
    // no edits: the file box is empty, no run would read them.
    StagingGrid* grid = w.ui()->dxDBGrid1;
    const QAbstractItemModel* shown = grid->view()->model();
    EXPECT_TRUE(grid->findChild<QCheckBox*>(QStringLiteral("OnlyProblems"))->isChecked());
    QStringList rows;
    for (int r = 0; r < shown->rowCount(); ++r)
        rows << shown->index(r, 0).data().toString();
    for (const ImportRun::NotImported& refused : w.lastRun().notImportedRows())
        EXPECT_TRUE(rows.contains(QString::number(refused.sheetRow))) << refused.sheetRow;
    EXPECT_EQ(grid->view()->editTriggers(), QAbstractItemView::NoEditTriggers);
    bool marked = false;
    for (int c = 1; c < shown->columnCount(); ++c)
        marked |= shown->index(0, c).data(Qt::BackgroundRole).value<QColor>().isValid();
    EXPECT_TRUE(marked);

    // The rows not imported go to a workbook another program reads.
    const TempDir out;
    scriptedDialogs().reset();
    scriptedDialogs().fileAnswers = {out.file(QStringLiteral("rejects.xlsx"))};
    w.ui()->SBRejects->click();
    EXPECT_EQ(scriptedDialogs().suggestedNames.value(0), importFixture("bad-values-未导入.xlsx"));
    const XlsxContent rejects = readXlsx(out.file(QStringLiteral("rejects.xlsx")));
    ASSERT_EQ(rejects.rows.size(), 3);
    EXPECT_EQ(rejects.rows[0].mid(31), (QStringList{QStringLiteral("未导入原因"), QStringLiteral("数据库原文")}));
    EXPECT_EQ(rejects.rows[1].first(), "W0002");
    // The reason in Chinese, the database's own text in a column of its own.
    EXPECT_EQ(rejects.rows[1].value(31), reason.section(u'\n', 0, 0));
    EXPECT_EQ(rejects.rows[1].value(32), reason.section(u'\n', 1));
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].icon, MsgIcon::Information);
}

TEST_F(ImportWindowTest, SecondClickDuringARunDoesNotStartAnother)
{
    TWorkerInfoImaportFrm w;
    mapAll(w);
    w.ui()->EdtPaths->setText(importFixture("people.xls"));
    int clicks = 0;
    // The bar moves only while the run is going on: click again then.
    QObject::connect(w.ui()->ProgressBar1, &QProgressBar::valueChanged, &w, [&] {
        if (clicks++ == 0) {
            EXPECT_TRUE(w.running());
            for (QToolButton* b : {w.ui()->SBSave, w.ui()->BtSelect, w.ui()->BtAutoMap, w.ui()->BtClearMap,
                                   w.ui()->SBRejects, w.ui()->SBTemplate})
                b->click();
        }
    });
    w.ui()->SBSave->click();
    EXPECT_GT(clicks, 0);
    EXPECT_EQ(workers(), 5);
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1); // one success, no duplicates
    EXPECT_TRUE(scriptedDialogs().fileFilters.isEmpty());
    EXPECT_EQ(w.Edt(1)->text(), "1");
    EXPECT_FALSE(w.running());
}

TEST_F(ImportWindowTest, ClosingDuringAnImportAsksAndYesStopsAtTheRowBoundaryWithASummary)
{
    struct Case {
        bool yes;
        qint64 stored;
        bool visible;
        QList<RecordedBox> boxes;
    };
    const RecordedBox stopped{QStringLiteral("导入已停止。\n已导入 2 人，未导入 0 人，未处理 3 行"), QStringLiteral("提示"),
                              MsgIcon::Information};
    const RecordedBox success{QStringLiteral("数据导入成功，请查询!\n已导入 5 人，未导入 0 人"), QStringLiteral("提示"),
                              MsgIcon::Information};
    for (const Case& c : {Case{true, 2, false, {stopped}}, Case{false, 5, true, {success}}}) {
        db.exec(QStringLiteral("delete from Hrp_workers"));
        scriptedDialogs().reset();
        scriptedDialogs().confirmAnswers = {c.yes};
        TWorkerInfoImaportFrm w;
        w.show();
        mapAll(w);
        w.ui()->EdtPaths->setText(importFixture("people.xls"));
        bool closed = false;
        // Asked once the write pass has stored a row: the bar moves before each row.
        QObject::connect(w.ui()->ProgressBar1, &QProgressBar::valueChanged, &w, [&] {
            if (!closed && w.runProgress().progress().writing) {
                closed = true;
                w.ui()->SBExit->click();
                EXPECT_TRUE(w.isVisible()); // not under the running handler
                EXPECT_TRUE(w.ui()->SBExit->isEnabled());
                EXPECT_FALSE(w.ui()->SBSave->isEnabled());
                EXPECT_FALSE(w.ui()->SBCheck->isEnabled());
            }
        });
        w.ui()->SBSave->click();
        EXPECT_EQ(scriptedDialogs().confirmations,
                  QStringList{QStringLiteral("正在导入（1 / 5 行），确定停止吗？已导入的资料会保留。")}) << c.yes;
        EXPECT_EQ(workers(), c.stored) << c.yes;
        EXPECT_EQ(w.isVisible(), c.visible) << c.yes;
        EXPECT_EQ(scriptedDialogs().boxes, c.boxes) << c.yes;
        EXPECT_TRUE(w.ui()->SBSave->isEnabled()) << c.yes;
    }
}

TEST_F(ImportWindowTest, ShowClearsTheDepartmentNumber)
{
    TWorkerInfoImaportFrm w;
    w.importRow().DeptNo = QStringLiteral("x");
    w.show();
    EXPECT_TRUE(w.importRow().DeptNo.isEmpty());
}

TEST_F(ImportWindowTest, ChoosingAWorkbookFillsAnEmptyMapFromItsHeaderAndPreviewsIt)
{
    TWorkerInfoImaportFrm w;
    scriptedDialogs().fileAnswers = {importFixture("shuffled-header.xls")};
    w.BtSelectClick();
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    QStringList filled;
    for (int k = 1; k <= 31; ++k)
        if (!w.Edt(k)->text().isEmpty())
            filled << QStringLiteral("%1=%2").arg(k).arg(w.Edt(k)->text());
    EXPECT_EQ(filled.join(u' '), "1=3 2=2 6=5 8=7 9=6 17=4 22=9 23=10 27=8");
    EXPECT_EQ(w.Edt(2)->toolTip(), "B 姓名 *");
    EXPECT_EQ(w.Edt(1)->toolTip(), "C 工号");

    // The rows as the import reads them: row number, the grid's own
    // columns first, then the other mapped fields.
    StagingGrid* grid = w.ui()->dxDBGrid1;
    EXPECT_EQ(grid->captions(), (QStringList{QStringLiteral("行号"), QStringLiteral("工号"), QStringLiteral("姓名"), QStringLiteral("部门"),
                                             QStringLiteral("出生日期"), QStringLiteral("身份证号"), QStringLiteral("基本工资"),
                                             QStringLiteral("手机号码"), QStringLiteral("入职日期"), QStringLiteral("银行帐号"),
                                             QStringLiteral("问题")}));
    EXPECT_EQ(grid->footerText(), "共 3 行");
    const auto cell = [grid](int r, int c) { return grid->model()->index(r, c).data().toString(); };
    EXPECT_EQ(cell(0, 0), "2");
    EXPECT_EQ(cell(2, 1), "W0003");
    EXPECT_EQ(cell(0, 4), "1980-01-01");
}

TEST_F(ImportWindowTest, BoxWhoseHeaderNamesAnotherFieldIsMarkedUntilTheHeaderMapsIt)
{
    TWorkerInfoImaportFrm w;
    mapAll(w); // the order of the sample, not of this file
    scriptedDialogs().fileAnswers = {importFixture("shuffled-header.xls")};
    w.BtSelectClick();
    EXPECT_EQ(w.Edt(1)->text(), "1"); // a filled map is left as it is
    EXPECT_FALSE(w.Edt(1)->property("suspect").toBool()); // "序号" names no field
    EXPECT_FALSE(w.Edt(2)->property("suspect").toBool());
    EXPECT_TRUE(w.Edt(3)->property("suspect").toBool());
    EXPECT_TRUE(w.Edt(3)->toolTip().startsWith(QStringLiteral("C 工号\n")));

    w.ui()->BtAutoMap->click();
    EXPECT_EQ(w.Edt(3)->text(), "");
    EXPECT_FALSE(w.Edt(1)->property("suspect").toBool());

    // A workbook whose header lacks required columns says which.
    scriptedDialogs().fileAnswers = {QStringLiteral(OSTREL_TEST_FIXTURES "/xls/basic.xls")};
    w.ui()->BtClearMap->click();
    w.BtSelectClick();
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_TRUE(scriptedDialogs().boxes[0].text.startsWith(QStringLiteral("表头中没有找到「员工编号」「姓名」「部门名称」这一列。")));
}

TEST_F(ImportWindowTest, MapOfTheLastRunComesBackWithItsHeadersAndClearEmptiesIt)
{
    {
        TWorkerInfoImaportFrm w;
        scriptedDialogs().fileAnswers = {importFixture("people.xls")};
        w.BtSelectClick(); // the header fills the map
        w.Edt(31)->clear();
        w.ui()->SBSave->click();
        ASSERT_EQ(workers(), 5);
    }
    TWorkerInfoImaportFrm w;
    EXPECT_EQ(w.Edt(30)->text(), "30");
    EXPECT_EQ(w.Edt(31)->text(), "");
    EXPECT_EQ(w.Edt(2)->toolTip(), "B 姓名");

    // Over a workbook whose columns moved, the boxes it no longer fits are
    // marked even where the new header names no field.
    scriptedDialogs().fileAnswers = {importFixture("shuffled-header.xls")};
    w.BtSelectClick();
    EXPECT_TRUE(w.Edt(1)->property("suspect").toBool());
    EXPECT_TRUE(w.Edt(1)->toolTip().contains(QStringLiteral("上次这一列的表头是「员工编号」")));
    EXPECT_FALSE(w.Edt(2)->property("suspect").toBool()); // "姓名 *" is still 姓名

    w.ui()->BtClearMap->click();
    for (int k = 1; k <= 31; ++k)
        EXPECT_TRUE(w.Edt(k)->text().isEmpty()) << k;
}

TEST_F(ImportWindowTest, TemplateButtonSavesAWorkbookAnotherProgramReads)
{
    TWorkerInfoImaportFrm w;
    const TempDir out;
    scriptedDialogs().fileAnswers = {out.file(QStringLiteral("模板.xlsx"))};
    w.ui()->SBTemplate->click();
    const XlsxContent t = readXlsx(out.file(QStringLiteral("模板.xlsx")));
    ASSERT_EQ(t.rows.size(), 1);
    EXPECT_EQ(t.rows[0].size(), 31);
    EXPECT_EQ(t.rows[0][16], "部门名称*");
    EXPECT_TRUE(t.boldHeader);
    for (const char* date : {"F", "N", "W", "X"})
        EXPECT_EQ(t.formats.value(QLatin1String(date)).toString(), "yyyy-mm-dd") << date;
    for (const char* text : {"A", "H", "I", "L", "AA", "AB", "AC"})
        EXPECT_EQ(t.formats.value(QLatin1String(text)).toString(), "@") << text;
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);

    // Nothing to export before a run refused a row.
    scriptedDialogs().reset();
    w.ui()->SBRejects->click();
    EXPECT_TRUE(scriptedDialogs().fileFilters.isEmpty());
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
}

TEST_F(ImportWindowTest, CheckListsTheRefusalsWritesNothingAndKeepsTheFile)
{
    db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid) values (100, 'W0003')"));
    TWorkerInfoImaportFrm w;
    mapAll(w);
    w.ui()->EdtPaths->setText(importFixture("people.xls"));
    w.ui()->SBCheck->click();
    EXPECT_EQ(workers(), 1);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].text, "检查完成：可导入 4 人，不能导入 1 人");
    ASSERT_EQ(w.notImportedModel().rowCount(), 1);
    EXPECT_EQ(w.notImportedModel().line(0).sheetRow, 4);
    EXPECT_EQ(w.notImportedModel().line(0).reason, QStringLiteral("第 4 行 工号已存在（A列「W0003」）"));
    EXPECT_EQ(w.ui()->LblCounts->text(), "检查：可导入 4 人，不能导入 1 人");
    EXPECT_EQ(w.ui()->EdtPaths->text(), importFixture("people.xls"));
    EXPECT_EQ(grid(w)->footerText(), "共 5 行"); // the file's rows again
}
