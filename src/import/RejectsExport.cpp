#include "import/RejectsExport.h"

#include "import/SpreadsheetLink.h"
#include "import/XlsxOut.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>

namespace RejectsExport {

Source Source::of(const QString& path)
{
    const QFileInfo info(path);
    return {info.absoluteFilePath(), info.lastModified(), info.exists() ? info.size() : -1};
}

void write(SpreadsheetLink& link, const Source& source, const QList<ImportRun::NotImported>& rows,
           const QString& outPath, const std::function<void(int)>& progress)
{
    if (Source::of(source.path) != source)
        throw Error(QStringLiteral("文件「%1」在导入之后被修改过，未导入的行无法再对应。请重新导入这个文件后再导出。")
                        .arg(QDir::toNativeSeparators(source.path)));
    const int columns = link.usedColumns();
    XlsxOut out(outPath, {source.path});
    lxw_format* text = out.addFormat("@");
    const auto cell = [&link](int r, int c) {
        try {
            return link.ReadCellText(r, c);
        } catch (const std::exception&) {
            return QString(); // an error value: nothing to carry over
        }
    };
    for (int c = 1; c <= columns; ++c)
        out.text(0, c - 1, cell(1, c), text);
    out.text(0, columns, QStringLiteral("未导入原因"), text);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int outRow = int(i + 1);
        for (int c = 1; c <= columns; ++c) {
            const QString value = cell(rows[i].sheetRow, c);
            if (!value.isEmpty())
                out.text(outRow, c - 1, value, text);
        }
        out.text(outRow, columns, rows[i].reason, text);
        if (progress && i % 1024 == 0)
            progress(int(i * 100 / rows.size()));
    }
    out.close();
    if (progress)
        progress(100);
}

} // namespace RejectsExport
