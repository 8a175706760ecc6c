#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class CellEdits;
class Workbook;
class WorkbookSheet;

// The import run's link to the workbook: open, read one cell of the active
// sheet as trimmed text, close. Every failure raises Error with a reason a
// user can read.
class SpreadsheetLink {
public:
    SpreadsheetLink();
    ~SpreadsheetLink();

    // Opens the file in whichever format its content shows (.xls, .xlsx,
    // .ods, or .csv/.txt/.tsv by name) and decodes its active worksheet.
    void OpenWorkbook(const QString& path);
    // Rows and columns count from 1; a cell beyond the sheet's data reads
    // as empty text. Dates use the user's short date format as it is now.
    QString ReadCellText(int row, int column);
    // The same text appended to `out` as UTF-8, without a string object for
    // most cells (what `cells` prints); raises the same Errors, and then
    // appends nothing.
    void appendCellText(int row, int column, QByteArray& out);
    // Columns 1..columns of the row as `cells` prints them: tab-separated,
    // a cell that fails as "#ERROR", a line break after.
    void appendRowText(int row, int columns, QByteArray& out);
    // Whether the reads above may run on several threads at once.
    bool readsConcurrently() const;
    void CloseAndQuit();
    bool isOpen() const;

    // The used range of the active sheet: its last row and column that hold
    // a cell, 0 when nothing is open or the sheet is empty.
    int usedRows() const;
    int usedColumns() const;
    // The name of the sheet read, empty when nothing is open.
    QString sheetName() const;
    // Cells the clerk edited, read instead of the file's (null: none).
    void setEdits(const CellEdits* edits) { edits_ = edits; }

private:
    std::unique_ptr<Workbook> workbook_;
    const WorkbookSheet* sheet_ = nullptr;
    const CellEdits* edits_ = nullptr;
};

// What the clerk reads when OpenWorkbook failed: the file, then why.
QString cannotOpenWorkbookText(const QString& path, const QString& reason);
