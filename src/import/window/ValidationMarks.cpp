#include "import/window/ValidationMarks.h"

#include "import/SpreadsheetLink.h"

#include <QStringList>

#include <algorithm>

void ValidationMarks::clearProblems()
{
    byRow_.clear();
    problemRows_.clear();
}

void ValidationMarks::countRow(int sheetRow)
{
    problemRows_.remove(sheetRow);
    for (const CellProblem& p : byRow_.value(sheetRow))
        if (p.level != CellProblem::Level::Filled)
            problemRows_.insert(sheetRow, true);
}

void ValidationMarks::add(const CellProblem& problem)
{
    byRow_[problem.sheetRow].append(problem);
    if (problem.level != CellProblem::Level::Filled)
        problemRows_.insert(problem.sheetRow, true);
}

void ValidationMarks::recheck(int sheetRow, const QList<CellProblem>& problems, int editedSlot)
{
    QList<CellProblem> kept;
    for (const CellProblem& p : byRow_.value(sheetRow))
        if (!p.byRules && p.slot != editedSlot)
            kept << p;
    kept += problems;
    if (kept.isEmpty())
        byRow_.remove(sheetRow);
    else
        byRow_.insert(sheetRow, kept);
    countRow(sheetRow);
}

QList<int> ValidationMarks::problemRowsAfter(int sheetRow) const
{
    QList<int> rows;
    for (auto it = problemRows_.cbegin(); it != problemRows_.cend(); ++it)
        if (it.key() > sheetRow)
            rows << it.key();
    std::sort(rows.begin(), rows.end());
    return rows;
}

const CellProblem* ValidationMarks::worst(int sheetRow, int slot) const
{
    const auto it = byRow_.constFind(sheetRow);
    if (it == byRow_.cend())
        return nullptr;
    const CellProblem* found = nullptr;
    for (const CellProblem& p : *it)
        if (p.slot == slot && (!found || int(p.level) < int(found->level)))
            found = &p;
    return found;
}

QString ValidationMarks::cellTip(int sheetRow, int slot) const
{
    QStringList lines;
    for (const CellProblem& p : byRow_.value(sheetRow))
        if (p.slot == slot)
            lines << (p.detail.isEmpty() ? p.reason : p.reason + u'\n' + p.detail);
    return lines.join(u'\n');
}

QString ValidationMarks::rowText(int sheetRow) const
{
    QStringList texts;
    for (const CellProblem& p : byRow_.value(sheetRow))
        texts << p.reason;
    return texts.join(u'；');
}

QList<CellProblem> ValidationMarks::checkRow(SpreadsheetLink& link, int sheetRow, const RowChecks::Columns& columns,
                                             const RowChecks::Options& options)
{
    ImportRow row;
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot) {
        const int column = columns[size_t(slot - 1)];
        if (column > 0) {
            try {
                row.field(slot) = link.ReadCellText(sheetRow, column);
            } catch (const std::exception&) {
                // An error value: the run will say so; the rules see nothing.
            }
        }
    }
    return RowChecks::check(row, sheetRow, columns, options);
}
