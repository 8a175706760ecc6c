#pragma once

#include <QCommandLineParser>
#include <QString>

class SpreadsheetLink;

// --sheet and --header-row, as cells, map and import take them: which sheet
// of the workbook to read (default the active one) and which row is its
// header (default: found among the first rows, as the window finds it).
struct SheetOptions {
    QString sheet;      // a name or a position from 1; empty: the active sheet
    int headerRow = 0;  // 0: auto

    static void declare(QCommandLineParser& parser, bool withHeaderRow);
    // Raises CliUsageError for a header row that is neither auto nor a row.
    static SheetOptions of(const QCommandLineParser& parser);

    // Opens `path` on the chosen sheet; the header row found when auto.
    // Raises the reader's Error.
    int open(SpreadsheetLink& link, const QString& path) const;
    // The same, reading only the rows the header may lie in.
    int openHead(SpreadsheetLink& link, const QString& path) const;
};
