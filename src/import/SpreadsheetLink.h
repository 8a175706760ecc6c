#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class CellEdits;
class Workbook;
class WorkbookSheet;

// The import run's link to the workbook: open, choose a sheet (the active
// one unless told otherwise), read one cell of it as trimmed text, close.
// Every failure raises Error with a reason a user can read; a sheet asked
// for by name or number is looked up, never trusted.
class SpreadsheetLink {
public:
    SpreadsheetLink();
    ~SpreadsheetLink();

    // Opens the file in whichever format its content shows (.xls, .xlsx,
    // .ods, or .csv/.txt/.tsv by name) and decodes its active worksheet.
    void OpenWorkbook(const QString& path);
    // The same, then the sheet `sheet` names (see selectSheet).
    void OpenWorkbook(const QString& path, const QString& sheet);
    // Reads another sheet of the open workbook: empty text is the active
    // sheet, else a sheet's name or its position among the tabs ("3", from
    // 1). Raises Error, naming the sheets there are, for none or a chart.
    void selectSheet(const QString& sheet);

    // A worksheet a clerk may choose; hidden ones (`hidden`) come last.
    struct SheetEntry {
        int index;   // position in the workbook, from 0
        QString name;
        bool hidden;
    };
    // The workbook's worksheets, visible ones in tab order, then the hidden
    // and very hidden; chart and macro sheets are not listed.
    QList<SheetEntry> sheets() const;
    // Dates as text in this format instead of the user's current one (what
    // the import reads after the login sets it); empty for the user's.
    void setDateFormat(const QString& format) { dateFormat_ = format; }
    // The same, reading only the first `maxRows` rows of each sheet
    // (usedRows() counts no more): for the header and the map it suggests.
    void openHead(const QString& path, const QString& sheet = QString(), int maxRows = kHeadRows);
    // The rows a header may lie in, below title rows.
    static constexpr int kHeadRows = 30;
    // Rows and columns count from 1; a cell beyond the sheet's data reads
    // as empty text. Dates use the user's short date format as it is now.
    QString ReadCellText(int row, int column);
    // The same text appended to `out` as UTF-8, without a string object for
    // most cells (what `cells` prints); raises the same Errors, and then
    // appends nothing.
    void appendCellText(int row, int column, QByteArray& out);
    // Whether ReadCellText would give empty text, mostly without making it
    // (counting rows down to the first empty worker number); raises the same
    // Errors.
    bool isBlank(int row, int column);
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
    int sheetIndex_ = -1;
    QString dateFormat_;
    const CellEdits* edits_ = nullptr;
};

// What the clerk reads when OpenWorkbook failed: the file, then why.
QString cannotOpenWorkbookText(const QString& path, const QString& reason);
