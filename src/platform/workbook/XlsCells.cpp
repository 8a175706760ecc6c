#include "platform/workbook/XlsRecords.h"

#include <cmath>

using namespace xlsrec;

namespace {
bool isCellRecord(std::uint16_t type)
{
    switch (type) {
    case kNumber: case kRk: case kMulRk: case kBlank: case kMulBlank: case kBoolErr:
    case kLabelSst: case kLabel: case kRString: case kFormula: case kFormula4:
        return true;
    default:
        return false;
    }
}

// Excel 5 to 2003 sheets have 256 columns; cells past them are dropped, as
// Excel drops them, so that no file can claim a wider used range.
constexpr std::uint32_t kColumns = 256;

// The BIFF code of #NUM!, which a number that is NaN or infinite reads as.
constexpr double kNumError = 0x24;

// The spreadsheet programs' limit of a cell's text, in UTF-16 units; BIFF8
// counts could give twice that.
constexpr qsizetype kMaxCellChars = 32767;

QString columnLetters(std::uint32_t column)
{
    QString letters;
    for (std::uint32_t c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + int((c - 1) % 26)));
    return letters;
}

// Blank cells carry a format only: they make no sheet wider or longer.
bool isBlank(std::uint16_t type) { return type == kBlank || type == kMulBlank; }

// The last column of a cell record, or -1 when it is too short to hold a
// cell or starts past the last column. The lengths here are the ones the
// row decoder relies on.
int lastColumn(std::uint16_t type, const uchar* d, std::uint16_t length)
{
    std::uint32_t minLength = 0;
    std::uint32_t each = 0; // bytes per cell of the multiple-cell records
    switch (type) {
    case kNumber: minLength = 14; break;
    case kRk: minLength = 10; break;
    case kBlank: minLength = 6; break;
    case kBoolErr: minLength = 8; break;
    case kLabelSst: minLength = 10; break;
    case kLabel: case kRString: minLength = 8; break;
    case kFormula: case kFormula4: minLength = 20; break;
    case kMulRk: each = 6; minLength = 12; break;
    case kMulBlank: each = 2; minLength = 8; break;
    default: return -1;
    }
    if (length < minLength)
        return -1;
    const std::uint32_t first = u16(d + 2);
    if (first >= kColumns)
        return -1;
    if (each == 0)
        return int(first);
    return int(std::min<std::uint32_t>(first + (length - 6u) / each - 1, kColumns - 1));
}
} // namespace

// The characters of a text cell's record, checked before any is decoded; 0
// for other cells.
qsizetype XlsWorkbookDecoder::textLength(const XlsWorkbook& book, const Record& r, const uchar* d)
{
    const bool biff8 = book.version_ == XlsWorkbook::Version::Biff8;
    switch (r.type) {
    case kLabelSst:
        return book.sharedStringSize(u32(d + 6));
    case kLabel:
    case kRString: {
        const qsizetype count = u16(d + 6);
        if (biff8 || count <= kMaxCellChars)
            return count; // characters in BIFF8, at least as many bytes as characters in BIFF5
        return byteString(*book.text_, d + 6, r.length - 6u, true).size();
    }
    default:
        return 0;
    }
}

void XlsWorkbookDecoder::worksheet(XlsWorkbook& book, int index)
{
    auto sheet = std::make_unique<XlsSheet>();
    sheet->name_ = book.sheets_[size_t(index)].name;
    sheet->book_ = &book;
    std::vector<XlsSheet::Run>& runs = sheet->runs_;

    RecordWalker walk(book.stream_, findSheetBof(book, index));
    Record r;
    int depth = 0;
    bool ended = false;
    bool open = false; // whether the last run may grow
    int maxRow = -1;
    int maxCol = -1;
    std::int64_t lastFormula = -1; // row << 16 | column of the last formula cell
    auto tooLong = [&](std::uint32_t row, std::uint32_t column) {
        fail(QStringLiteral("第%1行%2列的文字超过32767个字符，是表格单元格容纳不下的长度，请检查该单元格")
                 .arg(row + 1).arg(columnLetters(column)),
             book.label_);
    };
    while (!ended && walk.next(r)) {
        if (r.type == kBof) {
            ++depth;
            open = false; // an embedded chart's records are not the sheet's
            continue;
        }
        if (r.type == kEof) {
            if (--depth <= 0)
                ended = true;
            open = false;
            continue;
        }
        if (depth != 1)
            continue;
        const std::uint32_t end = r.pos + r.length;
        // A formula's text result, in the STRING record after it.
        if (r.type == kString && lastFormula >= 0 && book.version_ == XlsWorkbook::Version::Biff8 && r.length >= 2
            && u16(walk.at(r.pos)) > kMaxCellChars)
            tooLong(std::uint32_t(lastFormula >> 16), std::uint32_t(lastFormula & 0xFFFF));
        if (!isCellRecord(r.type)) {
            // FORMULA's STRING, CONTINUE and the like stay with their cell.
            if (open)
                runs.back().end = end;
            continue;
        }
        const uchar* d = walk.at(r.pos);
        const int col = lastColumn(r.type, d, r.length);
        if (col < 0)
            continue;
        const std::uint32_t row = u16(d);
        if (textLength(book, r, d) > kMaxCellChars)
            tooLong(row, u16(d + 2));
        lastFormula = r.type == kFormula || r.type == kFormula4 ? std::int64_t(row) << 16 | u16(d + 2) : -1;
        if (isBlank(r.type)) {
            // Only inside a run of cells with values, where it costs nothing.
            if (open && runs.back().row == row)
                runs.back().end = end;
            else
                open = false;
            continue;
        }
        maxRow = std::max(maxRow, int(row));
        maxCol = std::max(maxCol, col);
        if (open && runs.back().row == row)
            runs.back().end = end;
        else
            runs.push_back({r.pos - 4, end, row});
        open = true;
    }
    if (!ended)
        fail(QString::fromUtf16(kDamaged), book.label_);

    // Rows come in order from Excel; other writers may mix them.
    if (!std::is_sorted(runs.begin(), runs.end(),
                        [](const XlsSheet::Run& a, const XlsSheet::Run& b) { return a.row < b.row; }))
        std::stable_sort(runs.begin(), runs.end(),
                         [](const XlsSheet::Run& a, const XlsSheet::Run& b) { return a.row < b.row; });
    runs.shrink_to_fit();
    sheet->rowCount_ = maxRow + 1;
    sheet->columnCount_ = maxCol + 1;
    sheet->rowRuns_.assign(size_t(sheet->rowCount_) + 1, 0);
    for (const XlsSheet::Run& run : runs)
        ++sheet->rowRuns_[size_t(run.row) + 1];
    for (size_t i = 1; i < sheet->rowRuns_.size(); ++i)
        sheet->rowRuns_[i] += sheet->rowRuns_[i - 1];
    book.sheets_[size_t(index)].cells = std::move(sheet);
}

void XlsWorkbookDecoder::row(const XlsSheet& sheet, int rowIndex)
{
    const XlsWorkbook& book = *sheet.book_;
    const bool biff8 = book.version_ == XlsWorkbook::Version::Biff8;
    std::vector<XlsSheet::RowCell>& cells = sheet.rowCells_;
    cells.clear();
    using Kind = WorkbookCell::Kind;
    auto push = [&](std::uint16_t col, std::uint16_t xf, Kind kind, double value) {
        if (kind == Kind::Number && !std::isfinite(value))
            cells.push_back({col, xf, Kind::Error, kNumError, QString()});
        else
            cells.push_back({col, xf, kind, value, QString()});
    };
    auto text = [&](const uchar* p, std::uint32_t n) {
        QString out;
        if (biff8) {
            Segments seg;
            seg.add(p, n);
            seg.readUnicodeString(out, true);
        } else {
            out = byteString(*book.text_, p, n, true);
        }
        return out;
    };

    for (std::uint32_t i = sheet.rowRuns_[size_t(rowIndex)]; i < sheet.rowRuns_[size_t(rowIndex) + 1]; ++i) {
        const XlsSheet::Run& run = sheet.runs_[i];
        RecordWalker walk(book.stream_, run.begin, run.end);
        Record r;
        size_t pendingString = SIZE_MAX; // the formula whose text result follows
        while (walk.next(r)) {
            const uchar* d = walk.at(r.pos);
            if (isCellRecord(r.type)) {
                pendingString = SIZE_MAX;
                if (lastColumn(r.type, d, r.length) < 0 || u16(d) != run.row)
                    continue;
            }
            switch (r.type) {
            case kNumber:
                push(u16(d + 2), u16(d + 4), Kind::Number, f64(d + 6));
                break;
            case kRk:
                push(u16(d + 2), u16(d + 4), Kind::Number, rkValue(u32(d + 6)));
                break;
            case kMulRk: {
                const std::uint32_t first = u16(d + 2);
                const std::uint32_t n = (r.length - 6u) / 6u;
                for (std::uint32_t k = 0; k < n && first + k < kColumns; ++k) {
                    const uchar* p = d + 4 + 6 * k;
                    push(std::uint16_t(first + k), u16(p), Kind::Number, rkValue(u32(p + 2)));
                }
                break;
            }
            case kBlank:
                push(u16(d + 2), u16(d + 4), Kind::Empty, 0);
                break;
            case kMulBlank: {
                const std::uint32_t first = u16(d + 2);
                const std::uint32_t n = (r.length - 6u) / 2u;
                for (std::uint32_t k = 0; k < n && first + k < kColumns; ++k)
                    push(std::uint16_t(first + k), u16(d + 4 + 2 * k), Kind::Empty, 0);
                break;
            }
            case kBoolErr:
                push(u16(d + 2), u16(d + 4), d[7] ? Kind::Error : Kind::Bool, d[6]);
                break;
            case kLabelSst:
                push(u16(d + 2), u16(d + 4), Kind::Text, 0);
                cells.back().sst = u32(d + 6);
                break;
            case kLabel:
            case kRString:
                push(u16(d + 2), u16(d + 4), Kind::Text, 0);
                cells.back().text = text(d + 6, r.length - 6u);
                break;
            case kFormula:
            case kFormula4: {
                const uchar* v = d + 6;
                const std::uint16_t col = u16(d + 2), xf = u16(d + 4);
                if (v[6] != 0xFF || v[7] != 0xFF) {
                    push(col, xf, Kind::Number, f64(v));
                    break;
                }
                switch (v[0]) {
                case 0: // text, in the STRING record that follows
                    pendingString = cells.size();
                    push(col, xf, Kind::Empty, 0);
                    break;
                case 1: push(col, xf, Kind::Bool, v[2] ? 1 : 0); break;
                case 2: push(col, xf, Kind::Error, v[2]); break;
                default: push(col, xf, Kind::Empty, 0); break;
                }
                break;
            }
            case kString:
                if (pendingString < cells.size()) {
                    XlsSheet::RowCell& c = cells[pendingString];
                    if (biff8) {
                        Segments seg;
                        seg.add(d, r.length);
                        while (walk.peekType() == kContinue && walk.next(r))
                            seg.add(walk.at(r.pos), r.length);
                        seg.readUnicodeString(c.text, true);
                    } else {
                        c.text = byteString(*book.text_, d, r.length, true);
                    }
                    c.kind = Kind::Text;
                    pendingString = SIZE_MAX;
                }
                break;
            default:
                break;
            }
        }
    }

    // A cell written twice keeps its last value.
    bool ordered = true;
    for (size_t i = 1; i < cells.size() && ordered; ++i)
        ordered = cells[i - 1].col < cells[i].col;
    if (!ordered) {
        std::stable_sort(cells.begin(), cells.end(),
                         [](const XlsSheet::RowCell& a, const XlsSheet::RowCell& b) { return a.col < b.col; });
        size_t out = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (out > 0 && cells[out - 1].col == cells[i].col)
                cells[out - 1] = std::move(cells[i]);
            else if (out != i)
                cells[out++] = std::move(cells[i]);
            else
                ++out;
        }
        cells.resize(out);
    }
    sheet.cachedRow_ = rowIndex;
}

WorkbookCell XlsSheet::cell(int row, int column) const
{
    WorkbookCell c;
    if (row < 0 || column < 0 || row >= rowCount_ || column >= columnCount_)
        return c;
    if (row != cachedRow_)
        XlsWorkbookDecoder::row(*this, row);
    // Rows filled from column A on hold column c at index c.
    auto it = rowCells_.begin();
    if (size_t(column) < rowCells_.size() && rowCells_[size_t(column)].col == column)
        it += column;
    else
        it = std::lower_bound(rowCells_.begin(), rowCells_.end(), column,
                              [](const RowCell& e, int col) { return e.col < col; });
    if (it == rowCells_.end() || it->col != column)
        return c;
    c.kind = it->kind;
    c.number = it->value;
    if (c.kind == WorkbookCell::Kind::Text)
        c.text = it->sst != kNoSst ? book_->sharedString(it->sst) : it->text;
    else if (c.kind == WorkbookCell::Kind::Number)
        c.isDate = book_->isDateXf(it->xf);
    return c;
}
