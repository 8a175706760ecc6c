#include "import/ImportTestSupport.h"
#include "import/RememberedMap.h"
#include "import/ShapedWorkbooks.h"
#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "import/window/SheetChoice.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {
// The grid as the clerk reads it: captions, then each row's cells.
QString gridText(TWorkerInfoImaportFrm& w)
{
    StagingGrid* grid = w.ui()->dxDBGrid1;
    QStringList lines{grid->captions().join(u'|')};
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            cells << grid->model()->index(r, c).data().toString();
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}
} // namespace

TEST(SheetChoiceWindow, SheetHeaderRowAndBoxesChangeThePreviewAndANewFileStartsAfresh)
{
    TestDatabase db(false);
    TWorkerInfoImaportFrm w;
    QComboBox* sheets = w.sheetChooser().sheetBox();
    QSpinBox* header = w.sheetChooser().headerRowBox();

    // The active sheet first; hidden ones last and marked; no chart.
    scriptedDialogs().fileAnswers = {shapedWorkbook("sheets.xlsx")};
    w.BtSelectClick();
    QStringList items;
    for (int i = 0; i < sheets->count(); ++i)
        items << sheets->itemText(i);
    EXPECT_EQ(items.join(u','), "说明,字典,花名册,备份（隐藏）");
    EXPECT_EQ(sheets->currentText(), "说明");
    EXPECT_EQ(header->value(), 1);

    // Another sheet: its header fills the map, its rows the grid.
    sheets->setCurrentIndex(2);
    EXPECT_EQ(w.Edt(1)->text(), "1");
    EXPECT_EQ(w.Edt(17)->text(), "4");
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 3 行");
    EXPECT_TRUE(gridText(w).contains(QStringLiteral("\n2|T001|王一|男|人事部|1990-05-12|"))) << gridText(w).toStdString();

    // A letter in a box: the preview follows at once, the box keeps the number.
    w.Edt(3)->setText(QStringLiteral("b"));
    QTest::qWait(60);
    EXPECT_TRUE(gridText(w).contains(QStringLiteral("\n2|T001|王一|王一|人事部|"))) << gridText(w).toStdString();
    QMetaObject::invokeMethod(w.Edt(3), "editingFinished");
    EXPECT_EQ(w.Edt(3)->text(), "2");
    w.Edt(3)->setText(QStringLiteral("K"));
    EXPECT_TRUE(w.Edt(3)->property("suspect").toBool());
    EXPECT_TRUE(w.Edt(3)->toolTip().startsWith(QStringLiteral("K 列在表格的最后一列（G 列）之后")));

    // A refusal listed and counted, then a new file: gone.
    w.addListLine(QStringLiteral("T001-王一"), QStringLiteral("原因"));
    w.ui()->LblCounts->setText(QStringLiteral("已导入 0 人，未导入 1 人"));
    w.ui()->BtClearMap->click();
    scriptedDialogs().fileAnswers = {shapedWorkbook("titles.xlsx")};
    w.BtSelectClick();
    EXPECT_EQ(w.notImportedModel().rowCount(), 0);
    EXPECT_TRUE(w.ui()->LblCounts->text().isEmpty());
    EXPECT_EQ(sheets->currentText(), "花名册");
    EXPECT_FALSE(sheets->isEnabled()); // one sheet: nothing to choose
    EXPECT_EQ(header->value(), 4);
    EXPECT_EQ(w.Edt(2)->toolTip(), "B 姓名");
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 3 行");
    EXPECT_TRUE(gridText(w).contains(QStringLiteral("\n5|T001|王一|"))) << gridText(w).toStdString();

    // The header row one up: data would start on the field row, whose
    // worker number is merged away; the map stays.
    header->setValue(3);
    EXPECT_EQ(w.Edt(1)->text(), "1");
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 0 行");
    header->setValue(4);
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 3 行");
}

TEST(SheetChoiceWindow, TheSheetOfTheRememberedMapIsChosenAgain)
{
    TestDatabase db(false);
    {
        TWorkerInfoImaportFrm w;
        scriptedDialogs().fileAnswers = {shapedWorkbook("sheets.xlsx")};
        // Opening a file is no run: its box stands over no "正在…" line.
        QString status = QStringLiteral("?");
        scriptedDialogs().onBox = [&](const RecordedBox&) { status = w.ui()->LblCounts->text(); };
        w.BtSelectClick();
        scriptedDialogs().onBox = nullptr;
        EXPECT_TRUE(status.isEmpty()) << status.toStdString();
        w.sheetChooser().sheetBox()->setCurrentIndex(2);
        w.mapAccepted(); // as a run does once the map passes
    }
    scriptedDialogs().reset();
    TWorkerInfoImaportFrm w;
    scriptedDialogs().fileAnswers = {shapedWorkbook("sheets.xlsx")};
    w.BtSelectClick();
    EXPECT_EQ(w.sheetChooser().sheetBox()->currentText(), "花名册");
    EXPECT_EQ(w.ui()->dxDBGrid1->footerText(), "共 3 行");
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());

    // A workbook without that sheet opens on its active one.
    scriptedDialogs().fileAnswers = {shapedWorkbook("titles.xlsx")};
    w.BtSelectClick();
    EXPECT_EQ(w.sheetChooser().sheetBox()->currentText(), "花名册");
    // Remembered before sheets were: the sheet that reads as the map's header.
    RememberedMap other = RememberedMap::load();
    other.sheet.clear();
    other.save();
    TWorkerInfoImaportFrm again;
    scriptedDialogs().fileAnswers = {shapedWorkbook("sheets.xlsx")};
    again.BtSelectClick();
    EXPECT_EQ(again.sheetChooser().sheetBox()->currentText(), "花名册");
    // No sheet reads so: the active one.
    other.headers.fill(QStringLiteral("别的表头"));
    other.save();
    TWorkerInfoImaportFrm third;
    scriptedDialogs().fileAnswers = {shapedWorkbook("sheets.xlsx")};
    third.BtSelectClick();
    EXPECT_EQ(third.sheetChooser().sheetBox()->currentText(), "说明");
    RememberedMap().save();
}
