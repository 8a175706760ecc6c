#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The user's date formats, kept per user in a small settings file of ours
// (the stand-in for the operating system's regional settings). The program
// and the command-line tool share it.
namespace DateFormats {

// Path of the per-user file (under the user's configuration directory).
QString settingsFilePath();

// Writes the formats; false when the file cannot be written.
bool setLongDateFormat(const QString& format);
bool setShortDateFormat(const QString& format);

// The short date format as it stands now: the file's value, else the system
// locale's. Cheap enough to call for every cell.
QString currentShortDateFormat();

// The short date format this process started with, read once.
QString startupShortDateFormat();
// Reads it now (call once at start, before anything writes the file).
void captureStartupFormat();

// Formats a date with a format in the Windows pattern language
// ("yyyy-MM-dd", "M/d/yyyy", "yyyy'年'M'月'd'日'", ...).
QString formatDate(const QDate& date, const QString& format);

} // namespace DateFormats
