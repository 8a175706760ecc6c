#pragma once

#include "import/ImportRow.h"

#include <QString>
#include <QStringList>

#include <array>

// The column map of the last run that passed the map check, with the header
// text each box pointed at, kept per user beside the date formats so that
// the next import starts from it.
struct RememberedMap {
    std::array<QString, ImportRow::SlotCount> boxes;   // Edt1..Edt31 as typed
    std::array<QString, ImportRow::SlotCount> headers; // header text of that column
    int headerRow = 1; // the row those headers stood in
    QString sheet;     // the sheet they stood on

    bool isEmpty() const;
    // Whether a header row reads as the one remembered: every box that
    // remembers a header finds the same text (normalised) in its column.
    bool fitsHeaders(const QStringList& rowTexts) const;

    // Path of the per-user file.
    static QString filePath();
    // Empty when there is no file or it cannot be read.
    static RememberedMap load();
    // False when the file cannot be written.
    bool save() const;
};

class SpreadsheetLink;
// The header row of the open sheet: the one found among its first rows,
// unless the row remembered with the map reads as it did then.
int chooseHeaderRow(SpreadsheetLink& link, const RememberedMap& remembered);
// Selects the sheet whose header reads as the remembered one when the open
// sheet's does not (the sheet of the remembered name first): the list on
// the third sheet of last month's workbook is there again this month.
void chooseRememberedSheet(SpreadsheetLink& link, const RememberedMap& remembered);
