#pragma once

#include "import/ImportRow.h"

#include <QString>
#include <QStringList>

#include <array>

class SpreadsheetLink;

// The column map suggested by a workbook's header row (row 1). A header
// names a field when, once normalised, it equals the box's caption or one of
// the ways a personnel office commonly writes it; captions win over
// variants, and each column serves one box. Header cells are whatever the
// workbook holds: anything unreadable counts as an empty header.
namespace HeaderMap {

// 0 means "no column" (the box stays empty).
using Columns = std::array<int, ImportRow::SlotCount>;

// 1 → "A", 26 → "Z", 27 → "AA"; empty for columns below 1.
QString columnLetters(int column);

// Blanks removed, full-width folded to half-width, letter case folded, and a
// trailing "*", a "(必填)" or any other parenthesised note dropped.
QString normalise(const QString& header);

// The slot whose caption or variant the header names; 0 when none.
int slotOfHeader(const QString& header);

// headers[0] is column A.
Columns suggest(const QStringList& headers);

// Captions of the required boxes without a column, in box order.
QStringList missingRequired(const Columns& columns);
// The sentence telling the clerk which required columns the header lacks.
QString missingMessage(const QStringList& missing);

// Row 1 of the open workbook's active sheet, columns 1..usedColumns().
QStringList readHeaderRow(SpreadsheetLink& link);

// "B 姓名": the letter and the header text of a column (text may be empty).
QString describeColumn(int column, const QStringList& headers);

// What a box points at, for its tooltip, and whether it looks wrong: its
// column's header names another field, or differs from the header the box
// pointed at last time (remembered), or the number is no column at all.
struct BoxNote {
    QString text;
    bool suspect = false;
};
// headers is null while no workbook has been read.
BoxNote noteForBox(int slot, const QString& boxText, const QStringList* headers,
                   const QString& remembered = QString());

} // namespace HeaderMap
