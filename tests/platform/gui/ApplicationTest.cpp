#include "platform/Errors.h"
#include "platform/Shell.h"
#include "platform/gui/Application.h"
#include "support/ScriptedDialogs.h"

#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app().resetForTest();
        app().setTitle(QStringLiteral("Ostrel数据导入管理"));
    }
    void TearDown() override { app().resetForTest(); }
    static Application& app() { return *Application::instance(); }
};

class ShowCounter : public QDialog {
public:
    int shows = 0;
protected:
    void showEvent(QShowEvent* e) override
    {
        ++shows;
        QDialog::showEvent(e);
    }
};
} // namespace

TEST_F(ApplicationTest, FullStopIsAddedAfterTextsEndingAboveIt)
{
    EXPECT_EQ(Application::withFullStop(QStringLiteral("failed!")), "failed!");
    EXPECT_EQ(Application::withFullStop(QStringLiteral("failed.")), "failed.");
    EXPECT_EQ(Application::withFullStop(QStringLiteral("failed")), "failed.");
    EXPECT_EQ(Application::withFullStop(QStringLiteral("code 7")), "code 7.");
    EXPECT_EQ(Application::withFullStop(QStringLiteral("数据库错误")), "数据库错误.");
    EXPECT_EQ(Application::withFullStop(QStringLiteral("(x)")), "(x)");
    EXPECT_EQ(Application::withFullStop(QString()), "");
}

TEST_F(ApplicationTest, NotifyTurnsAnEscapingErrorIntoTheErrorBox)
{
    struct Thrower : QObject {
        bool event(QEvent* e) override
        {
            if (e->type() == QEvent::User)
                throw Error(QStringLiteral("磁盘已满"));
            return QObject::event(e);
        }
    } thrower;
    QEvent ev(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &ev);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0], (RecordedBox{QStringLiteral("磁盘已满."), QStringLiteral("Ostrel数据导入管理"), MsgIcon::Error}));
}

TEST_F(ApplicationTest, CreationHandlerErrorsAreReportedAndCreationGoesOn)
{
    bool after = false;
    app().runCreationHandler([] { throw Error(QStringLiteral("Unable to write to /x/MyConnect.ini")); });
    after = true;
    EXPECT_TRUE(after);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].text, "Unable to write to /x/MyConnect.ini.");
}

TEST_F(ApplicationTest, TerminateEndsAWaitingModalWithCancel)
{
    ShowCounter dialog;
    QTimer::singleShot(10, [] { Shell::requestTerminate(); });
    EXPECT_EQ(app().execModal(dialog), 2);
    EXPECT_TRUE(app().terminated());
}

TEST_F(ApplicationTest, ModalStartedAfterTerminateEndsAtOnceAfterItsShowHandlers)
{
    app().Terminate();
    ShowCounter dialog;
    EXPECT_EQ(app().execModal(dialog), 2);
    EXPECT_EQ(dialog.shows, 1);
}

TEST_F(ApplicationTest, RunReturnsAtOnceWhenTerminationWasRequested)
{
    QWidget main;
    app().registerForm(&main);
    app().Terminate();
    app().Run();
    EXPECT_FALSE(main.isVisible());
}

TEST_F(ApplicationTest, FirstFormBecomesTheMainWindowAndTerminateEndsTheLoop)
{
    QWidget first, second;
    app().registerForm(&first);
    app().registerForm(&second);
    EXPECT_EQ(app().mainForm(), &first);
    QTimer::singleShot(20, [] { Application::instance()->Terminate(); });
    app().Run();
    EXPECT_TRUE(first.isVisible());
}
