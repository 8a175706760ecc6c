// The validation grid with 65,535 rows and 5,000 problems, as after a check
// of a long workbook: showing the rows, colouring them, the filter
// "只看有问题的行" on and off, painting, and one row's check after an edit.
// Prints the time of each step (run with QT_QPA_PLATFORM=offscreen).
#include "import/StagingGrid.h"
#include "import/checks/RowChecks.h"
#include "import/window/ValidationMarks.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdio>

namespace {
constexpr int kRows = 65535;
constexpr int kProblemEvery = 13; // 5,041 problem rows
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QList<StagingGrid::Column> columns{{QStringLiteral("行号"), QString(), 50, false, false}};
    const int slots[] = {1, 2, 3, 17, 6, 9, 22, 8, 23};
    for (int slot : slots)
        columns.append({QString::fromUtf8(importSlots()[size_t(slot - 1)].caption), QString(), 90, false, false, slot, slot});
    columns.append({QStringLiteral("问题"), QString(), 320, false, false, StagingGrid::kProblemsSlot, 0});
    QList<QStringList> rows;
    rows.reserve(kRows);
    for (int r = 2; r < kRows + 2; ++r)
        rows << QStringList{QString::number(r), QStringLiteral("E%1").arg(r, 6, 10, QChar(u'0')), QStringLiteral("张三"),
                            QStringLiteral("男"), QStringLiteral("部门01"), QStringLiteral("1980-01-01"),
                            QStringLiteral("440102198001010000"), QStringLiteral("3500"), QStringLiteral("13800000000"),
                            QStringLiteral("2001-01-01"), QString()};
    ValidationMarks marks;
    StagingGrid grid;
    grid.resize(1200, 600);
    grid.show();
    QCoreApplication::processEvents();

    QElapsedTimer t;
    t.start();
    grid.setMarks(&marks);
    grid.showPreview(columns, std::move(rows), kRows);
    QCoreApplication::processEvents();
    const qint64 showMs = t.restart();
    for (int r = 2; r < kRows + 2; r += kProblemEvery)
        marks.add({r, 9, 9, CellProblem::Level::Warning, QStringLiteral("身份证号码校验位应为 X，表中为 0"), {}, true});
    grid.marksChanged();
    QCoreApplication::processEvents();
    const qint64 marksMs = t.restart();
    grid.problemFilter()->setChecked(true);
    QCoreApplication::processEvents();
    const qint64 filterOnMs = t.restart();
    const int filtered = grid.view()->model()->rowCount();
    (void)grid.grab();
    const qint64 paintMs = t.restart();
    grid.problemFilter()->setChecked(false);
    QCoreApplication::processEvents();
    const qint64 filterOffMs = t.restart();

    // One row's check after an edit: the rules and the grid told.
    ImportRow row;
    row.Workerid = QStringLiteral("E000002");
    row.Wname = QStringLiteral("张三");
    row.BIrThday = QStringLiteral("1980-01-01");
    row.IdNumber = QStringLiteral("440102198001010000");
    RowChecks::Columns map{};
    for (int slot : slots)
        map[size_t(slot - 1)] = slot;
    QElapsedTimer one;
    one.start();
    marks.recheck(2, RowChecks::check(row, 2, map, {}), 9);
    grid.rowMarksChanged(2);
    QCoreApplication::processEvents();
    const qint64 recheckUs = one.nsecsElapsed() / 1000;

    std::printf("grid of %d rows, %d problem rows: show %lld ms, colour %lld ms, filter on %lld ms (%d rows), "
                "paint %lld ms, filter off %lld ms, one row checked again %lld us\n",
                kRows, marks.rowsWithProblems(), showMs, marksMs, filterOnMs, filtered, paintMs, filterOffMs, recheckUs);
    return 0;
}
