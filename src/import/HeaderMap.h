#pragma once

#include "import/ImportRow.h"

#include <QString>
#include <QStringList>

#include <array>

class SpreadsheetLink;

// The column map suggested by a workbook's header row: row 1, or the row
// among the first ones that names the most fields when titles stand above
// it (detectHeaderRow). A header
// names a field when, once normalised, it equals the box's caption or one of
// the ways a personnel office commonly writes it; captions win over
// variants, and each column serves one box. Header cells are whatever the
// workbook holds: anything unreadable counts as an empty header.
namespace HeaderMap {

// 0 means "no column" (the box stays empty).
using Columns = std::array<int, ImportRow::SlotCount>;

// 1 → "A", 26 → "Z", 27 → "AA"; empty for columns below 1.
QString columnLetters(int column);

// The biggest column a box may name (XFD, as the spreadsheet programs).
constexpr int kMaxColumn = 16384;

// A box's text as a column: a whole number ("27", the rule of
// ImportRun::parseWholeNumber, so "0" and "-1" parse and are refused by the
// caller) or a column letter ("AA", "aa", full-width "ＡＡ"), or both as a box
// shows them back ("27 AA"). False for anything else.
bool parseColumn(const QString& text, int& column);
// The one form a box, the remembered map and --map keep: the number.
QString columnText(int column);

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

// Rows looked at for the header.
constexpr int kHeaderSearchRows = 30;
// How many different fields a header row names at least, the worker
// number or the name among them.
constexpr int kHeaderMinFields = 3;

// The header row of the open sheet: among its first kHeaderSearchRows rows
// the one naming the most fields (the lower one of a tie, so that a field
// row under a group row wins); 1 when no row names enough.
int detectHeaderRow(SpreadsheetLink& link);

// Row `row` of the open sheet, columns 1..usedColumns(). Below row 1 an
// empty cell under a cell naming a field takes that text: a caption merged
// down over two header rows stands in the upper one.
QStringList readHeaderRow(SpreadsheetLink& link, int row = 1);
// The first other visible worksheet whose header names every required box,
// for a workbook whose chosen sheet has none (a "说明" sheet in front of the
// list); empty when none does. The link reads its chosen sheet again after.
QString otherSheetWithHeader(SpreadsheetLink& link);
// The sentence pointing at that sheet; `how` says how to choose it.
QString otherSheetHint(const QString& sheet, const QString& how);

// "B 姓名": the letter and the header text of a column (text may be empty).
QString describeColumn(int column, const QStringList& headers);

// What a box points at, for its tooltip, and whether it looks wrong: its
// column's header names another field, or differs from the header the box
// pointed at last time (remembered), or the number is no column at all.
struct BoxNote {
    QString text;
    bool suspect = false;
};
// headers is null while no workbook has been read; usedColumns (when above
// 0) is the sheet's last used column: a box past it is suspect.
BoxNote noteForBox(int slot, const QString& boxText, const QStringList* headers,
                   const QString& remembered = QString(), int usedColumns = 0);

} // namespace HeaderMap
