// ostrel-import-cli template: the empty workbook of the import window's
// "下载模板".

#include "cli/Command.h"
#include "import/ImportTemplate.h"

namespace {

const char* kUsage = "template FILE.xlsx";

int run(const QStringList& args)
{
    CliOptions opts(args, {}, {});
    if (opts.positional().size() != 1)
        throw CliUsageError(QStringLiteral("give the file to write"));
    try {
        writeImportTemplate(opts.positional().first());
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return 1;
    }
    return 0;
}

const CliCommandRegistrar registrar({"template", kUsage, run});

} // namespace
