#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDir>

namespace Shell {
namespace {
bool g_terminate = false;
std::function<void()> g_handler;
QString g_dirOverride;
} // namespace

void requestTerminate()
{
    g_terminate = true;
    if (g_handler)
        g_handler();
}

bool terminateRequested()
{
    return g_terminate;
}

void setTerminateHandler(std::function<void()> handler)
{
    g_handler = std::move(handler);
}

void resetTerminateRequest()
{
    g_terminate = false;
}

QString executableDirectory()
{
    QString dir = g_dirOverride.isEmpty() ? QCoreApplication::applicationDirPath() : g_dirOverride;
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    return dir;
}

QString executablePath()
{
    return QCoreApplication::applicationFilePath();
}

void overrideExecutableDirectory(const QString& dir)
{
    g_dirOverride = dir;
}

} // namespace Shell
