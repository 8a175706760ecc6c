#pragma once

#include <QString>

#include <memory>

class XlsWorkbook;
class XlsSheet;

// The import run's link to the workbook: open, read one cell of the active
// sheet as trimmed text, close. Every failure raises Error with a reason a
// user can read.
class SpreadsheetLink {
public:
    SpreadsheetLink();
    ~SpreadsheetLink();

    // Opens the file and decodes its active worksheet.
    void OpenWorkbook(const QString& path);
    // Rows and columns count from 1; a cell beyond the sheet's data reads
    // as empty text. Dates use the user's short date format as it is now.
    QString ReadCellText(int row, int column);
    void CloseAndQuit();
    bool isOpen() const;

    // The used range of the active sheet: its last row and column that hold
    // a cell, 0 when nothing is open or the sheet is empty.
    int usedRows() const;
    int usedColumns() const;

private:
    std::unique_ptr<XlsWorkbook> workbook_;
    const XlsSheet* sheet_ = nullptr;
};
