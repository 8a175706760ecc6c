#include "cli/Command.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const QString kTool = QStringLiteral("ostrel-import-cli");

std::vector<CliCommand>& registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

void write(FILE* stream, const QString& text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString toolHelp()
{
    QString text = QStringLiteral("Usage: %1 COMMAND [options]\n"
                                  "Imports staff records from a workbook into the personnel database, without a window.\n\n"
                                  "Commands:\n")
                       .arg(kTool);
    std::vector<const CliCommand*> byName;
    for (const CliCommand& c : registry())
        byName.push_back(&c);
    std::sort(byName.begin(), byName.end(), [](auto* a, auto* b) { return std::strcmp(a->name, b->name) < 0; });
    for (const CliCommand* c : byName)
        text += QStringLiteral("  %1%2\n").arg(QString::fromUtf8(c->name).leftJustified(10), QString::fromUtf8(c->summary));
    text += QStringLiteral("\nOptions:\n"
                           "  -h, --help     Displays help on commandline options; after a command, the command's.\n"
                           "  -v, --version  Displays version information.\n\n"
                           "Run '%1 COMMAND --help' for a command's options.")
                .arg(kTool);
    return text;
}

QString usageLine(const CliCommand& c)
{
    return QStringLiteral("用法：%1 %2\n运行「%1 %3 --help」查看这个命令的说明。")
        .arg(kTool, QString::fromUtf8(c.synopsis), QString::fromUtf8(c.name));
}

// Qt's help with our synopsis in place of its usage line, which names the
// program file rather than the command.
QString commandHelp(const CliCommand& c, const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    return QStringLiteral("Usage: %1 %2").arg(kTool, QString::fromUtf8(c.synopsis)) + text.mid(firstLineEnd).trimmed().prepend(u'\n');
}

int runCommand(const CliCommand& c, const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(c.summary));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on this command's options."));
    parser.addOption(help);
    c.declare(parser);
    if (!parser.parse(QStringList{kTool + u' ' + QString::fromUtf8(c.name)} + args)) {
        if (!parser.isSet(help)) {
            cliError(parser.errorText());
            cliError(usageLine(c));
            return 2;
        }
    }
    if (parser.isSet(help)) {
        cliOut(commandHelp(c, parser));
        return 0;
    }
    try {
        return c.run(parser);
    } catch (const CliUsageError& e) {
        cliError(e.text());
        cliError(usageLine(c));
        return 2;
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return CliFailed;
    }
}

} // namespace

CliCommandRegistrar::CliCommandRegistrar(CliCommand command)
{
    registry().push_back(std::move(command));
}

const std::vector<CliCommand>& cliCommands()
{
    return registry();
}

void cliError(const QString& text)
{
    write(stderr, text);
}

void cliOut(const QString& text)
{
    write(stdout, text);
}

int cliMain(const QStringList& args)
{
    if (args.isEmpty()) {
        cliError(toolHelp());
        return 2;
    }
    const QString first = args.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        cliOut(toolHelp());
        return 0;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        cliOut(kTool + u' ' + QCoreApplication::applicationVersion());
        return 0;
    }
    for (const CliCommand& c : registry()) {
        if (first == QLatin1String(c.name))
            return runCommand(c, args.mid(1));
    }
    cliError(first.startsWith(u'-') ? QStringLiteral("没有「%1」这个选项。").arg(first)
                                    : QStringLiteral("没有「%1」这个命令。").arg(first));
    cliError(QStringLiteral("运行「%1 --help」查看所有命令。").arg(kTool));
    return 2;
}
