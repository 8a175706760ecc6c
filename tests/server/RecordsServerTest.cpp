// Undo on a live PostgreSQL: an add run and an update run undone leave the
// table as it was before them (the counter aside), a row changed since kept.

#include "server/ServerTestSupport.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(ServerRecords, AddAndUpdateRunsUndoneLeaveTheTableAsBeforeTheCounterAside)
{
    REQUIRE_PG_SERVER();
    TempDir dir;
    ServerDatabase db;
    db.addDepartments();
    db.writeSettings(dir.path(), PgServer::get()->password);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    const auto cli = [&](QStringList args) { return runCli(args << QStringLiteral("--settings-dir") << dir.path(), {}, env); };
    const auto import = [&](const char* workbook, const char* map, const char* mode) {
        return cli({QStringLiteral("import"), QStringLiteral("--workbook"),
                    QStringLiteral(OSTREL_TEST_FIXTURES "/import/") + QLatin1String(workbook), QStringLiteral("--map"),
                    QLatin1String(map), QStringLiteral("--mode"), QLatin1String(mode)});
    };
    const auto lastRun = [&] {
        return runCli({QStringLiteral("history"), QStringLiteral("--limit"), QStringLiteral("1")}, {}, env).out.section(u'\t', 0, 0);
    };
    const auto table = [&] {
        return db.text(QStringLiteral("select string_agg(w::text, E'\\n' order by wkid) from hrp_workers w"));
    };

    ASSERT_EQ(import("people.xls", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31", "add").code, 0);
    const QString people = table();
    ASSERT_EQ(import("many.xls", "Workerid=1,Wname=2,DepName=17", "add").code, 0);
    const QString many = lastRun();
    ASSERT_EQ(import("people.xls", "Workerid=1,Wname=2,DepName=17,Skill=2,BaseWage=22", "update").code, 0);
    const QString update = lastRun();
    db.exec(QStringLiteral("update hrp_workers set Remarks='调岗' where Workerid='M0007'"));
    db.exec(QStringLiteral("update hrp_workers set Skill='焊工' where Workerid='W0001'"));
    const QString counter = db.text(QStringLiteral("select avalue from sys_serialno"));

    CliResult r = cli({QStringLiteral("undo"), QStringLiteral("--run"), update});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("第 2 行 工号 W0001：导入后已被修改，未撤销\n"));
    r = cli({QStringLiteral("undo"), QStringLiteral("--run"), many});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("删除 599 人"))) << r.err.toStdString();
    EXPECT_EQ(db.count(QStringLiteral("select count(*) from hrp_workers")), 6);  // the people and M0007
    db.exec(QStringLiteral("delete from hrp_workers where Workerid='M0007'"));
    db.exec(QStringLiteral("update hrp_workers set Skill='编程' where Workerid='W0001'"));
    EXPECT_EQ(table(), people);
    EXPECT_EQ(db.text(QStringLiteral("select avalue from sys_serialno")), counter);
}
