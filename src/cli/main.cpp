#include "cli/Command.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    // Qt's own texts (the command-line parser's errors) in Chinese, as the
    // window shows them; English where the translations are not installed.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    return cliMain(app.arguments().mid(1));
}
