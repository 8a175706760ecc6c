// ostrel-import-cli template: the empty workbook of the import window's
// "下载模板".

#include "cli/Command.h"
#include "import/ImportTemplate.h"

namespace {

void declare(QCommandLineParser& p)
{
    p.addPositionalArgument(QStringLiteral("FILE.xlsx"), QStringLiteral("The workbook to write."));
}

int run(const QCommandLineParser& p)
{
    if (p.positionalArguments().size() != 1)
        throw CliUsageError(QStringLiteral("请给出要写入的文件。"));
    try {
        writeImportTemplate(p.positionalArguments().first());
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return 1;
    }
    return 0;
}

const CliCommandRegistrar registrar({"template", "template FILE.xlsx",
                                     "Writes an empty workbook to fill in: row 1 holds the 31 captions in box order.",
                                     declare, run});

} // namespace
