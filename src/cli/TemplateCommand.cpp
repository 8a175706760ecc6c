// ostrel-import-cli template: the empty workbook of the import window's
// "下载模板".

#include "cli/Command.h"
#include "import/ImportTemplate.h"

#include <QFileInfo>

namespace {

void declare(QCommandLineParser& p)
{
    p.addPositionalArgument(QStringLiteral("FILE.xlsx"), QStringLiteral("The workbook to write."));
    p.addOption({QStringLiteral("force"), QStringLiteral("Replaces FILE.xlsx if it exists.")});
}

int run(const QCommandLineParser& p)
{
    if (p.positionalArguments().size() != 1)
        throw CliUsageError(QStringLiteral("请给出要写入的文件。"));
    const QString out = p.positionalArguments().first();
    try {
        if (QFileInfo::exists(out) && !p.isSet(QStringLiteral("force")))
            throw Error(QStringLiteral("文件「%1」已经存在，没有写入。要替换它，请加 --force。").arg(out));
        writeImportTemplate(out);
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return 1;
    }
    return 0;
}

const CliCommandRegistrar registrar({"template", "template FILE.xlsx [--force]",
                                     "Writes an empty workbook to fill in: row 1 holds the 31 captions in box order.",
                                     declare, run});

} // namespace
