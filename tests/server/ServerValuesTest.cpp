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

namespace {

class ServerValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PG_SERVER();
        db = std::make_unique<ServerDatabase>();
        db->addDepartments();
        db->exec(QStringLiteral("insert into Sys_dept values ('07', 'IT部')"));
        db->writeSettings(dir.path(), PgServer::get()->password);
    }

    TempDir dir;
    std::unique_ptr<ServerDatabase> db;
};

} // namespace

TEST_F(ServerValues, ClerksWorkbookIsStoredAsTheLocalFileStoresIt)
{
    db->addUser(QStringLiteral("ZH"), QStringLiteral("张华"), QStringLiteral("pw"));
    // The login id as typed in lower case finds its user.
    const CliResult r = runCli({QStringLiteral("import"), QStringLiteral("--workbook"),
                                QStringLiteral(OSTREL_TEST_FIXTURES "/import/values.xls"), QStringLiteral("--map"),
                                QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,"
                                               "27,28,29,30,31"),
                                QStringLiteral("--settings-dir"), dir.path(), QStringLiteral("--user"),
                                QStringLiteral("zh"), QStringLiteral("--password-stdin")},
                               "pw\n");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("已导入 3 行，未导入 4 行"))) << r.err.toStdString();
    EXPECT_EQ(db->text(QStringLiteral(
                  "select string_agg(concat_ws(',', workerid, namepy, deptno, birthday, graduatedate, begindate, "
                  "normaldate), ';' order by wkid) from hrp_workers")),
              QStringLiteral("W0001,WX,07,1990-05-12,2012-07-01,2010-03-01,2010-06-01;"
                             "W0003,ZY,07,1990-05-12,2010-03-01,2010-06-01;W0007,ZH,03,2012-07-01"));
    QStringList reasons;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts))
        reasons << line.section(u'\t', 1).section(u' ', 0, 0);
    EXPECT_EQ(reasons, (QStringList{QStringLiteral("工号为：w0001-的已存在，不能导入！"),
                                    QStringLiteral("出生日期「1990-13-45」不是有效日期"),
                                    QStringLiteral("「身份证号码」「银行帐号」以数字格式保存，已丢失位数，请将该列设为文本后重新录入"),
                                    QStringLiteral("基本工资「abc」不是数字")}))
        << r.out.toStdString();
}

// The SQLSTATEs psqlODBC really gives, read through the program's query.
TEST_F(ServerValues, RefusalsOfTheServerReadAsSentences)
{
    ResetGlobalRecords();
    Shell::overrideExecutableDirectory(dir.path());
    TUserDM dm;
    UserDM = &dm;
    dm.DataModuleCreate();
    ASSERT_TRUE(dm.ADOConnection1.connected());
    const auto firstLine = [&dm](const char* sql) {
        Query& q = dm.QryFree;
        q.close();
        q.clear();
        q.add(QString::fromUtf8(sql));
        try {
            q.execute();
        } catch (const DbError& e) {
            return errorText(e).section(u'\n', 0, 0);
        }
        return QStringLiteral("(no error)");
    };
    const struct { const char* sql; const char* sentence; } cases[] = {
        {"insert into hrp_workers (wkid, workerid) values (1, 'A1')", "(no error)"},
        {"insert into hrp_workers (wkid, workerid) values (2, 'a1')", "工号已存在"},
        {"insert into hrp_workers (wkid, workerid, birthday) values (3, 'A3', '1990-13-45')", "日期「1990-13-45」不是有效日期"},
        {"insert into hrp_workers (wkid, workerid, basewage) values (4, 'A4', '面议')", "「面议」不是数字"},
        {"insert into hrp_workers (wkid, workerid) values (5, 'A234567890123456789012345678901')",
         "有一项内容超过数据库列的宽度（30 个字符）"},
        {"update hrp_workers set jobassesx = '' ", "数据库表 Hrp_workers 缺少列 jobassesx"},
        {"drop table sys_dept", "(no error)"},
        {"select DeptNO from Sys_dept", "数据库缺少表 Sys_dept"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstLine(c.sql), QString::fromUtf8(c.sentence)) << c.sql;
    UserDM = nullptr;
    Shell::overrideExecutableDirectory(QString());
}
