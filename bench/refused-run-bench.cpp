// The window's 检查 and 数据导入 of a workbook whose every row is refused
// (re-importing a finished file), against the same run over a plain view as
// the command-line tool does it. Prints the quickest of four rounds each way
// and the window's first events after the end (run with
// QT_QPA_PLATFORM=offscreen). The window should stay within 1.5 times the tool.
#include "import/ImportCheck.h"
#include "import/ImportTestSupport.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "import/window/StoredWorkbook.h"
#include "platform/DateFormats.h"
#include "platform/gui/Application.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>
#include <memory>

namespace {
constexpr int kRows = 65535;
constexpr int kRounds = 4;

// The tool's way: the run over a plain view.
qint64 toolRun(const QString& path, bool check)
{
    scriptedDialogs().reset();
    scriptedDialogs().checkAnswers = {true}; // "本次导入不再提示重复工号"
    RecordingView view;
    mapStoredWorkbook([&view](int k, const QString& t) { view.boxes[size_t(k - 1)] = t; });
    view.path = path;
    ImportRow row;
    WorkerWriter writer;
    QElapsedTimer timer;
    timer.start();
    if (check) {
        ImportCheck run(view, row);
        run.run();
    } else {
        ImportRun run(view, row, writer);
        run.SBSaveClick();
    }
    return timer.elapsed();
}

// The window's way, shown, the preview there before the run as a clerk has it.
struct WindowTimes {
    qint64 runMs, afterMs;
    int refused;
};
WindowTimes windowRun(const QString& path, bool check)
{
    scriptedDialogs().reset();
    auto w = std::make_unique<TWorkerInfoImaportFrm>();
    w->resize(1240, 680);
    w->show();
    mapStoredWorkbook([&w](int k, const QString& t) { w->Edt(k)->setText(t); });
    scriptedDialogs().fileAnswers = {path};
    w->BtSelectClick();
    scriptedDialogs().reset();
    scriptedDialogs().checkAnswers = {true};
    QElapsedTimer timer;
    timer.start();
    (check ? w->ui()->SBCheck : w->ui()->SBSave)->click();
    const qint64 runMs = timer.restart();
    QCoreApplication::processEvents();
    return {runMs, timer.elapsed(), w->notImportedModel().rowCount()};
}
} // namespace

int main(int argc, char** argv)
{
    // Settings and records of its own, away from the user's.
    const QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toUtf8());
    Application app(argc, argv);
    Dialogs::install(&scriptedDialogs());
    DateFormats::setShortDateFormat(QStringLiteral("yyyy-MM-dd"));
    DateFormats::captureStartupFormat();
    TestDatabase db(false);
    const QString path = writeStoredWorkbook(dir.path(), db, kRows);
    for (const bool check : {true, false}) {
        qint64 tool = std::numeric_limits<qint64>::max(), window = tool, after = tool;
        int refused = 0;
        for (int round = 0; round < kRounds; ++round) {
            tool = std::min(tool, toolRun(path, check));
            const WindowTimes w = windowRun(path, check);
            window = std::min(window, w.runMs);
            after = std::min(after, w.afterMs);
            refused = w.refused;
        }
        std::printf("%s of %d refused rows (%d listed): window %lld ms, tool %lld ms (%.2f×), first events after %lld ms\n",
                    check ? "检查" : "数据导入", kRows, refused, qint64(window), qint64(tool),
                    double(window) / double(std::max<qint64>(tool, 1)), qint64(after));
    }
    return 0;
}
