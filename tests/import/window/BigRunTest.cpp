#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace {
constexpr int kRows = 65535;

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

// The window's check and import of a workbook whose every row is refused list
// every row with its sheet row, and the window keeps handling events
// meanwhile. (How its pace compares with the tool's: bench/refused-run-bench.)
TEST(ImportWindowScaleTest, EveryRowRefusedIsListed)
{
    const TempDir dir;
    TestDatabase db(false);
    const QString path = writeStoredWorkbook(dir, db);

    for (const bool check : {true, false}) {
        const char* name = check ? "检查" : "数据导入";
        scriptedDialogs().reset();
        TWorkerInfoImaportFrm w;
        w.resize(1240, 680);
        w.show();
        mapThree([&w](int k, const QString& t) { w.Edt(k)->setText(t); });
        scriptedDialogs().fileAnswers = {path};
        w.BtSelectClick();
        scriptedDialogs().reset();
        scriptedDialogs().checkAnswers = {true}; // "本次导入不再提示重复工号"
        int rounds = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++rounds; });
        tick.start(0);
        (check ? w.ui()->SBCheck : w.ui()->SBSave)->click();
        tick.stop();
        ASSERT_EQ(w.notImportedModel().rowCount(), kRows) << name;
        EXPECT_EQ(w.notImportedModel().line(kRows - 1).sheetRow, kRows + 1) << name;
        EXPECT_GT(rounds, 2) << name;
    }
}
