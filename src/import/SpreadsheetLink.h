#pragma once

#include <QString>

#include <memory>

class XlsWorkbook;

// The import run's link to the workbook: open, read one cell of the active
// sheet as trimmed text, close. Every failure raises Error with a reason a
// user can read.
class SpreadsheetLink {
public:
    SpreadsheetLink();
    ~SpreadsheetLink();

    void OpenWorkbook(const QString& path);
    // Rows and columns count from 1.
    QString ReadCellText(int row, int column);
    void CloseAndQuit();
    bool isOpen() const;

private:
    std::unique_ptr<XlsWorkbook> workbook_;
};
