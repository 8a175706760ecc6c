#include "cli/Command.h"
#include "import/SpreadsheetLink.h"
#include "platform/Errors.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "cells --workbook FILE [--rows N] [--cols N]  (prints the active sheet of a .xls, .xlsx, .ods or .csv file "
    "as the import reads it, "
    "tab-separated, error cells as #ERROR; dates in the short date format as it stands now, "
    "which this command does not change)";

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
    // One output buffer of UTF-8, no string object per cell: a 65,535-row
    // sheet is two million cells, and the printing must not cost more than
    // the reading.
    QByteArray out;
    out.reserve((1 << 20) + (1 << 16));
    for (int r = 1; r <= rows; ++r) {
        link.appendRowText(r, cols, out);
        if (out.size() >= (1 << 20)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    link.CloseAndQuit();
    return 0;
}

const CliCommandRegistrar registrar({"cells", kUsage, runCells});

} // namespace
