#pragma once

#include <QStringView>

// Which number formats show a date or a time.
namespace NumberFormats {

// The built-in formats that are dates or times (those with no FORMAT record
// of their own), the East Asian ones included.
bool isBuiltinDateFormat(int index);

// Whether a format code shows a date or time: a y, m, d, h or s outside
// quoted text, escapes and brackets, or an elapsed-time bracket like "[h]".
bool isDateFormatCode(QStringView code);

} // namespace NumberFormats
