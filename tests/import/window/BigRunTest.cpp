#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "import/window/StoredWorkbook.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
constexpr int kRows = 65535;
} // namespace

// The window's check and import of a workbook whose every row is refused list
// every row with its sheet row (the import before its end box), and the
// window keeps handling events meanwhile. (How its pace compares with the tool's: bench/refused-run-bench.)
TEST(ImportWindowScaleTest, EveryRowRefusedIsListed)
{
    const TempDir dir;
    TestDatabase db(false);
    const QString path = writeStoredWorkbook(dir.path(), db, kRows);

    for (const bool check : {true, false}) {
        const char* name = check ? "检查" : "数据导入";
        scriptedDialogs().reset();
        TWorkerInfoImaportFrm w;
        w.resize(1240, 680);
        w.show();
        mapStoredWorkbook([&w](int k, const QString& t) { w.Edt(k)->setText(t); });
        scriptedDialogs().fileAnswers = {path};
        w.BtSelectClick();
        scriptedDialogs().reset();
        scriptedDialogs().checkAnswers = {true}; // "本次导入不再提示重复工号"
        // Behind the end box the list is already whole.
        int listedAtTheEnd = -1;
        QString filterAtTheEnd;
        scriptedDialogs().onBox = [&](const RecordedBox& box) {
            if (box.text.startsWith(QStringLiteral("数据导入成功")) || box.text.startsWith(QStringLiteral("检查完成"))) {
                listedAtTheEnd = int(w.notImportedModel().rowCount());
                filterAtTheEnd = w.findChild<QCheckBox*>(QStringLiteral("OnlyProblems"))->text();
            }
        };
        int rounds = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++rounds; });
        tick.start(0);
        (check ? w.ui()->SBCheck : w.ui()->SBSave)->click();
        tick.stop();
        ASSERT_EQ(w.notImportedModel().rowCount(), kRows) << name;
        EXPECT_EQ(w.notImportedModel().line(kRows - 1).sheetRow, kRows + 1) << name;
        EXPECT_GT(rounds, 2) << name;
        EXPECT_EQ(listedAtTheEnd, kRows) << name;
        if (check) {
            EXPECT_EQ(filterAtTheEnd, QStringLiteral("只看有问题的行 (%1)").arg(kRows));
        }
    }
}
