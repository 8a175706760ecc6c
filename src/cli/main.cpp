#include "cli/Command.h"
#include "platform/Errors.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
std::vector<CliCommand>& registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

void usage()
{
    QString text = QStringLiteral("usage:\n");
    for (const CliCommand& c : registry())
        text += QStringLiteral("  ostrel-import-cli ") + QString::fromUtf8(c.usage) + u'\n';
    cliError(text.trimmed());
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
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void cliOut(const QString& text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

CliOptions::CliOptions(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            positional_ << a;
            continue;
        }
        const QString name = a.mid(2);
        if (flags.contains(name)) {
            flags_ << name;
        } else if (valueOptions.contains(name)) {
            if (i + 1 >= args.size())
                throw CliUsageError(QStringLiteral("option --%1 needs a value").arg(name));
            values_[name] = args[++i];
        } else {
            throw CliUsageError(QStringLiteral("unknown option %1").arg(a));
        }
    }
}

bool CliOptions::has(const QString& name) const
{
    return flags_.contains(name) || values_.contains(name);
}

QString CliOptions::value(const QString& name) const
{
    return values_.value(name);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-import"));
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        usage();
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args.takeFirst();
    for (const CliCommand& c : registry()) {
        if (name == QLatin1String(c.name)) {
            try {
                return c.run(args);
            } catch (const CliUsageError& e) {
                cliError(e.text());
                cliError(QStringLiteral("usage: ostrel-import-cli ") + QString::fromUtf8(c.usage));
                return 2;
            } catch (const std::exception& e) {
                cliError(errorText(e));
                return 2;
            }
        }
    }
    cliError(QStringLiteral("unknown command: %1").arg(name));
    usage();
    return 2;
}
