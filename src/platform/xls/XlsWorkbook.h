#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// A reader of Excel 5.0 to 2003 workbooks (BIFF5 and BIFF8). It decodes the
// workbook-wide records and, on demand, the cells of one worksheet. It knows
// nothing of how cells become text for the import; it only says what each
// cell holds.
//
// All input is distrusted: every field is checked against the record and the
// stream it sits in, nothing is sized by an unchecked count, and nothing
// recurses over file data. A file it cannot decode raises Error with a short
// reason (in Chinese) and the path.

struct XlsCell {
    enum class Kind : std::uint8_t { Empty, Text, Number, Bool, Error };
    Kind kind = Kind::Empty;
    bool isDate = false;      // a number whose format shows a date or time
    double number = 0;        // Number: the value; Bool: 0 or 1; Error: the code
    QString text;             // Text
};

class XlsSheet {
public:
    QString name() const { return name_; }
    // Rows and columns count from 0. One past the last row and column that
    // hold a cell record (blank cells included); 0 for an empty sheet.
    int rowCount() const { return int(rowStart_.empty() ? 0 : rowStart_.size() - 1); }
    int columnCount() const { return columnCount_; }
    XlsCell cell(int row, int column) const;

private:
    friend class XlsWorkbookDecoder;
    friend class XlsWorkbook;

    // One cell in 16 bytes: a text cell keeps its index into the string
    // tables in `value`.
    struct Entry {
        double value;
        std::uint16_t row;
        std::uint16_t col;
        std::uint16_t xf;
        std::uint8_t kind;
        std::uint8_t flags;   // kFromSst for texts in the shared table
    };
    static constexpr std::uint8_t kFromSst = 1;

    const Entry* find(int row, int column) const;

    QString name_;
    std::vector<Entry> entries_;          // sorted by (row, col), unique
    std::vector<std::uint32_t> rowStart_; // entries_ of row r: [rowStart_[r], rowStart_[r+1])
    int columnCount_ = 0;
    std::vector<QString> texts_;          // texts stored in the cell records
    const class XlsWorkbook* book_ = nullptr;
};

class XlsWorkbook {
public:
    enum class Version { Biff5, Biff8 };
    enum class SheetType { Worksheet, Chart, MacroSheet, Other };

    // Opens a file (an OLE2 compound file, or a bare BIFF5/8 stream).
    static std::unique_ptr<XlsWorkbook> open(const QString& path);
    // The same for a file's bytes already in memory; `label` names the source
    // in error texts.
    static std::unique_ptr<XlsWorkbook> fromFileBytes(const QByteArray& bytes,
                                                      const QString& label = QString());
    // Decodes a workbook stream as it sits inside the OLE2 container.
    static std::unique_ptr<XlsWorkbook> fromStream(QByteArray stream,
                                                   const QString& label = QString());

    ~XlsWorkbook();

    Version version() const { return version_; }
    bool uses1904Dates() const { return dates1904_; }
    int codePage() const { return codePage_; }

    int sheetCount() const { return int(sheets_.size()); }
    QString sheetName(int index) const;
    SheetType sheetType(int index) const;
    // The worksheet shown when the workbook opens.
    int activeSheetIndex() const { return active_; }

    // The cells of a worksheet, decoded on first use. Raises Error for a
    // sheet that is not a worksheet or cannot be decoded.
    const XlsSheet& sheet(int index);
    const XlsSheet& activeSheet() { return sheet(active_); }

    // Whether cell format (XF) `xf` shows numbers as dates or times.
    bool isDateXf(int xf) const;
    // The shared string `index`, empty when out of range.
    QString sharedString(std::uint32_t index) const;

private:
    friend class XlsWorkbookDecoder;
    XlsWorkbook() = default;

    struct SheetInfo {
        QString name;
        SheetType type = SheetType::Other;
        std::uint32_t offset = 0;
        std::unique_ptr<XlsSheet> cells;
    };

    QByteArray stream_;
    QString label_;
    Version version_ = Version::Biff8;
    bool dates1904_ = false;
    int codePage_ = 1252;
    int active_ = 0;
    std::uint32_t globalsEnd_ = 0;        // first byte after the globals' EOF
    std::vector<SheetInfo> sheets_;
    std::vector<QString> sst_;
    std::vector<bool> dateXf_;
};
