#pragma once

#include <QString>

// One problem the checks found in one cell of the sheet: what the grid
// colours, the not-imported list names and the report file marks.
struct CellProblem {
    enum class Level {
        Refusal, // the row is not imported (red)
        Warning, // the row is imported all the same (amber)
        Filled,  // the import supplied the value (marked, no problem)
    };
    int sheetRow = 0;
    int slot = 0;   // the field's box, 1..31; 0 for the row as a whole
    int column = 0; // the sheet column read, 1 = A; 0 when not mapped
    Level level = Level::Warning;
    QString reason; // Chinese, names the field and column, not the row
    QString detail; // the database's own text, "" when none
    // Found by the row's own rules (a row check finds it again); else by
    // the writer or against earlier rows, which only a run can tell.
    bool byRules = false;
};
