#pragma once

#include "platform/workbook/Workbook.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Error;

// The cells of one sheet of an .xlsx, .ods or .csv file, kept compact while
// the file is read: each row is one run of packed bytes (a tag byte a
// cell, then its number inline, a small integer as a varint, or its text as
// UTF-8 inline), and short texts that repeat down a column (departments,
// sexes, places) are kept once and named by their index. A realistic
// 1,048,575 x 31 sheet takes about 200 MB; no object is made per cell, and
// texts become Qt strings only when their cell is read.
//
// Every format passes here, so the limits of the spreadsheet programs are
// kept here: no cell outside XFD1048576, no text over 32,767 characters, no
// number that is not finite (it reads as #NUM!). What a sheet may take is
// bounded by its bytes (kMaxStoreBytes), not by a count of cells, so that
// a file of a few megabytes can make the reader allocate no more than that.
// Cells without a value are not kept: the used range is the cells with
// values.
class CompactSheet final : public WorkbookSheet {
public:
    // The largest sheet a spreadsheet program makes: XFD1048576.
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    // The most a sheet's cells and texts may take in memory: a realistic
    // sheet to the row limit with 31 columns takes about a third of it.
    static constexpr std::uint64_t kMaxStoreBytes = std::uint64_t(512) << 20;
    // The longest text of a cell, in UTF-16 units as the spreadsheet
    // programs count, and the most UTF-8 bytes such a text can take.
    static constexpr int kMaxTextChars = 32767;
    static constexpr std::uint32_t kMaxTextBytes = 3 * kMaxTextChars;
    // A length no text has: the text was too long to be kept (a shared
    // string past kMaxTextBytes); a cell naming it is refused.
    static constexpr std::uint32_t kTooLong = 0xFFFFFFFE;

    // `label` names the file in error texts, `sheetName` the sheet.
    explicit CompactSheet(const QString& label, const QString& sheetName = QString());
    ~CompactSheet() override;
    const QString& label() const { return label_; }
    const QString& sheetName() const { return sheetName_; }

    // Building. Rows and columns count from 0; a cell outside the largest
    // sheet raises Error with the reason. A later cell at the same position
    // replaces an earlier one. Raises Error past kMaxStoreBytes.
    // A number that is NaN or infinite is kept as the error #NUM!.
    void addNumber(int row, int column, double value, bool isDate);
    void addBool(int row, int column, bool value);
    // A text (or an error's name) as UTF-8, copied; raises Error naming
    // the cell when it is over kMaxTextChars.
    void addText(int row, int column, QByteArrayView utf8);
    void addError(int row, int column, QByteArrayView name);
    // A cell with nothing in it (a styled empty cell) is not kept: it is
    // no part of the used range.
    void addEmpty(int row, int column);
    // The refusal of a text over kMaxTextChars in the cell, for readers
    // that find out before the text is stored.
    Error textTooLong(int row, int column) const;
    // "B12" for row 11, column 1.
    static QString cellName(int row, int column);
    // Raises Error unless `cells` more cells can fit, before a reader
    // repeats a row that many times (each cell takes at least a byte).
    void expect(std::uint64_t cells) const;

    // An .xlsx file's shared strings: `texts` holds them as UTF-8 and
    // `slices` says where (offset << 32 | length; kTooLong: refused). The
    // table is the caller's and must outlive the sheet. Cells may name a
    // string by its index before the table is given; finish() checks each
    // index and raises Error with `noSlice` for one past the table.
    void setSharedTexts(const QByteArray& texts, const std::vector<std::uint64_t>* slices, const QString& noSlice);
    void addTextByIndex(int row, int column, std::uint32_t index);
    // Adds the cells of `part` (a sheet read in pieces has a part for each
    // piece, added in order) and empties it.
    void append(CompactSheet&& part);
    // A part keeps its texts inline: the sheet it is appended to keeps
    // repeated ones once.
    void setInterning(bool on) { interning_ = on; }
    // Forgets every cell, to read the sheet again another way.
    void clear();
    // Orders the cells and indexes the rows; call once, after the last cell.
    // The used range ends with the last row and column that hold a value.
    void finish();

    int rowCount() const override { return rowCount_; }
    int columnCount() const override { return columnCount_; }
    WorkbookCell cell(int row, int column) const override;
    WorkbookCell cellUtf8(int row, int column, QByteArrayView& utf8) const override;
    bool readsConcurrently() const override { return true; } // nothing changes once finished
    // The bytes the cells and texts take (the shared strings not counted).
    std::uint64_t storeBytes() const { return storeBytes_; }

    // Excel's date serial of a date and time (1900 system, with its
    // 29 February 1900); NaN before 1900-01-01.
    static double dateSerial(const QDate& date, double secondsOfDay);
    // The serial of an ISO 8601 date, date and time, or time
    // ("2020-01-05T13:45:00"); NaN when it is none.
    static double isoDateSerial(QByteArrayView text);

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        std::uint32_t used = 0, capacity = 0;
    };
    struct RowRef {
        std::uint32_t chunk = 0, offset = 0, size = 0; // size 0: an empty row
    };
    // A cell kept apart while cells come out of order; sorted in finish().
    struct LooseCell {
        std::uint32_t row;
        std::uint16_t column;
        std::uint32_t chunk, offset; // where its tag is
    };
    struct Interner;

    void begin(int row, int column, std::uint8_t tag);
    void end();
    void flushRow();
    // Copies `bytes` into the store; gives where they lie.
    std::pair<std::uint32_t, std::uint32_t> store(const char* bytes, size_t size);
    void grow(std::uint64_t bytes);
    void goLoose();
    void rebuildLoose();
    // The cells in order and in rows, nothing pending.
    void settle();
    void checkShared();
    // The interned index of a short text of `column`, -1 when it is kept inline.
    std::int64_t intern(int column, QByteArrayView utf8);
    const char* find(int row, int column) const;

    QString label_;
    QString sheetName_;
    std::uint64_t id_ = 0; // which sheet a reader's cached row belongs to
    std::vector<Chunk> chunks_;
    std::vector<RowRef> rows_; // rows_[r - rowBase_]
    int rowBase_ = -1;
    std::string pending_; // the row being built
    int pendingRow_ = -1, lastColumn_ = -1;
    bool loose_ = false;
    std::vector<LooseCell> looseCells_;
    std::uint64_t storeBytes_ = 0;
    bool interning_ = true;
    std::vector<std::unique_ptr<Interner>> interners_;
    std::vector<std::unique_ptr<char[]>> internArena_;
    size_t internUsed_ = 0;
    std::vector<std::pair<const char*, std::uint32_t>> interned_;
    QByteArray sharedTexts_;
    const std::vector<std::uint64_t>* sharedSlices_ = nullptr;
    QString noSlice_;
    std::int64_t maxShared_ = -1;
    int lastValueRow_ = -1, lastValueColumn_ = -1;
    int rowCount_ = 0;
    int columnCount_ = 0;
};

// The BIFF code of an error value's name ("#DIV/0!" is 0x07), -1 if unknown.
int errorCode(QByteArrayView name);
