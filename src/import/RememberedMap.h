#pragma once

#include "import/ImportRow.h"

#include <QString>

#include <array>

// The column map of the last run that passed the map check, with the header
// text each box pointed at, kept per user beside the date formats so that
// the next import starts from it.
struct RememberedMap {
    std::array<QString, ImportRow::SlotCount> boxes;   // Edt1..Edt31 as typed
    std::array<QString, ImportRow::SlotCount> headers; // row 1 text of that column

    bool isEmpty() const;

    // Path of the per-user file.
    static QString filePath();
    // Empty when there is no file or it cannot be read.
    static RememberedMap load();
    // False when the file cannot be written.
    bool save() const;
};
