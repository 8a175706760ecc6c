#pragma once

#include <QString>

// How a cell value becomes text, as the operating system's variant-to-text
// conversion writes it.
namespace CellText {

// General form with at most 15 significant digits: plain decimals for
// magnitudes from 1E-05 up to below 1E+15, else "1.23456789012346E+17".
// Null for infinities and NaN.
QString numberText(double value);
// The same text written to `out`, which has room for kNumberChars bytes;
// gives its length, 0 for infinities and NaN.
constexpr int kNumberChars = 32;
int numberChars(double value, char* out);

// A date serial of the 1900 or 1904 system: the date in `dateFormat`, plus
// " hh:mm:ss" when it has a time of day; a serial below 1 is a time alone
// ("hh:mm:ss") in either system. Seconds are rounded. The 1900 system's
// 29 February 1900 (serial 60), a day that never was, reads as the 28th.
// Null when the serial is no date (negative, past 9999-12-31, not finite).
QString dateText(double serial, bool dates1904, const QString& dateFormat);

// Removes characters up to U+0020 from both ends.
QString trimmed(const QString& text);

} // namespace CellText
