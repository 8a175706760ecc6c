#pragma once

#include "import/ImportRow.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class SpreadsheetLink;

// The data rows of a workbook as the import will read them: the row under
// the header row down to the first empty worker number, each mapped field from its column. Only
// the first rows are kept; all are counted.
struct WorkbookPreview {
    struct Column {
        int slot;
        QString caption;
    };
    QList<Column> columns;     // the mapped fields, the grid's own seven first
    QList<int> sheetRows;      // row numbers of the rows kept
    QList<QStringList> cells;  // per kept row, one text per column
    int dataRows = 0;          // every data row
    QString problem;           // why counting stopped early ("" when it did not)
    bool stopped = false;

    static constexpr int kShownRows = 1000;

    // progress(percent) is called now and then; returning false stops.
    static WorkbookPreview read(SpreadsheetLink& link,
                                const std::array<QString, ImportRow::SlotCount>& boxes,
                                const std::function<bool(int)>& progress = {},
                                int shownRows = kShownRows, int headerRow = 1);
};
