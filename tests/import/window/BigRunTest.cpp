#include "import/ImportCheck.h"
#include "import/ImportTestSupport.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <limits>
#include <memory>

#include <gtest/gtest.h>

namespace {
constexpr int kRows = 65535;
constexpr double kWindowOverTool = 1.5;
constexpr int kAttempts = 4;

// A workbook whose every row is already stored: an import refuses all of
// them ("工号已存在"), as re-importing a finished file does.
QString writeStoredWorkbook(const TempDir& dir, TestDatabase& db)
{
    db.addDepartment(QStringLiteral("01"), QStringLiteral("人事部"));
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                           "insert into Hrp_workers(Wkid, Workerid) select i, printf('W%05d', i) from n")
                .arg(kRows));
    QByteArray csv = "工号,姓名,部门\n";
    csv.reserve(kRows * 24);
    for (int i = 1; i <= kRows; ++i)
        csv += QStringLiteral("W%1,员工%2,人事部\n").arg(i, 5, 10, QChar(u'0')).arg(i).toUtf8();
    const QString path = dir.file(QStringLiteral("stored.csv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(csv);
    return path;
}

void mapThree(std::function<void(int, const QString&)> set)
{
    set(1, QStringLiteral("1"));
    set(2, QStringLiteral("2"));
    set(17, QStringLiteral("3"));
}
} // namespace

// The window's check and import of a workbook whose every row is refused
// take no more than half again the command-line tool's run over the same
// database; the window keeps handling events meanwhile, and the first event
// after the end is handled at once.
TEST(ImportWindowScaleTest, EveryRowRefusedGoesAtTheToolsPace)
{
    const TempDir dir;
    TestDatabase db(false);
    const QString path = writeStoredWorkbook(dir, db);

    struct Pass {
        const char* name;
        bool check;
    };
    // Each way four times, the quickest counting: a neighbour's build on the
    // same cores should not decide.
    for (const Pass pass : {Pass{"检查", true}, Pass{"数据导入", false}}) {
        qint64 toolMs = std::numeric_limits<qint64>::max(), windowMs = toolMs, afterMs = toolMs;
        int rounds = 0;
        std::unique_ptr<TWorkerInfoImaportFrm> window;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            // The tool's way: the run over a plain view.
            scriptedDialogs().reset();
            scriptedDialogs().checkAnswers = {true}; // "本次导入不再提示重复工号"
            RecordingView view;
            mapThree([&view](int k, const QString& t) { view.boxes[size_t(k - 1)] = t; });
            view.path = path;
            ImportRow row;
            WorkerWriter writer;
            QElapsedTimer timer;
            timer.start();
            int toolRefused = 0;
            if (pass.check) {
                ImportCheck check(view, row);
                ASSERT_EQ(check.run(), RunEnd::Succeeded);
                toolRefused = check.lastRun().notImported();
            } else {
                ImportRun run(view, row, writer);
                ASSERT_EQ(run.SBSaveClick(), RunEnd::Succeeded);
                toolRefused = run.notImported();
            }
            toolMs = std::min(toolMs, std::max<qint64>(timer.elapsed(), 1));
            ASSERT_EQ(toolRefused, kRows) << pass.name;

            // The window's way, shown, counting rounds of its event loop.
            scriptedDialogs().reset();
            scriptedDialogs().checkAnswers = {true};
            window = std::make_unique<TWorkerInfoImaportFrm>();
            TWorkerInfoImaportFrm& w = *window;
            w.resize(1240, 680);
            w.show();
            mapThree([&w](int k, const QString& t) { w.Edt(k)->setText(t); });
            // Chosen as a clerk chooses it: the preview is there before the run.
            scriptedDialogs().fileAnswers = {path};
            w.BtSelectClick();
            scriptedDialogs().reset();
            scriptedDialogs().checkAnswers = {true};
            rounds = 0;
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] { ++rounds; });
            tick.start(0);
            timer.restart();
            (pass.check ? w.ui()->SBCheck : w.ui()->SBSave)->click();
            windowMs = std::min(windowMs, timer.elapsed());
            timer.restart();
            QCoreApplication::processEvents();
            afterMs = std::min(afterMs, timer.elapsed());
            tick.stop();
        }
        TWorkerInfoImaportFrm& w = *window;
        EXPECT_EQ(w.notImportedModel().rowCount(), kRows) << pass.name;
        EXPECT_EQ(w.notImportedModel().line(kRows - 1).sheetRow, kRows + 1) << pass.name;
        EXPECT_LE(double(windowMs), kWindowOverTool * double(toolMs))
            << pass.name << ": window " << windowMs << " ms, tool " << toolMs << " ms";
        EXPECT_GT(rounds, 2) << pass.name;
        EXPECT_LE(afterMs * 10, toolMs) << pass.name << ": first events after the run took " << afterMs << " ms";
        std::printf("%s of %d refused rows: window %lld ms, tool %lld ms, first events after %lld ms\n", pass.name, kRows,
                    qint64(windowMs), qint64(toolMs), qint64(afterMs));
    }
}
