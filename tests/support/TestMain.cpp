#include "import/RememberedMap.h"
#include "import/window/ValidationMarks.h"
#include "platform/DateFormats.h"
#include "platform/Shell.h"
#include "login/LoginWinUnit.h"
#include "platform/gui/Application.h"
#include "support/ScriptedDialogs.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// Every test starts with a clean dialog script, no pending termination and
// the executable "placed" in a fresh folder of its own.
class CleanState : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        scriptedDialogs().reset();
        Shell::resetTerminateRequest();
        QFile::remove(RememberedMap::filePath()); // windows start with empty boxes
        QFile::remove(checkSettingsPath());       // and the checks' settings off
    }
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each test process gets configuration files of its own, away from the
    // real user's: tests running side by side change the date format.
    // (Qt's test mode would put every process in one shared folder.)
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());

    Application app(argc, argv);
    Dialogs::install(&scriptedDialogs());
    // Dates read as the login leaves them, and no test ever starts a process.
    DateFormats::setShortDateFormat(QStringLiteral("yyyy-MM-dd"));
    DateFormats::captureStartupFormat();
    setRestartLauncher([](const QString&) {});
    ::testing::UnitTest::GetInstance()->listeners().Append(new CleanState);
    return RUN_ALL_TESTS();
}
