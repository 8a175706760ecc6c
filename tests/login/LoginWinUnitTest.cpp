#include "data/UserDMUnit.h"
#include "login/LoginCheck.h"
#include "login/LoginWinUnit.h"
#include "platform/DateFormats.h"
#include "platform/Shell.h"
#include "platform/gui/Application.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_LoginWinUnit.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

namespace {
const RecordedBox kUnknown{QStringLiteral("不存在该工号的用户!!!"), QStringLiteral("提示"), MsgIcon::Error};
const RecordedBox kWrong{QStringLiteral("密码输入错误!!!"), QStringLiteral("提示"), MsgIcon::Error};

class LoginTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        Application::instance()->resetForTest();
        setLoginScript({});
        setRestartLauncher([](const QString&) {});
        DateFormats::setShortDateFormat(QStringLiteral("yyyy-MM-dd"));
        DateFormats::captureStartupFormat();
    }

    int login(TUserLoginFrm& w, const QString& id, const QString& password)
    {
        w.ui()->LoginName_Edit->setText(id);
        w.ui()->Password_Edit->setText(password);
        w.setResult(0);
        w.FlatButton1Click();
        return w.result();
    }
};
} // namespace

TEST_F(LoginTest, EmptyUserTableLogsInAsAdminWithoutLooking)
{
    TestDatabase db(false);
    TUser.PassWd = QString();
    TUserLoginFrm w;
    EXPECT_EQ(login(w, QString(), QString()), 1);
    EXPECT_EQ(TUser.UserID, "0000");
    EXPECT_EQ(TUser.UserName, "Admin");
    EXPECT_EQ(TUser.PassWd, "");
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
}

TEST_F(LoginTest, UnknownIdAndWrongPasswordKeepTheWindowWaiting)
{
    TestDatabase db(false);
    db.addUser(QStringLiteral("0007"), QStringLiteral("李四"), QStringLiteral("Secret"));
    TUserLoginFrm w;
    EXPECT_EQ(login(w, QStringLiteral("0008"), QStringLiteral("Secret")), 0);
    EXPECT_EQ(login(w, QStringLiteral(" 0007"), QStringLiteral("Secret")), 0); // not trimmed
    EXPECT_EQ(login(w, QStringLiteral("0007"), QStringLiteral("Secret1")), 0);
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{kUnknown, kUnknown, kWrong}));
    EXPECT_EQ(w.ui()->LoginName_Edit->text(), "0007");
    EXPECT_EQ(w.ui()->Password_Edit->text(), "Secret1");
    // Selected: what the clerk types next replaces it.
    EXPECT_EQ(w.ui()->Password_Edit->selectedText(), "Secret1");
    EXPECT_TRUE(TUser.UserID.isEmpty());
}

TEST_F(LoginTest, PasswordsFoldOnlyLatinLetters)
{
    TestDatabase db(false);
    db.addUser(QStringLiteral("0007"), QStringLiteral("李四"), QStringLiteral("Se密cret"));
    TUserLoginFrm w;
    EXPECT_EQ(login(w, QStringLiteral("0007"), QStringLiteral("sE密CRET")), 1);
    EXPECT_EQ(TUser.UserID, "0007");
    EXPECT_EQ(TUser.UserName, "李四");
    EXPECT_EQ(TUser.PassWd, "Se密cret"); // as stored

    EXPECT_TRUE(PasswordsMatch(QStringLiteral("abc"), QStringLiteral("ABC")));
    EXPECT_FALSE(PasswordsMatch(QStringLiteral("é"), QStringLiteral("É")));
    // Two characters whose GBK codes differ only in a second byte a..z / A..Z
    // are different characters: they must not match.
    EXPECT_FALSE(PasswordsMatch(QStringLiteral("乤"), QStringLiteral("丄"))); // 8161 and 8141
    EXPECT_FALSE(PasswordsMatch(QStringLiteral("ab"), QStringLiteral("ab ")));
}

TEST_F(LoginTest, NullOrEmptyStoredPasswordMatchesAnEmptyBox)
{
    TestDatabase db(false);
    db.addUser(QStringLiteral("1"), QStringLiteral("a"), QVariant());
    db.addUser(QStringLiteral("2"), QStringLiteral("b"), QStringLiteral(""));
    TUserLoginFrm w;
    EXPECT_EQ(login(w, QStringLiteral("1"), QString()), 1);
    EXPECT_EQ(login(w, QStringLiteral("2"), QString()), 1);
    EXPECT_EQ(login(w, QStringLiteral("2"), QStringLiteral("x")), 0);
}

TEST_F(LoginTest, ClosedConnectionMakesOkDoNothing)
{
    TestDatabase db(false);
    UserDM->ADOConnection1.setConnected(false);
    TUserLoginFrm w;
    EXPECT_EQ(login(w, QString(), QString()), 0);
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    // A line of its own says why OK does nothing, only while it is so.
    for (bool connected : {false, true}) {
        UserDM->ADOConnection1.setConnected(connected);
        w.FormShow();
        EXPECT_EQ(w.ui()->LblNotConnected->isVisibleTo(&w), !connected);
        EXPECT_EQ(w.ui()->LblNotConnected->text(), "未连接数据库");
    }
}

TEST_F(LoginTest, CreationSetsDateFormatsAndComputerName)
{
    TestDatabase db(false);
    DateFormats::setShortDateFormat(QStringLiteral("d/M/yy"));
    TSetValue.ComputerName.clear();
    TUserLoginFrm w;
    EXPECT_EQ(DateFormats::currentShortDateFormat(), "yyyy-MM-dd");
    EXPECT_FALSE(TSetValue.ComputerName.isEmpty());
    EXPECT_EQ(TSetValue.ComputerName, GetLocalComputerName());
}

TEST_F(LoginTest, EnterMovesToPasswordThenLogsIn)
{
    TestDatabase db(false);
    TUserLoginFrm w;
    w.show();
    w.activateWindow();
    QTest::keyClick(w.ui()->LoginName_Edit, Qt::Key_Return);
    EXPECT_EQ(w.focusWidget(), w.ui()->Password_Edit);
    QTest::keyClick(w.ui()->Password_Edit, Qt::Key_Enter);
    EXPECT_EQ(w.result(), 1);
}

TEST_F(LoginTest, CancelAsksAndOnlyYesCloses)
{
    TestDatabase db(false);
    TUserLoginFrm w;
    w.ui()->LoginName_Edit->setText(QStringLiteral("0007"));
    scriptedDialogs().confirmAnswers = {false};
    w.FlatButton2Click();
    EXPECT_EQ(w.result(), 0);
    EXPECT_EQ(w.ui()->LoginName_Edit->text(), "0007");
    scriptedDialogs().confirmAnswers = {true};
    w.FlatButton2Click();
    EXPECT_EQ(w.result(), 2);
    EXPECT_EQ(scriptedDialogs().confirmations, (QStringList{QStringLiteral("真的要退出吗？"), QStringLiteral("真的要退出吗？")}));
}

TEST_F(LoginTest, ShowLoginReturnsTrueOnlyForOk)
{
    TestDatabase db(false);
    setLoginScript([](TUserLoginFrm& w) { w.ui()->BtOk->click(); });
    EXPECT_TRUE(ShowLogin());
    scriptedDialogs().confirmAnswers = {true};
    setLoginScript([](TUserLoginFrm& w) { w.ui()->BtCanCel->click(); });
    EXPECT_FALSE(ShowLogin());
}

TEST_F(LoginTest, ShowClearsBoxesAndLoadsBannerQuietly)
{
    TestDatabase db(false);
    TSetValue.AppPath = db.dir(); // no image folder there
    setLoginScript([](TUserLoginFrm& w) {
        EXPECT_TRUE(w.ui()->LoginName_Edit->text().isEmpty());
        EXPECT_EQ(w.size(), QSize(330, 210));
        EXPECT_TRUE(w.ui()->Image1->pixmap().isNull());
        w.done(2);
    });
    EXPECT_FALSE(ShowLogin());
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());

    QDir(db.dir()).mkpath(QStringLiteral("image"));
    QFile::copy(QStringLiteral(OSTREL_BIN_DIR "/image/StartTop.jpg"), db.dir() + QStringLiteral("/image/StartTop.jpg"));
    setLoginScript([](TUserLoginFrm& w) {
        EXPECT_FALSE(w.ui()->Image1->pixmap().isNull());
        w.done(2);
    });
    EXPECT_FALSE(ShowLogin());

    QFile junk(db.dir() + QStringLiteral("/image/StartTop.jpg"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write("not a picture");
    junk.close();
    setLoginScript([](TUserLoginFrm& w) {
        EXPECT_TRUE(w.ui()->Image1->pixmap().isNull());
        w.done(2);
    });
    EXPECT_FALSE(ShowLogin());
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
}

TEST_F(LoginTest, ShortStartupFormatRestartsOnceTheNewFormatHolds)
{
    TestDatabase db(false);
    DateFormats::setShortDateFormat(QStringLiteral("yy/M/d"));
    DateFormats::captureStartupFormat();
    QStringList started;
    setRestartLauncher([&started](const QString& exe) { started << exe; });
    bool waited = false;
    setLoginScript([&waited](TUserLoginFrm&) { waited = true; });
    EXPECT_FALSE(ShowLogin());
    EXPECT_EQ(started, QStringList{Shell::executablePath()});
    EXPECT_TRUE(Shell::terminateRequested());
    EXPECT_EQ(DateFormats::currentShortDateFormat(), "yyyy-MM-dd");
}

TEST_F(LoginTest, NoRestartWhenTheFormatCannotBeWritten)
{
    TestDatabase db(false);
    DateFormats::setShortDateFormat(QStringLiteral("yy/M/d"));
    DateFormats::captureStartupFormat();
    // A folder where the file should be: every write fails.
    const QString file = DateFormats::settingsFilePath();
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    QStringList started;
    setRestartLauncher([&started](const QString& exe) { started << exe; });
    setLoginScript([](TUserLoginFrm& w) { w.done(2); });
    EXPECT_FALSE(ShowLogin());
    EXPECT_TRUE(started.isEmpty());
    EXPECT_FALSE(Shell::terminateRequested());
    QDir(file).removeRecursively();
}

TEST_F(LoginTest, LongEnoughFormatInAnotherOrderCausesNoRestart)
{
    TestDatabase db(false);
    DateFormats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    DateFormats::captureStartupFormat();
    QStringList started;
    setRestartLauncher([&started](const QString& exe) { started << exe; });
    setLoginScript([](TUserLoginFrm& w) { w.done(2); });
    EXPECT_FALSE(ShowLogin());
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(DateFormats::currentShortDateFormat(), "yyyy-MM-dd");
}

TEST_F(LoginTest, EscapeAndCloseDoNotLeaveTheWindow)
{
    TestDatabase db(false);
    int steps = 0;
    setLoginScript([&steps](TUserLoginFrm& w) {
        QTest::keyClick(&w, Qt::Key_Escape);
        w.close();
        EXPECT_TRUE(w.isVisible());
        ++steps;
        scriptedDialogs().confirmAnswers = {true};
        w.ui()->BtCanCel->click();
    });
    EXPECT_FALSE(ShowLogin());
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(scriptedDialogs().confirmations.size(), 1);
}
