#include "import/RememberedMap.h"

#include "import/HeaderMap.h"
#include "import/SpreadsheetLink.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

bool RememberedMap::isEmpty() const
{
    for (const QString& b : boxes)
        if (!b.isEmpty())
            return false;
    return true;
}

bool RememberedMap::fitsHeaders(const QStringList& rowTexts) const
{
    int matched = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        int column = 0;
        if (headers[i].isEmpty() || !HeaderMap::parseColumn(boxes[i], column) || column < 1)
            continue;
        const QString text = column <= rowTexts.size() ? rowTexts[column - 1] : QString();
        if (HeaderMap::normalise(text) != HeaderMap::normalise(headers[i]))
            return false;
        ++matched;
    }
    return matched > 0;
}

QString RememberedMap::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
        + QStringLiteral("/column-map.ini");
}

RememberedMap RememberedMap::load()
{
    RememberedMap map;
    if (!QFileInfo::exists(filePath()))
        return map;
    QSettings s(filePath(), QSettings::IniFormat);
    s.beginGroup(QStringLiteral("ColumnMap"));
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        map.boxes[size_t(k - 1)] = s.value(QStringLiteral("Edt%1").arg(k)).toString();
        map.headers[size_t(k - 1)] = s.value(QStringLiteral("Header%1").arg(k)).toString();
    }
    map.headerRow = qMax(1, s.value(QStringLiteral("HeaderRow"), 1).toInt());
    map.sheet = s.value(QStringLiteral("Sheet")).toString();
    return map;
}

bool RememberedMap::save() const
{
    QDir().mkpath(QFileInfo(filePath()).absolutePath());
    QSettings s(filePath(), QSettings::IniFormat);
    s.remove(QStringLiteral("ColumnMap"));
    s.beginGroup(QStringLiteral("ColumnMap"));
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        s.setValue(QStringLiteral("Edt%1").arg(k), boxes[size_t(k - 1)]);
        s.setValue(QStringLiteral("Header%1").arg(k), headers[size_t(k - 1)]);
    }
    s.setValue(QStringLiteral("HeaderRow"), headerRow);
    s.setValue(QStringLiteral("Sheet"), sheet);
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

int chooseHeaderRow(SpreadsheetLink& link, const RememberedMap& remembered)
{
    const int found = HeaderMap::detectHeaderRow(link);
    if (remembered.headerRow != found && remembered.headerRow <= link.usedRows()
        && remembered.fitsHeaders(HeaderMap::readHeaderRow(link, remembered.headerRow)))
        return remembered.headerRow;
    return found;
}

namespace {
bool readsAsRemembered(SpreadsheetLink& link, const RememberedMap& remembered)
{
    const int row = chooseHeaderRow(link, remembered);
    return row <= link.usedRows() && remembered.fitsHeaders(HeaderMap::readHeaderRow(link, row));
}
} // namespace

void chooseRememberedSheet(SpreadsheetLink& link, const RememberedMap& remembered)
{
    const QString open = link.sheetName();
    if (remembered.isEmpty() || readsAsRemembered(link, remembered))
        return;
    // The sheet of that name first, then any other shown one.
    QStringList names;
    for (const SpreadsheetLink::SheetEntry& e : link.sheets()) {
        if (e.name == open || e.hidden)
            continue;
        if (e.name == remembered.sheet)
            names.prepend(e.name);
        else
            names.append(e.name);
    }
    for (const QString& name : names) {
        try {
            link.selectSheet(name);
            if (readsAsRemembered(link, remembered))
                return;
        } catch (const std::exception&) {
            // Unreadable: no better a choice.
        }
    }
    try {
        link.selectSheet(open);
    } catch (const std::exception&) {
    }
}
