#include "cli/SheetOptions.h"

#include <algorithm>

#include "cli/Command.h"
#include "import/HeaderMap.h"
#include "import/ImportRun.h"
#include "import/SpreadsheetLink.h"

void SheetOptions::declare(QCommandLineParser& p, bool withHeaderRow)
{
    p.addOption({QStringLiteral("sheet"),
                 QStringLiteral("The worksheet to read: its name, or its position among the tabs from 1 (default: the "
                                "sheet active when the workbook opens)."),
                 QStringLiteral("NAME|N")});
    if (withHeaderRow)
        p.addOption({QStringLiteral("header-row"),
                     QStringLiteral("The row holding the column captions; data starts on the row after it. auto (the "
                                    "default) takes the row among the first 30 that names the most fields, 1 when none "
                                    "does."),
                     QStringLiteral("N|auto")});
}

SheetOptions SheetOptions::of(const QCommandLineParser& p)
{
    SheetOptions o;
    o.sheet = p.value(QStringLiteral("sheet"));
    if (p.isSet(QStringLiteral("sheet")) && o.sheet.isEmpty())
        throw CliUsageError(QStringLiteral("--sheet 需要工作表的名称或序号（从 1 开始）。"));
    const QString header = p.optionNames().contains(QStringLiteral("header-row")) ? p.value(QStringLiteral("header-row"))
                                                                                  : QString();
    if (!header.isEmpty() && header != QLatin1String("auto")
        && (!ImportRun::parseWholeNumber(header, o.headerRow) || o.headerRow < 1))
        throw CliUsageError(QStringLiteral("--header-row 只能是 auto 或行号（从 1 开始）。"));
    return o;
}

int SheetOptions::open(SpreadsheetLink& link, const QString& path) const
{
    link.OpenWorkbook(path, sheet);
    return headerRow > 0 ? headerRow : HeaderMap::detectHeaderRow(link);
}

int SheetOptions::openHead(SpreadsheetLink& link, const QString& path) const
{
    link.openHead(path, sheet, std::max<int>(SpreadsheetLink::kHeadRows, headerRow));
    return headerRow > 0 ? headerRow : HeaderMap::detectHeaderRow(link);
}
