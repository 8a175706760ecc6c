#include "cli/Command.h"
#include "data/LocalDatabase.h"
#include "platform/Errors.h"

#include <QFileInfo>

#include <cstdio>

namespace {

void declareInitDb(QCommandLineParser& p)
{
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The new database file; its folder must exist."));
    p.addOption({QStringLiteral("demo"),
                 QStringLiteral("Fills in six demo departments and the user 0001 with the password demo.")});
}

int runInitDb(const QCommandLineParser& p)
{
    const QStringList files = p.positionalArguments();
    if (files.size() != 1 || files[0].isEmpty())
        throw CliUsageError(QStringLiteral("请给出一个要新建的数据库文件。"));
    try {
        createLocalDatabase(files[0], p.isSet(QStringLiteral("demo")));
    } catch (const Error& e) {
        cliError(e.text());
        return 1;
    }
    cliOut(QFileInfo(files[0]).absoluteFilePath());
    return 0;
}

const CliCommandRegistrar registrar({"init-db", "init-db FILE [--demo]",
                                     "Creates a new, empty local database file and prints its full path.",
                                     declareInitDb, runInitDb});

int runSchema(const QCommandLineParser& p)
{
    if (!p.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("schema 命令不带参数。"));
    const QByteArray bytes = localDatabaseScript().toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return 0;
}

const CliCommandRegistrar schemaRegistrar({"schema", "schema", "Prints the SQL with which init-db creates its tables.",
                                           [](QCommandLineParser&) {}, runSchema});

} // namespace
