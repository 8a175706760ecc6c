#include "import/window/WindowSize.h"

#include "import/RememberedMap.h"

#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("ImportWindow");
constexpr int kLargestSide = 16384; // no screen is bigger; a larger value is damage
}

WindowSize WindowSize::load()
{
    QSettings s(RememberedMap::filePath(), QSettings::IniFormat);
    s.beginGroup(kGroup);
    WindowSize w;
    const int width = s.value(QStringLiteral("Width")).toInt();
    const int height = s.value(QStringLiteral("Height")).toInt();
    if (width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide)
        w.size = QSize(width, height);
    w.maximized = s.value(QStringLiteral("Maximized"), true).toBool() || w.size.isEmpty();
    return w;
}

bool WindowSize::save() const
{
    QSettings s(RememberedMap::filePath(), QSettings::IniFormat);
    s.beginGroup(kGroup);
    s.setValue(QStringLiteral("Width"), size.width());
    s.setValue(QStringLiteral("Height"), size.height());
    s.setValue(QStringLiteral("Maximized"), maximized);
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

QSize WindowSize::clamped(QSize wanted, QSize minimum, QRect available)
{
    const QSize room = available.size();
    return {std::min(std::max(wanted.width(), minimum.width()), room.width()),
            std::min(std::max(wanted.height(), minimum.height()), room.height())};
}
