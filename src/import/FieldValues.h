#pragma once

#include "import/ImportRow.h"

#include <QString>

#include <exception>

// The values the row writer binds, as the databases the program was made
// for would have taken them, and the reasons it gives for a row it did not
// write. Cell text is not trusted to be in any form: what is not recognised
// exactly goes to the database as it stands.
namespace FieldValues {

// A date in one of the forms yyyy-M-d, yyyy/M/d, yyyy.M.d, yyyyMMdd or
// yyyy年M月d日, optionally followed by a time of day (H:mm or H:mm:ss),
// that names a real calendar date, as "yyyy-MM-dd" (plus " hh:mm:ss" where
// a time was given); any other text unchanged. Day-first and month-first
// forms are never guessed at.
QString normalisedDate(const QString& text);

// True when the text is a number in exponent form ("4.40102198001015E+17"),
// as a spreadsheet shows a number of more than 15 digits: its last digits
// are gone.
bool lostDigits(const QString& text);

// The reason a row is refused before anything is written: a number-like
// field (worker number, identity number, accounts, phones) whose digits
// were lost. "" when the row may go on.
QString lostDigitsReason(const ImportRow& row);

// The width of a Hrp_workers text column in characters, as sql/sqlserver.sql
// declares it (nvarchar(n): n UTF-16 code units, so a character outside the
// Basic Multilingual Plane counts two), or 0 for a column that is not text.
int columnWidth(const QString& column);

// The reason a row is refused because a field is longer than its column
// ("「姓名」过长（最多 50 个字符）"), looking at the fields the mode writes
// (0: all, 1: those an update changes): the same on every database, so a
// workbook that passes on a local file passes on a server. "" when none is.
QString tooLongReason(const ImportRow& row, int mode);

// The reason for a row that a database error stopped: a Chinese sentence
// naming the field and value where the row tells which, then the
// database's own text on the next line.
QString writeFailureReason(const std::exception& error, const ImportRow& row);

// What the clerk calls the field that feeds a Hrp_workers column (the
// caption of its box), or "" for a column no box feeds.
QString captionOfColumn(const QString& column);

} // namespace FieldValues
