#pragma once

#include "platform/workbook/Container.h"
#include "platform/workbook/Workbook.h"

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

class XlsSheet : public WorkbookSheet {
public:
    QString name() const { return name_; }
    // Rows and columns count from 0. One past the last row and column that
    // hold a cell with a value: blank cells, styled only, widen nothing, nor
    // does a DIMENSION record; 0 for an empty sheet.
    int rowCount() const override { return rowCount_; }
    int columnCount() const override { return columnCount_; }
    // Decodes the cell's row on first use and keeps the last row decoded,
    // so reading row by row decodes each row once. Not thread-safe.
    WorkbookCell cell(int row, int column) const override;

private:
    friend class XlsWorkbookDecoder;

    // Opening a sheet only notes where each row's records lie: a run is a
    // stretch of records whose cells are all in one row.
    struct Run {
        std::uint32_t begin;
        std::uint32_t end;
        std::uint32_t row;
    };
    static constexpr std::uint32_t kNoSst = 0xFFFFFFFF;
    struct RowCell {
        std::uint16_t col;
        std::uint16_t xf;
        WorkbookCell::Kind kind;
        double value;
        QString text;
        // A shared string's index: its text is made only when the cell is
        // read (the department pass reads two cells of a row of 31).
        std::uint32_t sst = kNoSst;
    };

    QString name_;
    int rowCount_ = 0;
    int columnCount_ = 0;
    std::vector<Run> runs_;               // ordered by row
    std::vector<std::uint32_t> rowRuns_;  // runs_ of row r: [rowRuns_[r], rowRuns_[r+1])
    class XlsWorkbook* book_ = nullptr;

    mutable int cachedRow_ = -1;
    mutable std::vector<RowCell> rowCells_; // ordered by column, unique
};

class XlsCodePage;

class XlsWorkbook : public Workbook {
public:
    enum class Version { Biff5, Biff8 };

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
    bool uses1904Dates() const override { return dates1904_; }
    int codePage() const { return codePage_; }

    int sheetCount() const override { return int(sheets_.size()); }
    QString sheetName(int index) const override;
    SheetType sheetType(int index) const override;
    Visibility sheetVisibility(int index) const override;
    // The worksheet shown when the workbook opens.
    int activeSheetIndex() const override { return active_; }

    const XlsSheet& sheet(int index) override;
    const XlsSheet& activeSheet() { return sheet(active_); }

    // Whether cell format (XF) `xf` shows numbers as dates or times.
    bool isDateXf(int xf) const;
    // The shared string `index`, empty when out of range.
    QString sharedString(std::uint32_t index) const;
    qsizetype sharedStringSize(std::uint32_t index) const;

private:
    friend class XlsWorkbookDecoder;
    XlsWorkbook() = default;

    struct SheetInfo {
        QString name;
        SheetType type = SheetType::Other;
        Visibility visibility = Visibility::Visible;
        std::uint32_t offset = 0;
        std::unique_ptr<XlsSheet> cells;
    };

    static std::unique_ptr<XlsWorkbook> fromBuffer(container::Buffer buffer, qsizetype size,
                                                   const QString& label);

    container::Buffer buffer_; // owns stream_'s bytes when read from a file
    QByteArray stream_;
    QString label_;
    Version version_ = Version::Biff8;
    bool dates1904_ = false;
    bool decrypted_ = false;              // FILEPASS met, default password fitted
    int codePage_ = 1252;
    int active_ = 0;
    std::uint32_t globalsEnd_ = 0;        // first byte after the globals' EOF
    std::vector<SheetInfo> sheets_;
    // The shared strings one after another, not one allocation each: a
    // realistic sheet has a million of them.
    std::vector<char16_t> sstText_;
    std::vector<std::uint64_t> sstEnd_;  // where string i ends in sstText_
    std::vector<bool> dateXf_;
    std::unique_ptr<XlsCodePage> text_;   // BIFF5 text
};
