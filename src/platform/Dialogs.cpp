#include "platform/Dialogs.h"

#include <cstdio>

namespace Dialogs {
namespace {
StderrDialogs g_stderrSeam;
DialogSeam* g_seam = &g_stderrSeam;
} // namespace

DialogSeam& seam()
{
    return *g_seam;
}

DialogSeam* install(DialogSeam* seam)
{
    DialogSeam* previous = g_seam;
    g_seam = seam ? seam : &g_stderrSeam;
    return previous;
}

} // namespace Dialogs

void StderrDialogs::messageBox(const QString& text, const QString& caption, MsgIcon)
{
    // One line per box, for logs and scripts.
    QString flat = text;
    flat.replace(u'\n', u' ');
    const QByteArray line = (caption + QStringLiteral(": ") + flat + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

bool StderrDialogs::messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon, const QString&)
{
    messageBox(text, caption, icon);
    return false;
}

bool StderrDialogs::confirm(const QString& text)
{
    messageBox(text, QStringLiteral("Confirm"), MsgIcon::None);
    return false;
}

QString StderrDialogs::openFileName(QWidget*, const QString&, bool)
{
    return {};
}

QString StderrDialogs::saveFileName(QWidget*, const QString&, const QString&)
{
    return {};
}
