#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

// Resident identity numbers as the national standard writes them: 18
// characters, 17 digits and a check character (0-9 or X) over weights
// modulo 11, the birth date as yyyyMMdd from the 7th character, the 17th
// digit odd for a man; or the old 15-digit form with a yyMMdd date of the
// 1900s and no check character. Nothing here trusts the text: any length,
// any character, a date that never was.
namespace IdNumber {

constexpr int kLength = 18;
constexpr int kOldLength = 15;
constexpr int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
constexpr char kCheckChars[] = "10X98765432"; // by remainder 0..10

// The check character of 17 digits; null when they are not 17 digits.
QChar checkChar(QStringView first17);

struct Reading {
    enum class Kind {
        Valid,
        WrongForm,      // not 18 (or 15) digits, last one X allowed
        BadCheckChar,   // `expected` is what the digits call for
        BadDate,        // the date inside is no calendar date
        FutureDate,     // the date inside is after `today`
    };
    Kind kind = Kind::WrongForm;
    QDate birth;           // for Valid, BadCheckChar, FutureDate
    bool male = false;     // for Valid and BadCheckChar
    QChar expected;        // for BadCheckChar
    QChar given;           // for BadCheckChar
    bool oldForm = false;  // 15 digits
};

// Reads a number already trimmed and with an upper-case X.
Reading read(const QString& text, const QDate& today);

// The text as the standard writes it: blanks (ideographic and no-break
// ones included) off both ends, full-width digits and X as ASCII, x as X.
QString normalised(const QString& text);

// Any key as typed (a worker number too): blanks off both ends and
// full-width digits as ASCII; letters as written.
QString mendedKey(const QString& text);

} // namespace IdNumber
