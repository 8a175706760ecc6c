// The worksheet part of an .xlsx file, streamed into a compact sheet. This
// is the hot path: a 65,535 x 31 sheet is over 100 MB of XML.
#include "platform/workbook/XlsxWorkbook.h"
#include "platform/workbook/XmlStream.h"

#include "platform/Errors.h"

#include <QDate>

#include <charconv>
#include <cmath>
#include <string>

namespace xlsx {

namespace {

// A cell's text past this many bytes is refused (Excel's own limit is
// 32,767 characters).
constexpr size_t kMaxCellBytes = size_t(16) << 20;

const char16_t* const kBeyondSheet = u"单元格位置超出表格范围(最大为XFD1048576)，文件已损坏";
const char16_t* const kTextTooLong = u"单元格的文字过长，文件已损坏";

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && uchar(v.front()) <= ' ')
        v = v.sliced(1);
    while (!v.isEmpty() && uchar(v.back()) <= ' ')
        v.chop(1);
    return v;
}

bool parseDouble(QByteArrayView v, double& out)
{
    v = trimmed(v);
    if (!v.isEmpty() && v.front() == '+')
        v = v.sliced(1);
    const auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    return !v.isEmpty() && r.ec == std::errc() && r.ptr == v.data() + v.size() && std::isfinite(out);
}

class SheetHandler final : public XmlHandler {
public:
    SheetHandler(const std::vector<bool>& dateXf, bool dates1904, const XlsxWorkbook::SharedStrings& strings,
                 CompactSheet& sheet)
        : dateXf_(dateXf), dates1904_(dates1904), strings_(strings), sheet_(sheet)
    {
        buffer_.reserve(256);
    }

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
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
            stop(QString::fromUtf16(kTextTooLong));
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
            if (res.ec != std::errc() || res.ptr != r.data() + r.size())
                row = row_ + 2;
            --row; // 1-based in the file
        }
        if (row < 0 || row >= CompactSheet::kMaxRows) {
            stop(QString::fromUtf16(kBeyondSheet));
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
            std::uint32_t index = 0;
            const QByteArrayView v = trimmed(value);
            const auto res = std::from_chars(v.data(), v.data() + v.size(), index);
            if (res.ec != std::errc() || res.ptr != v.data() + v.size() || index >= strings_.slices.size()) {
                sheet_.addEmpty(r, c);
                return;
            }
            const std::uint64_t slice = strings_.slices[index];
            sheet_.addText(r, c, std::uint32_t(slice >> 32), std::uint32_t(slice));
            return;
        }
        case 'b':
            sheet_.addBool(r, c, trimmed(value) == "1" || trimmed(value) == "true");
            return;
        case 'e':
            sheet_.addError(r, c, sheet_.storeText(trimmed(value)), std::uint32_t(trimmed(value).size()));
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
        default: // "str" (a formula's text), "inlineStr"
            break;
        }
        sheet_.addText(r, c, sheet_.storeText(value), std::uint32_t(value.size()));
    }

    const std::vector<bool>& dateXf_;
    const bool dates1904_;
    const XlsxWorkbook::SharedStrings& strings_;
    CompactSheet& sheet_;

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

void parseWorksheet(const ZipContainer& zip, const QByteArray& part, const std::vector<bool>& dateXf, bool dates1904,
                    const XlsxWorkbook::SharedStrings& strings, CompactSheet& sheet)
{
    SheetHandler h(dateXf, dates1904, strings, sheet);
    const std::unique_ptr<ZipStream> in = zip.openStream(part);
    if (!in)
        throw Error(QStringLiteral("工作表数据不存在，文件已损坏: ") + zip.path());
    XmlStream stream(h, zip.path());
    stream.pull([&](char* data, size_t size) { return in->read(data, size); });
    sheet.finish();
}

} // namespace xlsx
