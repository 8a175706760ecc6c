// The program in server mode against a live PostgreSQL server through its
// ODBC driver: start-up connection, login, a whole import from the command
// line, and the connection-failure path.

#include "data/UserDMUnit.h"
#include "import/ImportRow.h"
#include "login/LoginCheck.h"
#include "platform/Errors.h"
#include "platform/Shell.h"
#include "server/ServerTestSupport.h"
#include "services/userGlobal.h"
#include "support/RunCli.h"
#include "server/LoopbackListener.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

namespace {

const QString kCli = QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli");
const QString kFullMap = QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31");
const QString kWarning = QStringLiteral("连接数据库失败,请检查网络是否联通、网络驱动器映象是否正确！");

QString fixture(const char* name)
{
    return QStringLiteral(OSTREL_TEST_FIXTURES "/import/") + QString::fromUtf8(name);
}


CliResult importCli(const QString& settingsDir, const char* workbook, const QByteArray& password)
{
    return runCli({QStringLiteral("import"), QStringLiteral("--workbook"), fixture(workbook), QStringLiteral("--map"),
                   kFullMap, QStringLiteral("--settings-dir"), settingsDir, QStringLiteral("--user"),
                   QStringLiteral("0001"), QStringLiteral("--password-stdin")},
                  password + '\n');
}

// The data module of a start-up with the executable in a folder of its own.
class ServerStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PG_SERVER();
        db = std::make_unique<ServerDatabase>();
        ResetGlobalRecords();
        Shell::overrideExecutableDirectory(dir.path());
        setShowSetConfigHook([this] {
            ++dialogs;
            return dialog ? dialog() : false;
        });
    }
    void TearDown() override
    {
        UserDM = nullptr;
        setShowSetConfigHook(nullptr);
        Shell::overrideExecutableDirectory(QString());
        ResetGlobalRecords();
    }

    TempDir dir;
    std::unique_ptr<ServerDatabase> db;
    int dialogs = 0;
    std::function<bool()> dialog;
};

} // namespace

TEST_F(ServerStartup, ConnectsAndLogsInAgainstSysUser)
{
    db->writeSettings(dir.path(), PgServer::get()->password);
    TUserDM dm;
    UserDM = &dm;
    dm.DataModuleCreate();
    ASSERT_TRUE(dm.ADOConnection1.connected());
    EXPECT_EQ(dm.ADOConnection1.driverName(), QStringLiteral("QODBC"));
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(TSetValue.ConnectOption, 0);

    // An empty Sys_User lets anyone in as 0000/Admin.
    EXPECT_EQ(CheckLogin(QStringLiteral("x"), QStringLiteral("y")), LoginOutcome::Accepted);
    EXPECT_EQ(TUser.UserID, QStringLiteral("0000"));

    db->addUser(QStringLiteral("0001"), QStringLiteral("王经理"), QStringLiteral("Demo"));
    EXPECT_EQ(CheckLogin(QStringLiteral("0001"), QStringLiteral("demo")), LoginOutcome::Accepted);
    EXPECT_EQ(TUser.UserName, QStringLiteral("王经理"));
    EXPECT_EQ(CheckLogin(QStringLiteral("0001"), QStringLiteral("nope")), LoginOutcome::WrongPassword);
    EXPECT_EQ(CheckLogin(QStringLiteral("0002"), QStringLiteral("demo")), LoginOutcome::UnknownUser);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 2);
    EXPECT_EQ(scriptedDialogs().boxes[0].text, QStringLiteral("密码输入错误!!!"));
    EXPECT_EQ(scriptedDialogs().boxes[1].text, QStringLiteral("不存在该工号的用户!!!"));
}

// The import under the driver's defaults and with parameters sent as
// literals in the statement text.
class ServerImport : public ServerStartup, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        ServerStartup::SetUp();
        if (IsSkipped())
            return;
        db->addDepartments();
        db->writeSettings(dir.path(), PgServer::get()->password, QString(), QString(), QString::fromUtf8(GetParam()));
    }
};

INSTANTIATE_TEST_SUITE_P(ServerDriverOptions, ServerImport, ::testing::Values("", "UseServerSidePrepare=0;"),
                         [](const auto& info) { return info.index == 0 ? std::string("Defaults") : std::string("Literals"); });

TEST_P(ServerImport, CommandLineImportConvertsOnTheServer)
{
    db->addUser(QStringLiteral("0001"), QStringLiteral("王经理"), QStringLiteral("demo"));

    CliResult r = importCli(dir.path(), "people.xls", "demo");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("已导入 5 人，未导入 0 人"))) << r.err.toStdString();
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers")), 5);

    // The counter row appeared at the first employee and the server raised it.
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from sys_serialno")), 1);
    EXPECT_EQ(db->count(QStringLiteral("select avalue from sys_serialno where serialname='WKID'")), 6);
    EXPECT_EQ(db->text(QStringLiteral("select string_agg(wkid::text, ',' order by workerid) from hrp_workers")),
              QStringLiteral("1,2,3,4,5"));

    // Dates and the wage arrive as cell text and are typed by the server.
    EXPECT_EQ(db->text(QStringLiteral("select to_char(birthday,'YYYY-MM-DD') || '|' || to_char(begindate,'YYYY-MM-DD') "
                                      "|| '|' || basewage::text from hrp_workers where workerid='W0001'")),
              QStringLiteral("1980-01-01|2010-03-01|3500.00"));
    EXPECT_EQ(db->text(QStringLiteral("select pg_typeof(birthday)::text || ',' || pg_typeof(basewage)::text "
                                      "from hrp_workers limit 1")),
              QStringLiteral("date,numeric"));
    // Empty birthday is null, empty wage 0; the writer's fixed values.
    EXPECT_EQ(db->text(QStringLiteral("select (birthday is null)::text || '|' || basewage::text from hrp_workers "
                                      "where workerid='W0005'")),
              QStringLiteral("true|0.00"));
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers where workstatus='在职' and email='' "
                                       "and leye is null and reye is null and bodyhigh is null "
                                       "and bodyweight is null and familytel is null and remarks=''")),
              5);
    EXPECT_EQ(db->text(QStringLiteral("select namepy || '|' || deptno || '|' || wname from hrp_workers "
                                      "where workerid='W0001'")),
              QStringLiteral("ZSF|01|张三丰"));
    EXPECT_EQ(db->text(QStringLiteral("select deptno from hrp_workers where workerid='W0003'")), QStringLiteral("03"));

    // Again: every row is a duplicate, refused and listed, the counter untouched.
    r = importCli(dir.path(), "people.xls", "demo");
    EXPECT_EQ(r.out.count(u'\n'), 5);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("W0001-张三丰-人事部-440102198001010000\t第 2 行 工号已存在（A列「W0001」）\n")))
        << r.out.toStdString();
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers")), 5);
    EXPECT_EQ(db->count(QStringLiteral("select avalue from sys_serialno")), 6);
}

TEST_P(ServerImport, ValuesTheServerRejectsAreListed)
{

    // bad-values: row 2 has a birthday "不是日期", row 3 a wage "面议".
    const CliResult r = importCli(dir.path(), "bad-values.xls", QByteArray());
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("已导入 1 人，未导入 2 人"))) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("W0002-"))) << r.out.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("W0003-"))) << r.out.toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("不是日期"))) << r.out.toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("面议"))) << r.out.toStdString();
    EXPECT_EQ(db->text(QStringLiteral("select string_agg(workerid, ',') from hrp_workers")), QStringLiteral("W0001"));
    // The date that is no date is refused before the writer; the refused
    // insert of the wage had already drawn its key.
    EXPECT_EQ(db->count(QStringLiteral("select avalue from sys_serialno")), 3);
}

TEST_P(ServerImport, HostileTextIsStoredAsItStands)
{
    const CliResult r = importCli(dir.path(), "hostile.xls", QByteArray());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers")), 3);
    EXPECT_EQ(db->text(QStringLiteral("select wname from hrp_workers where workerid='W0001'")),
              QStringLiteral("O'Brien \"Bob\"; drop"));
    EXPECT_EQ(db->text(QStringLiteral("select remarks from hrp_workers where workerid='W0002'")),
              QStringLiteral("'; drop table Hrp_workers; --"));
    EXPECT_EQ(db->text(QStringLiteral("select contactaddr from hrp_workers where workerid='W0003'")),
              QStringLiteral("地址\t带\x01控制"));
}

namespace {

// A TCP port on the loopback that takes connections and never says a word.
class SilentServer {
public:
    SilentServer()
    {
        fd_ = listenOnLoopback(8, port_);
    }
    ~SilentServer() { ::close(fd_); }
    QString port() const { return QString::number(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A loopback port that nothing listens on.
QString closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return QString::number(ntohs(a.sin_port));
}

} // namespace

// Warning box, settings dialog, one more attempt whose error carries the
// driver's text to the caller.
TEST_F(ServerStartup, FailurePathForAWrongPassword)
{
    db->writeSettings(dir.path(), QStringLiteral("wrong"));
    dialog = [] { return true; };
    TUserDM dm;
    try {
        dm.DataModuleCreate();
        FAIL() << "the second attempt should fail";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("password authentication failed"))) << e.text().toStdString();
    }
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    // The warning, and under it the driver's reason.
    EXPECT_TRUE(scriptedDialogs().boxes[0].text.startsWith(kWarning + QStringLiteral("\n")));
    EXPECT_TRUE(scriptedDialogs().boxes[0].text.contains(QStringLiteral("password authentication failed")));
    EXPECT_FALSE(dm.ADOConnection1.connected());
}

TEST_F(ServerStartup, DialogFixesTheSettingsForTheSecondAttempt)
{
    db->writeSettings(dir.path(), QStringLiteral("wrong"), QString(), closedPort());
    dialog = [this] {
        db->writeSettings(dir.path(), PgServer::get()->password);
        return true;
    };
    TUserDM dm;
    dm.DataModuleCreate();
    EXPECT_TRUE(dm.ADOConnection1.connected());
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
}

TEST_F(ServerStartup, NoServerOnThePortAndDialogCancelled)
{
    db->writeSettings(dir.path(), PgServer::get()->password, QString(), closedPort());
    TUserDM dm;
    QElapsedTimer t;
    t.start();
    dm.DataModuleCreate();  // the cancelled dialog ends it quietly
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].caption, QStringLiteral("警告"));
    EXPECT_FALSE(dm.ADOConnection1.connected());

    // The login window then finds the connection closed.
    UserDM = &dm;
    EXPECT_EQ(CheckLogin(QStringLiteral("0001"), QString()), LoginOutcome::NotConnected);
}

TEST_F(ServerStartup, SilentServerGivesUpWithinTheLoginTimeout)
{
    SilentServer silent;
    db->writeSettings(dir.path(), PgServer::get()->password, QString(), silent.port());
    dialog = [] { return true; };
    TUserDM dm;
    QElapsedTimer t;
    t.start();
    QString error;
    try {
        dm.DataModuleCreate();
    } catch (const DbError& e) {
        error = e.text();
    }
    const qint64 ms = t.elapsed();
    EXPECT_TRUE(error.contains(QLatin1String("timeout"), Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(scriptedDialogs().boxes.size(), 1);
    // Two attempts of about five seconds each, not the driver's own minutes.
    EXPECT_GE(ms, 2 * 4000) << error.toStdString();
    EXPECT_LT(ms, 2 * 7000) << error.toStdString();
}

// Passwords with the characters psqlODBC would decode in an unbraced value
// (and those that end or open one) reach the server as typed, from the
// settings file through the provider string to the driver.
TEST_F(ServerStartup, PasswordsOfAnyCharactersLogIn)
{
    const PgServer& s = *PgServer::get();
    const QStringList passwords = {QStringLiteral("a+b"), QStringLiteral("100%"), QStringLiteral("p;x"),
                                   QStringLiteral("{y}"), QStringLiteral("%2B}z{")};
    for (qsizetype k = 0; k < passwords.size(); ++k) {
        const QString& password = passwords[k];
        SCOPED_TRACE(password.toStdString());
        const QString role = QStringLiteral("pw_%1_%2").arg(::getpid()).arg(k);
        QString literal = password;
        literal.replace(u'\'', QStringLiteral("''"));
        db->exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(role, literal));
        db->exec(QStringLiteral("GRANT ALL ON ALL TABLES IN SCHEMA public TO %1").arg(role));
        {
            QFile f(dir.file(QStringLiteral("MyConnect.ini")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QStringLiteral("[Connect]\nConnectOption=0\n[DataBase]\nServerName=%1\nDataBaseName=%2\n"
                                   "UserName=%3\nPassword=%4\nDriver=PostgreSQL Unicode\nOptions=%5\n")
                        .arg(s.host, db->name(), role, password, pgOptions(s.port))
                        .toUtf8());
        }
        {
            TUserDM dm;
            EXPECT_NO_THROW(dm.DataModuleCreate());
            EXPECT_TRUE(dm.ADOConnection1.connected());
            EXPECT_TRUE(scriptedDialogs().boxes.isEmpty()) << scriptedDialogs().boxes.value(0).text.toStdString();
            scriptedDialogs().reset();
        }
        // The server ends a closed session's backend a moment later; until
        // then the database cannot be dropped by a role that is not its.
        QElapsedTimer gone;
        gone.start();
        while (db->count(QStringLiteral("select count(*) from pg_stat_activity where usename='%1'").arg(role)) > 0
               && gone.elapsed() < 5000)
            QThread::msleep(20);
        db->exec(QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %1").arg(role));
        db->exec(QStringLiteral("DROP ROLE %1").arg(role));
    }
    EXPECT_EQ(dialogs, 0);
}
