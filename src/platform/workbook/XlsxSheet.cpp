// The worksheet part of an .xlsx file, streamed into a compact sheet. This
// is the hot path: a 65,535 x 31 sheet is over 100 MB of XML.
#include "platform/workbook/XlsxWorkbook.h"
#include "platform/workbook/XmlStream.h"

#include "platform/Errors.h"

#include <QDate>

#include <cstring>
#include <functional>

#include <charconv>
#include <cmath>
#include <limits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace xlsx {

namespace {

// A cell's text past this many bytes is refused before it is counted in
// characters: no text of 32,767 characters takes more.
constexpr size_t kMaxCellBytes = CompactSheet::kMaxTextBytes;

// The worksheet's start up to <sheetData> is parsed again before each
// piece; past this size the sheet is read in one go.
constexpr qsizetype kMaxHeadBytes = qsizetype(1) << 20;

const char16_t* const kBeyondSheet = u"单元格位置超出表格范围(最大为XFD1048576)，文件已损坏";
const char16_t* const kNotAWorksheet = u"工作表「%1」所指的部件%2不是工作表，文件已损坏，请用Excel或WPS打开后重新保存";
// Never shown: the sheet is then read again in one go.
const char16_t* const kNoPlace = u"单元格的位置取决于前面的行";

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && uchar(v.front()) <= ' ')
        v = v.sliced(1);
    while (!v.isEmpty() && uchar(v.back()) <= ' ')
        v.chop(1);
    return v;
}

// A number, or NaN or infinite ones ("NaN", "INF", "1e999"), which the
// sheet keeps as #NUM!.
bool parseDouble(QByteArrayView v, double& out)
{
    v = trimmed(v);
    if (!v.isEmpty() && v.front() == '+')
        v = v.sliced(1);
    const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    if (r.ec == std::errc::result_out_of_range && r.ptr == v.data() + v.size()) {
        // Too large, or too small to tell from 0.
        const bool tiny = v.contains("e-") || v.contains("E-");
        out = tiny ? 0.0 : std::copysign(std::numeric_limits<double>::infinity(), v.front() == '-' ? -1.0 : 1.0);
    } else if (r.ec != std::errc())
        return false;
    return !v.isEmpty() && r.ptr == v.data() + v.size();
}

// What a handler reads of the worksheet: all of it, or one piece.
struct Piece {
    bool first = true; // the document's start; later pieces follow a copy of its head
    bool last = true;  // the document's end
    qint64 end = 0;    // where a piece that is not the last ends
    bool byIndex = false; // shared strings named by index, not read yet
    // The first piece's position just past <sheetData>.
    std::function<void(qint64)> headFound;
    int maxRows = 0; // above 0: the rows from this one on are not read
};

class SheetHandler final : public XmlHandler {
public:
    SheetHandler(const QByteArray& part, const std::vector<bool>& dateXf, bool dates1904,
                 const XlsxWorkbook::SharedStrings& strings, CompactSheet& sheet, Piece piece = {})
        : part_(part), dateXf_(dateXf), dates1904_(dates1904), strings_(strings), sheet_(sheet),
          piece_(std::move(piece)), counting_(piece_.first)
    {
        buffer_.reserve(256);
    }

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        // A relationship may point a sheet at any part: only a worksheet is read.
        if (depth_ == 0 && name != "worksheet") {
            stop(QString::fromUtf16(kNotAWorksheet).arg(sheet_.sheetName(), QString::fromUtf8(part_)));
            return;
        }
        if (++depth_ == 2 && name == "sheetData") {
            inSheetData_ = true;
            // A later piece's own cells start here, past the copied head.
            if (!counting_)
                counting_ = true;
            else if (piece_.headFound)
                piece_.headFound(position());
            return;
        }
        if (!counting_)
            return;
        switch (name.size()) {
        case 1:
            if (name[0] == 'c')
                startCell(a, n);
            else if (name[0] == 'v' && inCell_)
                startText(false);
            else if (name[0] == 't' && inInline_ && phonetic_ == 0)
                collect_ = true; // rich-text runs add to what came before
            break;
        case 2:
            if (name == "is" && inCell_) {
                startText(false);
                collect_ = false;
                inInline_ = true;
            }
            break;
        case 3:
            if (name == "row")
                startRow(a, n);
            else if (name == "rPh")
                ++phonetic_;
            break;
        default:
            break;
        }
    }

    void endElement(QByteArrayView, QByteArrayView name) override
    {
        if (--depth_ == 1 && name == "sheetData")
            inSheetData_ = false;
        if (!counting_)
            return;
        // A piece ends after a row of sheetData, exactly where it was cut.
        if (!piece_.last && depth_ == 2 && inSheetData_ && name == "row" && position() == piece_.end) {
            endHere();
            return;
        }
        switch (name.size()) {
        case 1:
            if (name[0] == 'c' && inCell_) {
                try {
                    endCell();
                } catch (const Error& e) {
                    stop(e); // no exception may cross the C parser
                }
            }
            else if (name[0] == 'v' || name[0] == 't')
                collect_ = false;
            break;
        case 2:
            if (name == "is")
                inInline_ = false;
            break;
        case 3:
            if (name == "rPh")
                --phonetic_;
            break;
        default:
            break;
        }
    }

    void text(QByteArrayView chars) override
    {
        if (!collect_)
            return;
        if (buffer_.size() + size_t(chars.size()) > kMaxCellBytes) {
            collect_ = false;
            stop(sheet_.textTooLong(cellRow_, cellColumn_));
            return;
        }
        buffer_.append(chars.data(), size_t(chars.size()));
    }

private:
    void startRow(const XmlAttribute* a, int n)
    {
        const QByteArrayView r = attributeValue(a, n, "r");
        int row = row_ + 1;
        if (!r.isNull()) {
            const auto res = std::from_chars(r.data(), r.data() + r.size(), row);
            if (res.ec == std::errc::result_out_of_range)
                row = CompactSheet::kMaxRows + 1;
            else if (res.ec != std::errc() || res.ptr != r.data() + r.size())
                row = row_ + 2;
            --row; // 1-based in the file
        }
        if (row < 0 || row >= CompactSheet::kMaxRows) {
            stop(QString::fromUtf16(kBeyondSheet));
            return;
        }
        if (piece_.maxRows > 0 && row >= piece_.maxRows) {
            endHere();
            return;
        }
        if (r.isNull() && row_ < 0 && !piece_.first) {
            stop(QString::fromUtf16(kNoPlace)); // counts from rows in an earlier piece
            return;
        }
        row_ = row;
        nextColumn_ = 0;
    }

    void startCell(const XmlAttribute* a, int n)
    {
        int row = row_ < 0 ? 0 : row_;
        int column = nextColumn_;
        type_ = 'n';
        style_ = 0;
        for (int i = 0; i < n; ++i) {
            const XmlAttribute& at = a[i];
            if (at.name.size() != 1)
                continue;
            switch (at.name[0]) {
            case 'r':
                if (!parseCellReference(at.value, row, column)) {
                    stop(QString::fromUtf16(kBeyondSheet));
                    return;
                }
                break;
            case 't':
                // "s", "str", "inlineStr", "n", "b", "e", "d": the first
                // letter tells them apart but for "s"/"str".
                type_ = at.value.isEmpty() ? 'n' : at.value == "str" ? 'S' : at.value[0];
                break;
            case 's': {
                const auto res = std::from_chars(at.value.data(), at.value.data() + at.value.size(), style_);
                if (res.ec != std::errc())
                    style_ = 0;
                break;
            }
            default:
                break;
            }
        }
        if (column >= CompactSheet::kMaxColumns) {
            stop(QString::fromUtf16(kBeyondSheet));
            return;
        }
        if (row_ < 0 && !piece_.first) {
            stop(QString::fromUtf16(kNoPlace));
            return;
        }
        if (piece_.maxRows > 0 && row >= piece_.maxRows) {
            endHere();
            return;
        }
        row_ = row;
        cellRow_ = row;
        cellColumn_ = column;
        nextColumn_ = column + 1;
        inCell_ = true;
        hasValue_ = false;
        inInline_ = false;
        phonetic_ = 0;
    }

    void startText(bool)
    {
        buffer_.clear();
        hasValue_ = true;
        collect_ = true;
    }

    void endCell()
    {
        inCell_ = false;
        collect_ = false;
        const int r = cellRow_, c = cellColumn_;
        const QByteArrayView value(buffer_.data(), qsizetype(buffer_.size()));
        if (!hasValue_) {
            sheet_.addEmpty(r, c);
            return;
        }
        switch (type_) {
        case 's': {
            // An index that is negative, no number or past the table is a
            // damaged file, never an empty cell.
            std::uint32_t index = 0;
            const QByteArrayView v = trimmed(value);
            const auto res = std::from_chars(v.data(), v.data() + v.size(), index);
            if (res.ec != std::errc() || res.ptr != v.data() + v.size())
                index = std::numeric_limits<std::uint32_t>::max();
            // Checked against the table once it is read (finish()).
            sheet_.addTextByIndex(r, c, index);
            return;
        }
        case 'b':
            sheet_.addBool(r, c, trimmed(value) == "1" || trimmed(value) == "true");
            return;
        case 'e':
            sheet_.addError(r, c, trimmed(value));
            return;
        case 'd': {
            double serial = CompactSheet::isoDateSerial(value);
            // 1462 days lie between the two systems' day 0.
            if (dates1904_ && serial >= 1)
                serial -= 1462;
            if (std::isfinite(serial) && serial >= 0) {
                sheet_.addNumber(r, c, serial, true);
                return;
            }
            break; // kept as the text it is
        }
        case 'n': {
            double number = 0;
            if (trimmed(value).isEmpty()) {
                sheet_.addEmpty(r, c);
                return;
            }
            if (parseDouble(value, number)) {
                sheet_.addNumber(r, c, number, style_ >= 0 && size_t(style_) < dateXf_.size() && dateXf_[size_t(style_)]);
                return;
            }
            break;
        }
        case 'i': { // "inlineStr": Excel's escapes of control characters
            const qsizetype n = decodeEscapes(buffer_.data(), qsizetype(buffer_.size()));
            sheet_.addText(r, c, value.first(n));
            return;
        }
        default: // "str" (a formula's text)
            break;
        }
        sheet_.addText(r, c, value);
    }

    const QByteArray& part_;
    const std::vector<bool>& dateXf_;
    const bool dates1904_;
    const XlsxWorkbook::SharedStrings& strings_;
    CompactSheet& sheet_;
    const Piece piece_;
    bool counting_;
    int depth_ = 0;
    bool inSheetData_ = false;

    std::string buffer_;
    int row_ = -1;
    int nextColumn_ = 0;
    int cellRow_ = 0, cellColumn_ = 0;
    int style_ = 0;
    char type_ = 'n';
    bool inCell_ = false, inInline_ = false, hasValue_ = false, collect_ = false;
    int phonetic_ = 0;
};

} // namespace

bool parseCellReference(QByteArrayView ref, int& row, int& column)
{
    qsizetype i = 0;
    int col = 0;
    while (i < ref.size() && i < 4) {
        const char ch = ref[i];
        const int letter = ch >= 'A' && ch <= 'Z' ? ch - 'A' : ch >= 'a' && ch <= 'z' ? ch - 'a' : -1;
        if (letter < 0)
            break;
        col = col * 26 + letter + 1;
        ++i;
    }
    if (i == 0 || i == 4 || col > CompactSheet::kMaxColumns)
        return false;
    int r = 0;
    const qsizetype digits = i;
    for (; i < ref.size() && i - digits < 8; ++i) {
        const char ch = ref[i];
        if (ch < '0' || ch > '9')
            return false;
        r = r * 10 + (ch - '0');
    }
    if (i != ref.size() || i == digits || r < 1 || r > CompactSheet::kMaxRows)
        return false;
    row = r - 1;
    column = col - 1;
    return true;
}

namespace {

// Just past a row's end tag ("</row>", "</x:row>") at or after `from`; -1
// when there is none. A cut anywhere else makes the piece fail to parse.
qsizetype cutAfterRowEnd(QByteArrayView d, qsizetype from)
{
    for (qsizetype i = d.indexOf("row>", from); i >= 0; i = d.indexOf("row>", i + 1)) {
        qsizetype k = i;
        if (k > 0 && d[k - 1] == ':')
            for (--k; k > 0 && d[k - 1] != '/' && d[k - 1] != '<' && uchar(d[k - 1]) > ' '; --k) {}
        if (k >= 2 && d[k - 1] == '/' && d[k - 2] == '<')
            return i + 4;
    }
    return -1;
}

struct SheetArgs {
    const ZipContainer& zip;
    const QByteArray& part;
    const std::vector<bool>& dateXf;
    bool dates1904;
    const XlsxWorkbook::SharedStrings& strings;
    const std::function<void()>& waitForStrings;
};

void readWhole(const SheetArgs& a, CompactSheet& sheet, int maxRows)
{
    const std::unique_ptr<ZipStream> in = a.zip.openStream(a.part);
    if (!in)
        throw Error(QStringLiteral("工作表数据不存在，文件已损坏: ") + a.zip.path());
    Piece whole;
    whole.maxRows = maxRows;
    SheetHandler h(a.part, a.dateXf, a.dates1904, a.strings, sheet, std::move(whole));
    XmlStream stream(h, a.zip.path());
    stream.pull([&](char* data, size_t size) { return in->read(data, size); });
}

// Cuts the sheet's XML after row end tags as it inflates and parses the
// pieces on two threads, each into a part of the sheet. Each piece after
// the first is parsed behind a copy of the document's head (up to and with
// <sheetData>), so the parser sees a document as it would in one go; a
// piece that does not end exactly at the row end where it was cut fails.
// False when anything failed (a cut in a comment or CDATA, rows that count
// on earlier pieces, any error in the file): then nothing was added.
bool readInPieces(const SheetArgs& a, CompactSheet& sheet, qsizetype pieceBytes)
{
    const std::unique_ptr<ZipStream> in = a.zip.openStream(a.part, cutAfterRowEnd, pieceBytes);
    if (!in)
        throw Error(QStringLiteral("工作表数据不存在，文件已损坏: ") + a.zip.path());
    std::mutex mutex;
    std::condition_variable headKnown;
    QByteArray head;
    bool failed = false;
    std::map<int, std::unique_ptr<CompactSheet>> parts;
    int merged = 0; // parts in the sheet
    bool merging = false;

    auto fail = [&] {
        std::lock_guard lock(mutex);
        failed = true;
        headKnown.notify_all();
    };
    auto readPiece = [&](const QByteArray& bytes, int number, bool last) {
        auto partSheet = std::make_unique<CompactSheet>(a.zip.path(), sheet.sheetName());
        partSheet->setInterning(false);
        Piece piece;
        piece.byIndex = true;
        piece.first = number == 0;
        piece.last = last;
        QByteArray prefix;
        if (piece.first) {
            piece.headFound = [&](qint64 at) {
                std::lock_guard lock(mutex);
                if (at > 0 && at <= kMaxHeadBytes && at <= bytes.size())
                    head = bytes.first(at);
                else
                    failed = true;
                headKnown.notify_all();
            };
        } else {
            std::unique_lock lock(mutex);
            headKnown.wait(lock, [&] { return failed || !head.isEmpty(); });
            if (failed)
                return false;
            prefix = head;
        }
        piece.end = prefix.size() + bytes.size();
        SheetHandler h(a.part, a.dateXf, a.dates1904, a.strings, *partSheet, std::move(piece));
        XmlStream stream(h, a.zip.path());
        const QByteArrayView pieces[2] = {prefix, bytes};
        int which = 0;
        qsizetype at = 0;
        stream.pull([&](char* data, size_t size) {
            size_t done = 0;
            while (done < size && which < 2) {
                const QByteArrayView from = pieces[which];
                const size_t n = std::min(size - done, size_t(from.size() - at));
                if (n > 0)
                    std::memcpy(data + done, from.data() + at, n);
                done += n;
                at += qsizetype(n);
                if (at == from.size()) {
                    ++which;
                    at = 0;
                }
            }
            return done;
        });
        if (number == 0 && !last && head.isEmpty())
            return false; // no <sheetData> in the first piece
        // Parts go into the sheet in order as soon as they can, by one
        // thread at a time, so that only a few pieces' cells wait.
        std::unique_lock lock(mutex);
        parts[number] = std::move(partSheet);
        if (merging)
            return true;
        merging = true;
        while (!failed && !parts.empty() && parts.begin()->first == merged) {
            std::unique_ptr<CompactSheet> next = std::move(parts.begin()->second);
            parts.erase(parts.begin());
            lock.unlock();
            try {
                sheet.append(std::move(*next));
            } catch (...) {
                lock.lock();
                merging = false;
                throw;
            }
            next.reset();
            lock.lock();
            ++merged;
        }
        merging = false;
        return true;
    };
    auto work = [&] {
        try {
            QByteArray bytes;
            int number = 0;
            bool last = false;
            for (;;) {
                {
                    std::lock_guard lock(mutex);
                    if (failed)
                        return;
                }
                if (!in->takePiece(bytes, number, last))
                    return;
                if (!readPiece(bytes, number, last))
                    return fail();
                in->giveBack(std::move(bytes));
                bytes = QByteArray();
            }
        } catch (...) {
            fail();
        }
    };
    {
        std::thread helper(work);
        work();
        helper.join();
    }
    a.waitForStrings();
    if (failed || merged == 0 || !parts.empty()) {
        sheet.clear();
        return false;
    }
    return true;
}

} // namespace

bool parseWorksheet(const ZipContainer& zip, const QByteArray& part, const std::vector<bool>& dateXf, bool dates1904,
                    const XlsxWorkbook::SharedStrings& strings, const std::function<void()>& waitForStrings,
                    CompactSheet& sheet, qsizetype pieceBytes, int maxRows)
{
    const SheetArgs args{zip, part, dateXf, dates1904, strings, waitForStrings};
    const bool inPieces = pieceBytes > 0 && maxRows <= 0 && readInPieces(args, sheet, pieceBytes);
    if (!inPieces) {
        waitForStrings();
        readWhole(args, sheet, maxRows);
    }
    sheet.setSharedTexts(strings.texts, &strings.slices, noSharedString(strings, zip.path()));
    sheet.finish();
    return inPieces;
}

} // namespace xlsx
