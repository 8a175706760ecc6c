#include "import/RejectsExport.h"

#include "import/SpreadsheetLink.h"
#include "import/XlsxOut.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace RejectsExport {

Source Source::of(const QString& path)
{
    const QFileInfo info(path);
    return {info.absoluteFilePath(), info.lastModified(), info.exists() ? info.size() : -1};
}

namespace {
constexpr quint32 kRefusalFill = 0xFFC7CE;
constexpr quint32 kWarningFill = 0xFFEB9C;
constexpr quint32 kFilledFill = 0xDDEBF7;

void refuseChanged(const Source& source)
{
    if (Source::of(source.path) != source)
        throw Error(QStringLiteral("文件「%1」在导入之后被修改过，未导入的行无法再对应。请重新导入这个文件后再导出。")
                        .arg(QDir::toNativeSeparators(source.path)));
}

QString cellText(SpreadsheetLink& link, int r, int c)
{
    try {
        return link.ReadCellText(r, c);
    } catch (const std::exception&) {
        return QString(); // an error value: nothing to carry over
    }
}
} // namespace

void writeReport(SpreadsheetLink& link, const Source& source, const QList<CellProblem>& problems, int lastRow,
                 const QString& outPath, int headerRow)
{
    refuseChanged(source);
    const int columns = link.usedColumns();
    XlsxOut out(outPath, {source.path});
    lxw_format* fills[] = {out.addFormat("@", false, kRefusalFill), out.addFormat("@", false, kWarningFill),
                           out.addFormat("@", false, kFilledFill)};
    lxw_format* text = out.addFormat("@");
    for (int r = 1; r <= headerRow; ++r)
        for (int c = 1; c <= columns; ++c)
            if (const QString value = cellText(link, r, c); !value.isEmpty())
                out.text(r - 1, c - 1, value, text);
    out.text(headerRow - 1, columns, QStringLiteral("问题"), out.addFormat("@", true));
    out.freezeTopRow(headerRow);
    // Problems come in sheet order; a cell takes its worst level.
    qsizetype next = 0;
    QHash<int, int> levelOfColumn;
    for (int r = headerRow + 1; r <= lastRow; ++r) {
        levelOfColumn.clear();
        QStringList reasons;
        for (; next < problems.size() && problems[next].sheetRow <= r; ++next) {
            const CellProblem& p = problems[next];
            if (p.sheetRow != r)
                continue;
            reasons << p.reason;
            if (p.column > 0) {
                const int level = int(p.level);
                levelOfColumn[p.column] = qMin(levelOfColumn.value(p.column, level), level);
            }
        }
        for (int c = 1; c <= columns; ++c) {
            const QString value = cellText(link, r, c);
            const auto level = levelOfColumn.constFind(c);
            lxw_format* format = level == levelOfColumn.cend() ? text : fills[*level];
            if (!value.isEmpty() || format != text)
                out.text(r - 1, c - 1, value, format);
        }
        if (!reasons.isEmpty())
            out.text(r - 1, columns, reasons.join(u'；'), text);
    }
    out.close();
}

void write(SpreadsheetLink& link, const Source& source, const QList<ImportRun::NotImported>& rows,
           const QString& outPath, const std::function<void(int)>& progress, int headerRow)
{
    refuseChanged(source);
    const int columns = link.usedColumns();
    XlsxOut out(outPath, {source.path});
    lxw_format* text = out.addFormat("@");
    const auto cell = [&link](int r, int c) { return cellText(link, r, c); };
    for (int c = 1; c <= columns; ++c)
        out.text(0, c - 1, cell(headerRow, c), text);
    out.text(0, columns, QStringLiteral("未导入原因"), text);
    out.text(0, columns + 1, QStringLiteral("数据库原文"), text);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int outRow = int(i + 1);
        for (int c = 1; c <= columns; ++c) {
            const QString value = cell(rows[i].sheetRow, c);
            if (!value.isEmpty())
                out.text(outRow, c - 1, value, text);
        }
        out.text(outRow, columns, rows[i].reason, text);
        if (!rows[i].detail.isEmpty())
            out.text(outRow, columns + 1, rows[i].detail, text);
        if (progress && i % 1024 == 0)
            progress(int(i * 100 / rows.size()));
    }
    out.close();
    if (progress)
        progress(100);
}

} // namespace RejectsExport
