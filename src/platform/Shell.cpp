#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

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

bool isWritableDirectory(const QString& dir)
{
    const QByteArray path = QFile::encodeName(dir);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // access() still speaks for read-only mounts and ACLs.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.constData(), W_OK) == 0;
}

} // namespace Shell
