// What an undo refuses, and what it does with a records file it cannot
// trust: a tampered column name or a damaged pack is never acted on.
#include "data/UserDMUnit.h"
#include "records/RunRecorder.h"
#include "platform/Errors.h"
#include "records/RunUndo.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {
struct Fixture {
    TestDatabase db;
    TempDir dir;
    QString path = dir.file(QStringLiteral("records.sqlite"));

    qint64 addRun(const std::function<void(RunRecords::Run&)>& change, const QList<RunRecords::Row>& rows = {})
    {
        RunRecords records(path);
        RunRecords::Run run;
        run.kind = QStringLiteral("导入");
        run.started = QDateTime::currentDateTime();
        run.database = recordedDatabaseName(UserDM->ADOConnection1);
        run.mode = 1;
        change(run);
        const qint64 id = records.startRun(run);
        records.addRows(id, rows);
        return id;
    }
};
} // namespace

TEST(RunUndoRefusal, RefusesWhatCannotBeUndoneAndChangesNothing)
{
    Fixture f;
    f.db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid, Wname, Skill) values (1, 'W1', '甲', '新')"));
    const RunRecords::Row tampered{2, 0, QStringLiteral("W1"), {}, {FieldChange{QStringLiteral("Skill=''; --"), CellValue{false, QStringLiteral("旧")}, CellValue{false, QStringLiteral("新")}}}};
    const struct {
        const char* name;
        std::function<void(RunRecords::Run&)> change;
        QList<RunRecords::Row> rows;
        const char* says;
    } cases[] = {
        {"undone before", [](RunRecords::Run&) {}, {}, "不能再撤销"},
        {"an undo", [](RunRecords::Run& r) { r.kind = QStringLiteral("撤销"); }, {}, "是一次撤销"},
        {"another database", [](RunRecords::Run& r) { r.database = QStringLiteral("/elsewhere/Wage.VRD"); }, {}, "另一个数据库"},
        {"a tampered column", [](RunRecords::Run&) {}, {tampered}, "不是导入会修改的列"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 id = f.addRun(c.change, c.rows);
        RunRecords records(f.path);
        const bool undoneBefore = QByteArray(c.name) == "undone before";
        if (undoneBefore)
            records.markUndone(id, QStringLiteral("0002"), QDateTime::currentDateTime());
        try {
            RunUndo::apply(UserDM->ADOConnection1, records, id, QStringLiteral("0001"));
            ADD_FAILURE() << "undone";
        } catch (const std::exception& e) {
            EXPECT_TRUE(errorText(e).contains(QString::fromUtf8(c.says))) << errorText(e).toStdString();
        }
        EXPECT_EQ(f.db.scalar(QStringLiteral("select Skill from Hrp_workers")).toString(), QStringLiteral("新"));
        EXPECT_EQ(records.run(id)->undoneAt.isValid(), undoneBefore);
        // A refusal leaves no undo on record; a failed undo one that says so.
        const RunRecords::Run newest = records.runs(1).first();
        EXPECT_TRUE(newest.id == id || (newest.undoOf == id && newest.outcome == RunOutcome::Failed));
    }
}

TEST(RunUndoRefusal, DamagedPacksAndDigestsUndoNothing)
{
    Fixture f;
    f.db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid, Wname) values (7, 'W7', '乙')"));
    const qint64 id = f.addRun([](RunRecords::Run& r) { r.mode = 0; },
                               {RunRecords::Row{2, 7, QStringLiteral("W7"), QByteArray(16, 'x'), {}}});
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        c.setDatabaseName(f.path);
        ASSERT_TRUE(c.open());
        QSqlQuery q(c);
        ASSERT_TRUE(q.exec(QStringLiteral("insert into rows(run, data) values (%1, x'ffffffff00')").arg(id)));
        ASSERT_TRUE(q.exec(QStringLiteral("insert into rows(run, data) values (%1, x'00000002')").arg(id)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    RunRecords records(f.path);
    EXPECT_EQ(records.rows(id).size(), 1);  // the two bad packs hold nothing
    const RunUndo::Plan plan = RunUndo::apply(UserDM->ADOConnection1, records, id, QStringLiteral("0001"));
    EXPECT_EQ(plan.deleted, 0);
    EXPECT_EQ(plan.kept.size(), 1);  // a digest that is not the row's: the row stays
    EXPECT_EQ(f.db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 1);
}
