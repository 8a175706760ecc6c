// The records window over a real import: runs into another database are
// greyed and cannot be undone; 撤销本次导入 asks first and does nothing on No.
#include "data/UserDMUnit.h"
#include "import/ImportTestSupport.h"
#include "records/RunRecorder.h"
#include "records/window/RunRecordsDialog.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <QBrush>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

TEST(RunRecordsDialogTest, ForeignRunsGreyedUndoAsksFirstAndMarksTheRunUndone)
{
    TestDatabase db;
    TempDir dir;
    const QString path = dir.file(QStringLiteral("records.sqlite"));
    ImportHarness h;
    h.view.mapAll();
    h.view.path = importFixture("people.xls");
    RunRecorder recorder(UserDM->ADOConnection1, h.view, path);
    h.writer.setRecorder(&recorder);
    const RunEnd end = h.run();
    ASSERT_EQ(end, RunEnd::Succeeded);
    recorder.runEnded(end, h.imported, h.notImported);
    EXPECT_TRUE(recorder.failure().isEmpty()) << recorder.failure().toStdString();
    {
        RunRecords records(path);
        RunRecords::Run foreign;
        foreign.kind = QStringLiteral("导入");
        foreign.started = QDateTime::currentDateTime();
        foreign.database = QStringLiteral("/elsewhere/Wage.VRD");
        records.startRun(foreign);
    }

    RunRecordsDialog dialog(UserDM->ADOConnection1, nullptr, path);
    RunRecordsModel* model = dialog.model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_FALSE(model->undoable(0));
    EXPECT_EQ(model->data(model->index(0, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::gray));
    EXPECT_TRUE(model->undoable(1));
    EXPECT_EQ(model->data(model->index(1, 2), Qt::DisplayRole).toString(), QStringLiteral("people.xls"));
    EXPECT_EQ(model->data(model->index(1, 4), Qt::DisplayRole).toInt(), 5);

    auto* undo = dialog.findChild<QPushButton*>(QStringLiteral("BtnUndo"));
    ASSERT_NE(undo, nullptr);
    dialog.table()->selectRow(0);
    EXPECT_FALSE(undo->isEnabled());
    dialog.table()->selectRow(1);
    ASSERT_TRUE(undo->isEnabled());

    scriptedDialogs().confirmAnswers = {false};
    undo->click();
    EXPECT_EQ(scriptedDialogs().confirmations,
              QStringList{QStringLiteral("将删除 5 人，恢复 0 人的 0 项资料；0 人导入后已被修改，不会撤销。确定撤销吗？")});
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 5);

    scriptedDialogs().confirmAnswers = {true};
    dialog.table()->selectRow(1);
    undo->click();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 0);
    ASSERT_FALSE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(scriptedDialogs().boxes.last().text, QStringLiteral("已撤销：删除 5 人。"));
    ASSERT_EQ(model->rowCount(), 3);  // the undo is a record of its own
    EXPECT_FALSE(model->undoable(0));
    EXPECT_FALSE(model->undoable(2));
    EXPECT_TRUE(model->data(model->index(2, 7), Qt::DisplayRole).toString().startsWith(QStringLiteral("已撤销（")))
        << model->data(model->index(2, 7), Qt::DisplayRole).toString().toStdString();
    EXPECT_FALSE(undo->isEnabled());  // nothing left chosen that can be undone
}
