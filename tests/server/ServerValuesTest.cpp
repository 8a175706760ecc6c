// Values on a live PostgreSQL made from sql/postgresql.sql: keys without
// regard to case, dates in the forms servers read, lost digits refused,
// initials of rare characters, and the server's refusals in words.

#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "platform/Shell.h"
#include "platform/db/Query.h"
#include "server/ServerTestSupport.h"
#include "services/userGlobal.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(ServerValues, ClerksWorkbookAndTheServersRefusals)
{
    REQUIRE_PG_SERVER();
    TempDir dir;
    ServerDatabase db;
    db.addDepartments();
    db.exec(QStringLiteral("insert into Sys_dept values ('07', 'IT部')"));
    db.addUser(QStringLiteral("ZH"), QStringLiteral("张华"), QStringLiteral("pw"));
    db.writeSettings(dir.path(), PgServer::get()->password);

    // The login id typed in lower case finds its user.
    const CliResult r = runCli({QStringLiteral("import"), QStringLiteral("--workbook"),
                                QStringLiteral(OSTREL_TEST_FIXTURES "/import/values.xls"), QStringLiteral("--map"),
                                QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,"
                                               "27,28,29,30,31"),
                                QStringLiteral("--settings-dir"), dir.path(), QStringLiteral("--user"),
                                QStringLiteral("zh"), QStringLiteral("--password-stdin")},
                               "pw\n");
    ASSERT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_EQ(db.text(QStringLiteral(
                  "select string_agg(concat_ws(',', workerid, namepy, deptno, birthday, graduatedate, begindate, "
                  "normaldate), ';' order by wkid) from hrp_workers")),
              QStringLiteral("W0001,WX,07,1990-05-12,2012-07-01,2010-03-01,2010-06-01;"
                             "W0003,ZY,07,1990-05-12,2010-03-01,2010-06-01;W0007,ZH,03,2012-07-01"));
    QStringList reasons;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts))
        reasons << line.section(u'\t', 1).section(QStringLiteral(" ERROR"), 0, 0);
    EXPECT_EQ(reasons, (QStringList{QStringLiteral("第 3 行 工号与第 2 行重复（A列「w0001」）"),
                                    QStringLiteral("第 5 行 出生日期(F列)「1990-13-45」不是有效日期"),
                                    QStringLiteral("第 6 行 「身份证号码」「银行帐号」以数字格式保存，"
                                                   "已丢失位数，请将该列设为文本后重新录入（I列「4.4010219900512E+17」）"),
                                    QStringLiteral("第 7 行 基本工资「abc」不是数字（V列「abc」）")}))
        << r.out.toStdString();

    // The SQLSTATEs psqlODBC really gives, through the program's query.
    ResetGlobalRecords();
    Shell::overrideExecutableDirectory(dir.path());
    TUserDM dm;
    UserDM = &dm;
    dm.DataModuleCreate();
    ASSERT_TRUE(dm.ADOConnection1.connected());
    const struct { const char* sql; const char* sentence; } cases[] = {
        {"insert into hrp_workers (wkid, workerid) values (11, 'a1')", nullptr},
        {"insert into hrp_workers (wkid, workerid) values (12, 'A1')", "工号已存在"},
        {"insert into hrp_workers (wkid, workerid, basewage) values (13, 'A3', '面议')", "「面议」不是数字"},
        {"insert into hrp_workers (wkid, workerid) values (14, 'A234567890123456789012345678901')",
         "有一项内容超过数据库列的宽度（30 个字符）"},
        {"update hrp_workers set jobassesx = ''", "数据库表 Hrp_workers 缺少列 jobassesx"},
        {"drop table sys_dept", nullptr},
        {"select DeptNO from Sys_dept", "数据库缺少表 Sys_dept"},
    };
    for (const auto& c : cases) {
        QString got;
        try {
            dm.QryFree.clear();
            dm.QryFree.add(QString::fromUtf8(c.sql));
            dm.QryFree.execute();
        } catch (const DbError& e) {
            got = errorText(e).section(u'\n', 0, 0);
        }
        EXPECT_EQ(got, QString::fromUtf8(c.sentence)) << c.sql;
    }
    UserDM = nullptr;
    Shell::overrideExecutableDirectory(QString());
}
