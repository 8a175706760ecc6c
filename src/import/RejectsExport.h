#pragma once

#include "import/ImportRun.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class SpreadsheetLink;

// The rows a run did not import, saved as .xlsx to be corrected and
// imported again with the same map: row 1 is the source's header plus
// "未导入原因" and "数据库原文", each row every column of its source row as
// read plus its reason (Chinese) and the database's own text. Cells are
// written as text, so the next import reads exactly what this one read.
namespace RejectsExport {

// Which file a run read, and as it was then: rows are looked up again by
// number, so a file changed since must not be used.
struct Source {
    QString path;
    QDateTime modified;
    qint64 size = -1;
    static Source of(const QString& path);
    bool operator==(const Source&) const = default;
};

// Raises Error when the source changed since the run or the file cannot be
// written, or is one the clerk keeps (the source, the database, the
// settings: XlsxOut). `link` holds the source, open.
// The header is the sheet's row `headerRow` (below any title rows).
void write(SpreadsheetLink& link, const Source& source, const QList<ImportRun::NotImported>& rows,
           const QString& outPath, const std::function<void(int)>& progress = {}, int headerRow = 1);

// The whole sheet as the import read it (rows 1 to `lastRow`, title rows
// above the header `headerRow` included), each cell a check found a problem
// in filled red (not imported) or amber (a warning), with a last column
// "问题" holding the row's reasons: a file the clerk can correct without the
// window. Raises as write() does.
void writeReport(SpreadsheetLink& link, const Source& source, const QList<CellProblem>& problems, int lastRow,
                 const QString& outPath, int headerRow = 1);

} // namespace RejectsExport
