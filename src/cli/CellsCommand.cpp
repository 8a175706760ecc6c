#include "cli/Command.h"
#include "cli/SheetOptions.h"
#include "import/SpreadsheetLink.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cstdio>
#include <future>

namespace {


// Rows printed in one block.
constexpr int kBlockRows = 4096;

void declareCells(QCommandLineParser& p)
{
    p.addOptions({
        {QStringLiteral("workbook"), QStringLiteral("The workbook. Required."), QStringLiteral("FILE")},
        {QStringLiteral("rows"), QStringLiteral("How many rows to print (default: the sheet's used range)."),
         QStringLiteral("N")},
        {QStringLiteral("cols"), QStringLiteral("How many columns to print (default: the sheet's used range)."),
         QStringLiteral("N")},
    });
    SheetOptions::declare(p, false);
}

int countOption(const QCommandLineParser& options, const QString& name, int fallback)
{
    if (!options.isSet(name))
        return fallback;
    bool ok = false;
    const int n = options.value(name).toInt(&ok);
    if (!ok || n < 0)
        throw CliUsageError(QStringLiteral("--%1 needs a whole number of at least 0").arg(name));
    return n;
}

int runCells(const QCommandLineParser& options)
{
    if (!options.isSet(QStringLiteral("workbook")) || !options.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("--workbook is required"));

    const int givenRows = countOption(options, QStringLiteral("rows"), -1);
    const int givenCols = countOption(options, QStringLiteral("cols"), -1);

    SpreadsheetLink link;
    try {
        link.OpenWorkbook(options.value(QStringLiteral("workbook")), SheetOptions::of(options).sheet);
    } catch (const CliUsageError&) {
        throw;
    } catch (const Error& e) {
        cliError(e.text());
        return 1;
    }
    // Dates as the import reads them: in the format the login sets.
    link.setDateFormat(QStringLiteral("yyyy-MM-dd"));
    // Which sheet: the one asked for, else the active tab, or the first
    // worksheet when that is a chart or macro sheet.
    std::fputs(QStringLiteral("读取工作表「%1」\n").arg(link.sheetName()).toUtf8().constData(), stderr);
    const int rows = givenRows >= 0 ? givenRows : link.usedRows();
    const int cols = givenCols >= 0 ? givenCols : link.usedColumns();
    // Rows become UTF-8 with no string object per cell, in blocks: a sheet
    // that may be read from two threads has every other block written on
    // the second core. At most two blocks are held.
    const bool twoThreads = link.readsConcurrently();
    QByteArray mine, theirs;
    auto write = [](QByteArray& bytes) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        bytes.clear();
    };
    for (int first = 1; first <= rows; first += 2 * kBlockRows) {
        const int middle = std::min(rows, first + kBlockRows - 1);
        const int last = std::min(rows, middle + kBlockRows);
        auto second = [&, middle, last] {
            for (int r = middle + 1; r <= last; ++r)
                link.appendRowText(r, cols, theirs);
        };
        std::future<void> other;
        if (twoThreads && middle < last)
            other = std::async(std::launch::async, second);
        for (int r = first; r <= middle; ++r)
            link.appendRowText(r, cols, mine);
        write(mine);
        if (other.valid())
            other.get();
        else
            second();
        write(theirs);
    }
    link.CloseAndQuit();
    return 0;
}

const CliCommandRegistrar registrar(
    {"cells", "cells --workbook FILE [--sheet NAME|N] [--rows N] [--cols N]",
     "Prints a worksheet (the active one unless --sheet names another) exactly as the import reads it: one line a "
     "row, cells separated by tabs, an error cell as #ERROR, dates as yyyy-MM-dd.",
     declareCells, runCells});

} // namespace
