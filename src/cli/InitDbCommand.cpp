#include "cli/Command.h"
#include "data/LocalDatabase.h"
#include "platform/Errors.h"

#include <QFileInfo>

#include <cstdio>

namespace {

int runInitDb(const QStringList& args)
{
    const char* usage = "usage: ostrel-import-cli init-db FILE [--demo]";
    QStringList files;
    bool demo = false;
    try {
        const CliOptions options(args, {}, {QStringLiteral("demo")});
        files = options.positional();
        demo = options.has(QStringLiteral("demo"));
    } catch (const Error& e) {
        cliError(e.text());
        cliError(QString::fromUtf8(usage));
        return 2;
    }
    if (files.size() != 1 || files[0].isEmpty()) {
        cliError(QString::fromUtf8(usage));
        return 2;
    }
    try {
        createLocalDatabase(files[0], demo);
    } catch (const Error& e) {
        cliError(e.text());
        return 1;
    }
    cliOut(QFileInfo(files[0]).absoluteFilePath());
    return 0;
}

const CliCommandRegistrar registrar({"init-db", "init-db FILE [--demo]", runInitDb});

} // namespace

namespace {

int runSchema(const QStringList& args)
{
    if (!args.isEmpty()) {
        cliError(QStringLiteral("usage: ostrel-import-cli schema"));
        return 2;
    }
    const QByteArray bytes = localDatabaseScript().toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return 0;
}

const CliCommandRegistrar schemaRegistrar({"schema", "schema   (prints the SQL of init-db's tables)", runSchema});

} // namespace
