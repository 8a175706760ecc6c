#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>

// One interface over every workbook format the import reads: .xls, .xlsx,
// .ods and .csv/.txt/.tsv. Each format has its own reader in this folder;
// `openWorkbook` tells the format by the file's content and hands back the
// reader. A reader only says what each cell holds; how a cell becomes text
// for the import is the caller's business (CellText, SpreadsheetLink).
//
// Every reader distrusts its file: a file it cannot read raises Error with
// a Chinese reason a clerk can act on, followed by ": " and the path.

struct WorkbookCell {
    enum class Kind : std::uint8_t { Empty, Text, Number, Bool, Error };
    Kind kind = Kind::Empty;
    bool isDate = false;      // a number whose format shows a date or time
    double number = 0;        // Number: the value; Bool: 0 or 1; Error: the BIFF code
    QString text;             // Text; Error: its name when the format gives one
};

class WorkbookSheet {
public:
    virtual ~WorkbookSheet() = default;
    // Rows and columns count from 0. One past the last row and column that
    // hold a cell; 0 for an empty sheet.
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    // Any position is allowed; outside the used range the cell is empty.
    // Not thread-safe unless readsConcurrently() says so: readers may keep
    // the last row decoded.
    virtual WorkbookCell cell(int row, int column) const = 0;
    // The same cell, but a reader that keeps texts as UTF-8 may hand a text
    // (or an error's name) over as those bytes in `utf8`, valid until the
    // thread reads the sheet again, and leave `text` empty: no string
    // object per cell.
    virtual WorkbookCell cellUtf8(int row, int column, QByteArrayView& utf8) const
    {
        utf8 = QByteArrayView();
        return cell(row, column);
    }
    // Whether cells may be read from several threads at once.
    virtual bool readsConcurrently() const { return false; }
};

class Workbook {
public:
    enum class SheetType { Worksheet, Chart, MacroSheet, Other };
    enum class Visibility { Visible, Hidden, VeryHidden };

    virtual ~Workbook() = default;

    virtual int sheetCount() const = 0;
    virtual QString sheetName(int index) const = 0;
    virtual SheetType sheetType(int index) const = 0;
    // Whether the sheet's tab is shown; a format without the notion says Visible.
    virtual Visibility sheetVisibility(int index) const { (void)index; return Visibility::Visible; }
    // The worksheet shown when the workbook opens.
    virtual int activeSheetIndex() const = 0;
    // Date serials count from 1904-01-01 instead of 1899-12-30.
    virtual bool uses1904Dates() const { return false; }

    // The cells of a worksheet, decoded on first use. Raises Error for a
    // sheet that is not a worksheet or cannot be decoded.
    virtual const WorkbookSheet& sheet(int index) = 0;
    const WorkbookSheet& activeSheet() { return sheet(activeSheetIndex()); }
};

// Opens `path` with the reader its content calls for: an OLE2 file is .xls,
// a ZIP whose relationships name a spreadsheet workbook is .xlsx, a ZIP whose mimetype is the
// OpenDocument spreadsheet type is .ods, and text is .csv only when the name
// ends in .csv, .txt or .tsv.
// With `maxRows` above 0 each worksheet is read only down to that many rows
// (rowCount() counts no more): enough for a header and the map it
// suggests, without reading, or holding, the rest.
std::unique_ptr<Workbook> openWorkbook(const QString& path, int maxRows = 0);
