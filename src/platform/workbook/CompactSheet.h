#pragma once

#include "platform/workbook/Workbook.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <cstdint>
#include <vector>

class Error;

// The cells of one sheet of an .xlsx, .ods or .csv file, kept compact while
// the file is read: 16 bytes a cell (position, kind, number or a slice of
// UTF-8 text) and the texts in one buffer, so that 65,535 x 31 cells cost
// tens of megabytes, not a string object each. Texts become Qt strings only
// when their cell is read.
//
// Every format passes here, so the limits of the spreadsheet programs are
// kept here: no cell outside XFD1048576, no text over 32,767 characters, no
// number that is not finite (it reads as #NUM!). Cells without a value are
// not kept: the used range is the cells with values.
class CompactSheet final : public WorkbookSheet {
public:
    // The largest sheet a spreadsheet program makes: XFD1048576.
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    // Beyond this many stored cells (400 MB) a file is refused; the
    // largest sheets written in practice, 1,048,576 rows by 20 columns,
    // stay below it.
    static constexpr std::uint32_t kMaxCells = 25'000'000;
    // The longest text of a cell, in UTF-16 units as the spreadsheet
    // programs count, and the most UTF-8 bytes such a text can take.
    static constexpr int kMaxTextChars = 32767;
    static constexpr std::uint32_t kMaxTextBytes = 3 * kMaxTextChars;
    // A length no text has: the text was too long to be kept (a shared
    // string past kMaxTextBytes); a cell naming it is refused.
    static constexpr std::uint32_t kTooLong = 0xFFFFFFFE;

    // `label` names the file in error texts, `sheetName` the sheet.
    explicit CompactSheet(const QString& label, const QString& sheetName = QString())
        : label_(label), sheetName_(sheetName)
    {
    }
    const QString& label() const { return label_; }
    const QString& sheetName() const { return sheetName_; }

    // Building. Rows and columns count from 0; a cell outside the largest
    // sheet raises Error with the reason. A later cell at the same position
    // replaces an earlier one. Raise Error past kMaxCells.
    // A number that is NaN or infinite is kept as the error #NUM!.
    void addNumber(int row, int column, double value, bool isDate);
    void addBool(int row, int column, bool value);
    // A text (or an error's name) already in the sheet's text buffer;
    // raises Error naming the cell when it is over kMaxTextChars.
    void addText(int row, int column, std::uint32_t offset, std::uint32_t length);
    void addError(int row, int column, std::uint32_t offset, std::uint32_t length);
    // A cell with nothing in it (a styled empty cell) is not kept: it is
    // no part of the used range.
    void addEmpty(int row, int column);
    // The refusal of a text over kMaxTextChars in the cell, for readers
    // that find out before the text is stored.
    Error textTooLong(int row, int column) const;
    // "B12" for row 11, column 1.
    static QString cellName(int row, int column);
    // Raises Error unless `cells` more cells fit below kMaxCells, before a
    // reader repeats a row that many times.
    void expect(std::uint64_t cells) const;
    // Appends UTF-8 to the text buffer and gives its offset.
    std::uint32_t storeText(QByteArrayView utf8);
    // The text buffer itself, for readers that fill it whole.
    QByteArray& texts() { return texts_; }
    // A sheet read in pieces has a part for each piece, appended in order.
    // A part may name a text by its index in a table that is not read yet
    // (an .xlsx file's shared strings).
    void addTextByIndex(int row, int column, std::uint32_t index);
    // Appends the cells and texts of `part`; a text named by its index
    // becomes slice `index` of `slices` (offset << 32 | length, texts of
    // this sheet). An index with no slice raises Error with `noSlice`.
    void append(CompactSheet&& part, const std::vector<std::uint64_t>& slices, const QString& noSlice);
    // Room for all parts at once: their cells and texts.
    void reserveFor(const std::vector<const CompactSheet*>& parts);
    // Orders the cells and indexes the rows; call once, after the last cell.
    // The used range ends with the last row and column that hold a value.
    void finish();

    int rowCount() const override { return rowCount_; }
    int columnCount() const override { return columnCount_; }
    WorkbookCell cell(int row, int column) const override;
    WorkbookCell cellUtf8(int row, int column, QByteArrayView& utf8) const override;
    bool readsConcurrently() const override { return true; } // nothing changes once finished

    // Excel's date serial of a date and time (1900 system, with its
    // 29 February 1900); NaN before 1900-01-01.
    static double dateSerial(const QDate& date, double secondsOfDay);
    // The serial of an ISO 8601 date, date and time, or time
    // ("2020-01-05T13:45:00"); NaN when it is none.
    static double isoDateSerial(QByteArrayView text);

private:
    struct Cell {
        std::uint32_t row;
        std::uint16_t column;
        WorkbookCell::Kind kind;
        bool isDate;
        union {
            double number;
            struct {
                std::uint32_t offset;
                std::uint32_t length;
            } text;
        };
    };
    void push(const Cell& c);
    void checkText(const Cell& c) const;
    const Cell* find(int row, int column) const;

    QString label_;
    QString sheetName_;
    std::uint32_t numError_ = kTooLong; // where "#NUM!" is in the text buffer, once stored
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> rowStart_; // cells of row r: [rowStart_[r], rowStart_[r + 1])
    QByteArray texts_;
    bool ordered_ = true;
    int rowCount_ = 0;
    int columnCount_ = 0;
};

// The BIFF code of an error value's name ("#DIV/0!" is 0x07), -1 if unknown.
int errorCode(QByteArrayView name);
