// ostrel-import-cli map: the column map the workbook's header suggests, as
// the import window's "按表头对应" fills it.

#include "cli/Command.h"
#include "cli/SheetOptions.h"
#include "import/HeaderMap.h"
#include "import/SpreadsheetLink.h"

#include <QFileInfo>

namespace {

void declare(QCommandLineParser& p)
{
    p.addOption({QStringLiteral("workbook"), QStringLiteral("The workbook. Required."), QStringLiteral("FILE")});
    SheetOptions::declare(p, true);
}

int run(const QCommandLineParser& p)
{
    if (!p.isSet(QStringLiteral("workbook")) || !p.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("请用 --workbook 给出表格文件。"));
    const SheetOptions sheet = SheetOptions::of(p);
    SpreadsheetLink link;
    const QString path = QFileInfo(p.value(QStringLiteral("workbook"))).absoluteFilePath();
    int headerRow = 1;
    try {
        headerRow = sheet.openHead(link, path);
    } catch (const std::exception& e) {
        cliError(cannotOpenWorkbookText(path, errorText(e)));
        return 1;
    }
    cliError(QStringLiteral("表头：工作表「%1」第 %2 行").arg(link.sheetName()).arg(headerRow));
    const QStringList headers = HeaderMap::readHeaderRow(link, headerRow);
    const HeaderMap::Columns columns = HeaderMap::suggest(headers);
    for (const ImportSlot& s : importSlots()) {
        const int c = columns[size_t(s.slot - 1)];
        if (c > 0)
            cliOut(QStringLiteral("Edt%1\t%2\t%3\t%4")
                       .arg(s.slot)
                       .arg(QLatin1String(s.column), HeaderMap::columnLetters(c), headers[c - 1]));
    }
    const QStringList missing = HeaderMap::missingRequired(columns);
    if (!missing.isEmpty()) {
        QString text = HeaderMap::missingMessage(missing);
        const QString other = HeaderMap::otherSheetWithHeader(link);
        if (!other.isEmpty())
            text += u'\n' + HeaderMap::otherSheetHint(other, QStringLiteral("请加上 --sheet %1").arg(other));
        cliError(text);
        return 1;
    }
    return 0;
}

const CliCommandRegistrar registrar({"map", "map --workbook FILE [--sheet NAME|N] [--header-row N|auto]",
                                     "Prints the column map the header row of the workbook's sheet suggests, and the "
                                     "header row on standard error.",
                                     declare, run});

} // namespace
