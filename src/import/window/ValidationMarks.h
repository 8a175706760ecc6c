#pragma once

#include "import/CellEdits.h"
#include "import/checks/RowChecks.h"

#include <QHash>
#include <QList>
#include <QString>

class SpreadsheetLink;

// The per-user file of the window's two identity-number settings, beside
// the remembered column map.
QString checkSettingsPath();

// What the validation grid shows over the workbook's cells: the problems
// the last check or import found, cell by cell, and the clerk's edits. No
// widgets: the grid's model asks it per cell, the window keeps it current.
class ValidationMarks {
public:
    void clearProblems();
    void add(const CellProblem& problem);
    // The row was checked again after an edit: its rules' problems are
    // replaced, and what only a run finds (the database, earlier rows)
    // stays unless it was about the edited cell.
    void recheck(int sheetRow, const QList<CellProblem>& problems, int editedSlot);

    // The worst problem of a cell (refusal, warning, filled), null if none.
    const CellProblem* worst(int sheetRow, int slot) const;
    // Every reason of the cell, the database's text after its own.
    QString cellTip(int sheetRow, int slot) const;
    // The row's reasons for the grid's last column.
    QString rowText(int sheetRow) const;
    // A refusal or a warning (a filled value is no problem).
    bool hasProblem(int sheetRow) const { return problemRows_.contains(sheetRow); }
    int rowsWithProblems() const { return int(problemRows_.size()); }
    // The sheet rows with a problem after `sheetRow`, in order.
    QList<int> problemRowsAfter(int sheetRow) const;

    CellEdits& edits() { return edits_; }
    const CellEdits& edits() const { return edits_; }

    // One row's check as the import would make it, read through `link`
    // (the edits included): the row's fields from `columns`, then the rules.
    static QList<CellProblem> checkRow(SpreadsheetLink& link, int sheetRow, const RowChecks::Columns& columns,
                                       const RowChecks::Options& options);

private:
    void countRow(int sheetRow);

    QHash<int, QList<CellProblem>> byRow_;
    QHash<int, bool> problemRows_;
    CellEdits edits_;
};
