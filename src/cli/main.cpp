#include "cli/Command.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    return cliMain(app.arguments().mid(1));
}
