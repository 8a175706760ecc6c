// The import run's rows in groups: every box finds the rows before it
// already lasting, a group the database dropped fails the run, and a writer
// that rolls back (the check) leaves the database as it was.
#include "data/UserDMUnit.h"
#include "import/ImportTestSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace {
const QString kFailed = QStringLiteral("请选择正确的文件！");

struct GroupedRun {
    TestDatabase db{false};
    RecordingView view;
    ImportRow row;
    QStringList boxes;      // each box's first line
    QList<qint64> storedAt; // rows another program sees while it is up

    GroupedRun()
    {
        int n = 0;
        for (const char* d : {"人事部", "财务部", "技术部", "销售部", "生产部", "行政部"})
            db.addDepartment(QStringLiteral("D%1").arg(++n), QString::fromUtf8(d));
        view.mapAll();
        scriptedDialogs().onBox = [this](const RecordedBox& box) {
            boxes << box.text.section(u'\n', 0, 0);
            storedAt << stored();
        };
    }
    ~GroupedRun() { scriptedDialogs().onBox = nullptr; }

    qint64 stored() { return db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(); }
    RunEnd run(RowWriter& writer, const char* workbook = "people.xls")
    {
        view.path = importFixture(workbook);
        return ImportRun(view, row, writer).SBSaveClick();
    }
};
} // namespace

TEST(GroupedWrites, EveryBoxAndEveryEndFindsTheRowsBeforeItStored)
{
    const struct {
        const char* name;
        std::function<void(GroupedRun&)> arrange;
        RunEnd end;
        QStringList boxes;
        QList<qint64> storedAt;
        qint64 storedAfter;
    } cases[] = {
        {"success", [](GroupedRun&) {}, RunEnd::Succeeded, {QStringLiteral("数据导入成功，请查询!")}, {5}, 5},
        {"duplicate box",
         [](GroupedRun& g) { g.db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid) values (100, 'W0003')")); },
         RunEnd::Succeeded,
         {WorkerWriter::duplicateMessage(QStringLiteral("W0003")), QStringLiteral("数据导入成功，请查询!")},
         {3, 5},
         5},
        {"write pass failure",
         [](GroupedRun& g) {
             g.view.onProcessMessages = [](RecordingView& v) {
                 if (v.messagesProcessed == 2)
                     v.boxes[2] = QStringLiteral("0");  // the next read fails
             };
         },
         RunEnd::WritePassFailed, {kFailed}, {2}, 2},
        {"window closed",
         [](GroupedRun& g) { g.view.onProcessMessages = [](RecordingView& v) { v.stop = v.messagesProcessed == 2; }; },
         RunEnd::Stopped, {}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GroupedRun g;
        WorkerWriter writer;
        c.arrange(g);
        EXPECT_EQ(g.run(writer), c.end);
        EXPECT_EQ(g.boxes, c.boxes);
        EXPECT_EQ(g.storedAt, c.storedAt);
        EXPECT_EQ(g.stored(), c.storedAfter);
        scriptedDialogs().reset();
    }
}

TEST(GroupedWrites, GroupTheDatabaseDroppedFailsTheRunAndTheNextImportStoresItAll)
{
    GroupedRun g;
    WorkerWriter writer;
    g.view.onProcessMessages = [](RecordingView& v) {
        if (v.messagesProcessed == 2)
            UserDM->ADOConnection1.rollbackTransaction();  // as SQLite does on a full disk
    };
    EXPECT_EQ(g.run(writer), RunEnd::WritePassFailed);
    // The two rows of the dropped group are not counted as imported.
    EXPECT_EQ(g.boxes, QStringList{QStringLiteral("数据库出错：已导入前 0 行，第 2 行起未导入。请排除问题后重新导入本文件。")});
    EXPECT_EQ(scriptedDialogs().boxes.last().caption, QStringLiteral("导入未完成"));
    EXPECT_EQ(g.stored(), 0);
    EXPECT_EQ(g.view.finishedImported, 0);

    g.view.onProcessMessages = nullptr;
    EXPECT_EQ(g.run(writer), RunEnd::Succeeded);
    EXPECT_EQ(g.stored(), 5);
}

TEST(GroupedWrites, RollBackWriterRunsTheWholeImportAndLeavesNothing)
{
    GroupedRun g;
    WorkerWriter check(WriteSession::End::RollBack);
    EXPECT_EQ(g.run(check, "bad-values.xls"), RunEnd::Succeeded);
    EXPECT_EQ(g.view.list.size(), 2);
    EXPECT_EQ(g.view.finishedImported, 1);
    EXPECT_EQ(g.stored(), 0);
    EXPECT_EQ(g.db.scalar(QStringLiteral("select count(*) from Sys_SerialNo")).toLongLong(), 0);

    // The same workbook for real: the same rows, the keys from 1.
    WorkerWriter writer;
    EXPECT_EQ(g.run(writer, "bad-values.xls"), RunEnd::Succeeded);
    EXPECT_EQ(g.stored(), 1);
    EXPECT_EQ(g.db.scalar(QStringLiteral("select Wkid from Hrp_workers")).toLongLong(), 1);
}
