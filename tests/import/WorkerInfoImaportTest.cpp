#include "data/UserDMUnit.h"
#include "import/ImportTestSupport.h"
#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTableView>

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
    EXPECT_TRUE(w.ui()->RadioGroup1->isHidden());
    EXPECT_TRUE(w.ui()->SBCancel->isHidden());
    EXPECT_EQ(w.importMode(), 0);
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
    w.BtSelectClick();
    EXPECT_EQ(w.ui()->EdtPaths->text(), "/data/a.xls");
    EXPECT_EQ(scriptedDialogs().fileFilters, (QStringList{QStringLiteral("Excel数据文件|*.xls"), QStringLiteral("Excel数据文件|*.xls")}));
}

TEST_F(ImportWindowTest, RunFromTheButtonListsRowsWithReasonsAndCounts)
{
    TWorkerInfoImaportFrm w;
    mapAll(w);
    w.ui()->EdtPaths->setText(importFixture("bad-values.xls"));
    w.ui()->SBSave->click();
    EXPECT_EQ(workers(), 1);
    ASSERT_EQ(w.ui()->ListBox1->count(), 2);
    EXPECT_FALSE(w.ui()->ListBox1->item(0)->toolTip().isEmpty());
    EXPECT_EQ(w.ui()->LblCounts->text(), "已导入 1 人，未导入 2 人");
    EXPECT_EQ(w.ui()->ProgressBar1->value(), 100);
    EXPECT_TRUE(w.ui()->EdtPaths->text().isEmpty());
    EXPECT_EQ(w.Edt(1)->text(), "1");
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 0 人");
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
            w.ui()->SBSave->click();
        }
    });
    w.ui()->SBSave->click();
    EXPECT_GT(clicks, 0);
    EXPECT_EQ(workers(), 5);
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1); // one success, no duplicates
    EXPECT_FALSE(w.running());
}

TEST_F(ImportWindowTest, ClosingDuringARunStopsAfterTheRowInHandThenCloses)
{
    TWorkerInfoImaportFrm w;
    w.show();
    mapAll(w);
    w.ui()->EdtPaths->setText(importFixture("people.xls"));
    bool closed = false;
    QObject::connect(w.ui()->ProgressBar1, &QProgressBar::valueChanged, &w, [&] {
        if (!closed) {
            closed = true;
            w.ui()->SBExit->click();
            EXPECT_TRUE(w.isVisible()); // not under the running handler
        }
    });
    w.ui()->SBSave->click();
    EXPECT_EQ(workers(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(w.ui()->LblCounts->text(), "已导入 1 人，未导入 0 人");
}

TEST_F(ImportWindowTest, ShowClearsTheDepartmentNumber)
{
    TWorkerInfoImaportFrm w;
    w.importRow().DeptNo = QStringLiteral("x");
    w.show();
    EXPECT_TRUE(w.importRow().DeptNo.isEmpty());
}
