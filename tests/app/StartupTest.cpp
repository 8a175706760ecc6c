#include "app/Startup.h"
#include "data/LocalDatabase.h"
#include "data/UserDMUnit.h"
#include "import/WorkerInfoImaport.h"
#include "login/LoginWinUnit.h"
#include "platform/DateFormats.h"
#include "platform/Shell.h"
#include "platform/gui/Application.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui_LoginWinUnit.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application::instance()->resetForTest();
        ResetGlobalRecords();
        Shell::overrideExecutableDirectory(dir.path());
        QDir(dir.path()).mkpath(QStringLiteral("Data"));
        createLocalDatabase(dir.file(QStringLiteral("Data/Wage.VRD")), false);
    }
    void TearDown() override
    {
        setLoginScript({});
        setShowSetConfigHook({});
        Shell::overrideExecutableDirectory(QString());
        Application::instance()->resetForTest();
    }
    void writeSettings()
    {
        QFile f(dir.file(QStringLiteral("MyConnect.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[LocalDB]\r\nDBnames=" + dir.file(QStringLiteral("Data/Wage.VRD")).toUtf8() + "\r\n");
    }
    TempDir dir;
};
} // namespace

TEST_F(StartupTest, CancelledLoginEndsWithoutTheImportWindow)
{
    writeSettings();
    scriptedDialogs().confirmAnswers = {true};
    bool connected = false;
    setLoginScript([&connected](TUserLoginFrm& w) {
        connected = UserDM->ADOConnection1.connected();
        EXPECT_EQ(TSetValue.AppPath, Shell::executableDirectory());
        w.ui()->BtCanCel->click();
    });
    EXPECT_FALSE(RunStartupSequence(*Application::instance()));
    EXPECT_TRUE(connected);
    EXPECT_TRUE(Shell::terminateRequested());
    EXPECT_EQ(WorkerInfoImaportFrm, nullptr);
    EXPECT_EQ(UserDM, nullptr);
}

TEST_F(StartupTest, LoginOpensTheMainWindowUntilItIsClosed)
{
    writeSettings();
    setLoginScript([](TUserLoginFrm& w) { w.ui()->BtOk->click(); });
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&shown] {
        if (WorkerInfoImaportFrm && WorkerInfoImaportFrm->isVisible()) {
            shown = true;
            WorkerInfoImaportFrm->close();
        }
    });
    poll.start(10);
    EXPECT_TRUE(RunStartupSequence(*Application::instance()));
    EXPECT_TRUE(shown);
    EXPECT_EQ(TUser.UserID, "0000");
    EXPECT_EQ(TUser.UserName, "Admin");
}

TEST_F(StartupTest, TerminationDuringTheDataModuleEndsTheLoginAtOnce)
{
    // No settings file and the dialog cancelled: termination is requested,
    // the defaults are used and the login window still runs its handlers.
    int dialogs = 0;
    setShowSetConfigHook([&dialogs] { ++dialogs; return false; });
    DateFormats::setShortDateFormat(QStringLiteral("d/M/yy"));
    bool scripted = false;
    setLoginScript([&scripted](TUserLoginFrm&) { scripted = true; });
    EXPECT_FALSE(RunStartupSequence(*Application::instance()));
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(Shell::terminateRequested());
    EXPECT_EQ(DateFormats::currentShortDateFormat(), "yyyy-MM-dd"); // FormCreate ran
    EXPECT_FALSE(TSetValue.ComputerName.isEmpty());
    EXPECT_EQ(TSetValue.DbFileName, dir.file(QStringLiteral("Data/Wage.VRD")));
    EXPECT_TRUE(QFile::exists(dir.file(QStringLiteral("MyConnect.ini"))));
}

TEST_F(StartupTest, FailedConnectionLeavesOnlyCancel)
{
    QFile f(dir.file(QStringLiteral("MyConnect.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[LocalDB]\r\nDBnames=/nowhere/Wage.VRD\r\n");
    f.close();
    setShowSetConfigHook([] { return false; });
    scriptedDialogs().confirmAnswers = {true};
    setLoginScript([](TUserLoginFrm& w) {
        w.ui()->BtOk->click();
        EXPECT_EQ(w.result(), 0);
        w.ui()->BtCanCel->click();
    });
    EXPECT_FALSE(RunStartupSequence(*Application::instance()));
    ASSERT_FALSE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(scriptedDialogs().boxes[0],
              (RecordedBox{QStringLiteral("连接数据库失败,请检查网络是否联通、网络驱动器映象是否正确！"), QStringLiteral("警告"), MsgIcon::None}));
}

TEST_F(StartupTest, MissingUserTableShowsTheErrorAndTheLoginWaits)
{
    writeSettings();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("drop-users"));
        db.setDatabaseName(dir.file(QStringLiteral("Data/Wage.VRD")));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("drop table Sys_User"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("drop-users"));
    Application::instance()->setTitle(QStringLiteral("Ostrel数据导入管理"));
    scriptedDialogs().confirmAnswers = {true};
    int step = 0;
    setLoginScript([&step](TUserLoginFrm& w) {
        QTimer::singleShot(0, &w, [&w, &step] {
            w.ui()->BtOk->click();
            ++step;
        });
        QTimer::singleShot(20, &w, [&w, &step] {
            EXPECT_EQ(w.result(), 0);
            ++step;
            w.ui()->BtCanCel->click();
        });
    });
    EXPECT_FALSE(RunStartupSequence(*Application::instance()));
    EXPECT_EQ(step, 2);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].caption, "Ostrel数据导入管理");
    EXPECT_EQ(scriptedDialogs().boxes[0].icon, MsgIcon::Error);
    // The sentence first, the database's own text on the next line.
    EXPECT_EQ(scriptedDialogs().boxes[0].text, QStringLiteral("数据库缺少表 Sys_User\nno such table: Sys_User."));
}
