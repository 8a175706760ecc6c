#include "import/RememberedMap.h"

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
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}
