#pragma once

#include <QFont>
#include <QString>

// The windows name their fonts as the home platform does (宋体, 楷体_GB2312,
// 仿宋_GB2312) with a size in pixels; Qt falls back to an installed CJK font.
inline QFont pixelFont(const char* family, int pixels, bool bold = false)
{
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}
