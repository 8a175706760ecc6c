// The check on a live PostgreSQL, which ends a transaction at the first
// failed statement: it still goes through every row, lists what the import
// then refuses, and leaves the tables and the counter as they were.

#include "server/ServerTestSupport.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(ServerCheck, RefusesWhatTheImportRefusesAndChangesNothing)
{
    REQUIRE_PG_SERVER();
    TempDir dir;
    ServerDatabase db;
    db.addDepartments();
    db.exec(QStringLiteral("insert into Sys_dept values ('07', 'IT部')"));
    db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid, Wname) values (100, 'W0003', '先到')"));
    db.exec(QStringLiteral("insert into Sys_SerialNo(SerialName, AValue) values ('WKID', 101)"));
    db.writeSettings(dir.path(), PgServer::get()->password);
    const auto state = [&db] {
        return db.text(QStringLiteral("select concat(count(*), '/', max(wkid)) from hrp_workers")) + u'#'
            + db.text(QStringLiteral("select avalue from sys_serialno"));
    };
    for (const char* workbook : {"repeat-inside.xls", "values.xls"}) {
        SCOPED_TRACE(workbook);
        QStringList args{QStringLiteral("import"), QStringLiteral("--workbook"),
                         QStringLiteral(OSTREL_TEST_FIXTURES "/import/") + QLatin1String(workbook),
                         QStringLiteral("--map"), QStringLiteral("auto"), QStringLiteral("--settings-dir"), dir.path()};
        const QString before = state();
        const CliResult check = runCli(args + QStringList{QStringLiteral("--check")});
        EXPECT_EQ(check.code, 3) << check.err.toStdString();
        EXPECT_TRUE(check.err.contains(QStringLiteral("提示: 检查完成：可导入 "))) << check.err.toStdString();
        EXPECT_EQ(state(), before);
        const CliResult real = runCli(args);
        EXPECT_EQ(real.code, 3) << real.err.toStdString();
        EXPECT_FALSE(check.out.isEmpty());
        EXPECT_EQ(real.out, check.out);
    }
}
