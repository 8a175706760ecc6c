#include "cli/Command.h"
#include "import/SpreadsheetLink.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cstdio>
#include <future>

namespace {

const char* const kUsage =
    "cells --workbook FILE [--rows N] [--cols N]  (prints the active sheet of a .xls, .xlsx, .ods or .csv file "
    "as the import reads it, "
    "tab-separated, error cells as #ERROR; dates in the short date format as it stands now, "
    "which this command does not change)";

// Rows printed in one block.
constexpr int kBlockRows = 4096;

int countOption(const CliOptions& options, const QString& name, int fallback)
{
    if (!options.has(name))
        return fallback;
    bool ok = false;
    const int n = options.value(name).toInt(&ok);
    if (!ok || n < 0)
        throw Error(QStringLiteral("--%1 needs a whole number of at least 0\nusage: ostrel-import-cli %2")
                        .arg(name, QString::fromUtf8(kUsage)));
    return n;
}

int runCells(const QStringList& args)
{
    const CliOptions options(args, {QStringLiteral("workbook"), QStringLiteral("rows"), QStringLiteral("cols")}, {});
    if (!options.has(QStringLiteral("workbook")) || !options.positional().isEmpty())
        throw Error(QStringLiteral("usage: ostrel-import-cli ") + QString::fromUtf8(kUsage));

    const int givenRows = countOption(options, QStringLiteral("rows"), -1);
    const int givenCols = countOption(options, QStringLiteral("cols"), -1);

    SpreadsheetLink link;
    try {
        link.OpenWorkbook(options.value(QStringLiteral("workbook")));
    } catch (const Error& e) {
        cliError(e.text());
        return 1;
    }
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

const CliCommandRegistrar registrar({"cells", kUsage, runCells});

} // namespace
