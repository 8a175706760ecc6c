#include "platform/workbook/OdsWorkbook.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"
#include "platform/workbook/XmlStream.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>
#include <cmath>
#include <string>

namespace {

constexpr qint64 kMaxSettings = qint64(64) << 20;
// A cell's text past this many bytes is refused.
constexpr size_t kMaxCellBytes = size_t(16) << 20;
// text:s asks for this many spaces at most.
constexpr int kMaxSpaces = 1024;
// Days from the 1900 system's serials to the 1904 system's.
constexpr double k1904Offset = 1462;
// Repeat counts and the row and column counters stop here: far past the
// largest sheet, and far from overflowing however many repeats add up.
constexpr qint64 kCountCeiling = qint64(1) << 40;

constexpr QByteArrayView kOfficeNs("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
constexpr QByteArrayView kTableNs("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
constexpr QByteArrayView kTextNs("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
constexpr QByteArrayView kStyleNs("urn:oasis:names:tc:opendocument:xmlns:style:1.0");

const char16_t* const kPassword = u"工作簿有密码保护，请先取消密码";
const char16_t* const kTextTooLong = u"单元格的文字过长，文件已损坏";

// The namespaces the content is read by, told apart by one comparison per
// name (their lengths differ) instead of one for each test.
enum class Ns { Other, Office, Table, Text, Style };
Ns nsOf(QByteArrayView uri)
{
    for (const auto& [name, ns] : {std::pair(kTableNs, Ns::Table), std::pair(kTextNs, Ns::Text),
                                   std::pair(kOfficeNs, Ns::Office), std::pair(kStyleNs, Ns::Style)})
        if (uri.size() == name.size() && std::memcmp(uri.data(), name.data(), size_t(name.size())) == 0)
            return ns;
    return Ns::Other;
}

QByteArrayView attribute(const XmlAttribute* a, int n, Ns ns, QByteArrayView name)
{
    for (int i = 0; i < n; ++i)
        if (a[i].name == name && nsOf(a[i].uri) == ns)
            return a[i].value;
    return QByteArrayView();
}

qint64 repeat(QByteArrayView v)
{
    qint64 n = 1;
    if (v.isNull())
        return 1;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec == std::errc::result_out_of_range && !v.startsWith('-'))
        return kCountCeiling;
    return r.ec == std::errc() && n >= 1 ? std::min(n, kCountCeiling) : 1;
}

qint64 saturatingAdd(qint64 counter, qint64 count)
{
    return std::min(counter + count, kCountCeiling); // both at most kCountCeiling
}


// "PT13H45M30S" (an ODF duration) in seconds; NaN when it is none.
double durationSeconds(QByteArrayView v)
{
    if (!v.startsWith("PT") && !v.startsWith("-PT"))
        return std::nan("");
    double total = 0, number = 0;
    bool haveNumber = false;
    for (qsizetype i = v.indexOf('T') + 1; i < v.size(); ++i) {
        const char c = v[i];
        if ((c >= '0' && c <= '9') || c == '.') {
            qsizetype j = i;
            while (j < v.size() && ((v[j] >= '0' && v[j] <= '9') || v[j] == '.'))
                ++j;
            if (std::from_chars(v.data() + i, v.data() + j, number).ec != std::errc())
                return std::nan("");
            haveNumber = true;
            i = j - 1;
        } else if (haveNumber && (c == 'H' || c == 'M' || c == 'S')) {
            total += number * (c == 'H' ? 3600 : c == 'M' ? 60 : 1);
            haveNumber = false;
        } else {
            return std::nan("");
        }
    }
    return v.startsWith('-') ? -total : total;
}

// The active table's name in settings.xml.
class SettingsHandler final : public XmlHandler {
public:
    QString activeTable;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        collect_ = name == "config-item" && activeTable.isEmpty() && attributeValue(a, n, "name") == "ActiveTable";
    }
    void endElement(QByteArrayView, QByteArrayView) override
    {
        if (collect_)
            activeTable = QString::fromUtf8(text_);
        collect_ = false;
    }
    void text(QByteArrayView chars) override
    {
        if (collect_ && text_.size() < 4096)
            text_.append(chars);
    }

private:
    bool collect_ = false;
    QByteArray text_;
};

class ContentHandler final : public XmlHandler {
public:
    ContentHandler(QStringList& names, std::vector<bool>& hidden, int index, const QString& activeName, CompactSheet& sheet)
        : names_(names), hidden_(hidden), index_(index), activeName_(activeName), sheet_(sheet) {}

    int captured = -1; // the table whose cells were kept
    int maxRows = 0;   // above 0: the rows from this one on are not kept

    // The document's null date is 1904-01-01: its serials, durations
    // included, count in the 1904 system, as in the .xls it came from.
    bool dates1904 = false;

    void startElement(QByteArrayView uri, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        ++depth_;
        const Ns ns = nsOf(uri);
        if (ns == Ns::Style && tableDepth_ == 0) {
            // A table style that hides its tables: <style:style style:family="table">
            // <style:table-properties table:display="false"/>.
            if (name == "style")
                tableStyle_ = attribute(a, n, Ns::Style, "family") == "table" ? attribute(a, n, Ns::Style, "name").toByteArray()
                                                                               : QByteArray();
            else if (name == "table-properties" && !tableStyle_.isEmpty() && attribute(a, n, Ns::Table, "display") == "false")
                hiddenStyles_.push_back(tableStyle_);
            return;
        }
        if (ns == Ns::Table) {
            if (name == "table")
                startTable(a, n);
            else if (name == "null-date" && tableDepth_ == 0)
                dates1904 = attribute(a, n, Ns::Table, "date-value").startsWith("1904-01-01");
            else if (tableDepth_ == 1 && capturing_) {
                if (name == "table-row")
                    startRow(a, n);
                else if (name == "table-cell" || name == "covered-table-cell")
                    startCell(a, n, name == "covered-table-cell");
            }
            return;
        }
        if (cellDepth_ == 0 || ns != Ns::Text)
            return;
        if (name == "p" && depth_ == cellDepth_ + 1) {
            if (paragraphs_++ > 0)
                add("\n");
            inParagraph_ = true;
        } else if (inParagraph_) {
            if (name == "s") {
                const qint64 count = std::min<qint64>(repeat(attribute(a, n, Ns::Text, "c")), kMaxSpaces);
                add(std::string(size_t(count), ' '));
            } else if (name == "tab") {
                add("\t");
            } else if (name == "line-break") {
                add("\n");
            }
        }
    }

    void endElement(QByteArrayView uri, QByteArrayView name) override
    {
        const Ns ns = nsOf(uri);
        if (ns == Ns::Table) {
            if (name == "table")
                --tableDepth_;
            else if (depth_ == cellDepth_)
                endCell();
            else if (depth_ == rowDepth_)
                endRow();
        } else if (ns == Ns::Text && name == "p" && depth_ == cellDepth_ + 1) {
            inParagraph_ = false;
        }
        --depth_;
    }

    void text(QByteArrayView chars) override
    {
        if (inParagraph_)
            add(chars);
    }

private:
    void add(QByteArrayView chars)
    {
        if (text_.size() + size_t(chars.size()) > kMaxCellBytes) {
            inParagraph_ = false;
            stop(QString::fromUtf16(kTextTooLong));
            return;
        }
        text_.append(chars.data(), size_t(chars.size()));
    }

    void startTable(const XmlAttribute* a, int n)
    {
        if (++tableDepth_ != 1)
            return;
        const QString name = QString::fromUtf8(attribute(a, n, Ns::Table, "name"));
        const int at = int(names_.size());
        names_ << name;
        const QByteArrayView style = attribute(a, n, Ns::Table, "style-name");
        hidden_.push_back(!style.isEmpty() && std::find(hiddenStyles_.begin(), hiddenStyles_.end(), style) != hiddenStyles_.end());
        capturing_ = captured < 0 && (index_ >= 0 ? at == index_ : (activeName_.isEmpty() || name == activeName_));
        if (capturing_)
            captured = at;
        row_ = 0;
    }

    void startRow(const XmlAttribute* a, int n)
    {
        rowDepth_ = depth_;
        rowRepeat_ = repeat(attribute(a, n, Ns::Table, "number-rows-repeated"));
        column_ = 0;
        rowCells_.clear();
        rowTexts_.clear();
    }

    void startCell(const XmlAttribute* a, int n, bool covered)
    {
        cellDepth_ = depth_;
        columnRepeat_ = 1;
        covered_ = covered;
        text_.clear();
        paragraphs_ = 0;
        valueType_ = ValueType::None;
        value_.clear();
        hasValue_ = false;
        error_ = false;
        bool typeSeen = false, repeatSeen = false;
        for (int i = 0; i < n; ++i) {
            const XmlAttribute& at = a[i];
            const Ns ns = nsOf(at.uri);
            if (at.name == "value-type") {
                if (ns == Ns::Office && !typeSeen) {
                    typeSeen = true;
                    valueType_ = valueTypeOf(at.value);
                } else if (ns != Ns::Office && at.value == "error") {
                    error_ = true; // LibreOffice's calcext:value-type
                }
            } else if (ns == Ns::Office && at.name.endsWith("value")) {
                // value, date-value, time-value, boolean-value, string-value
                value_.assign(at.value.data(), size_t(at.value.size()));
                hasValue_ = true;
            } else if (ns == Ns::Table && at.name == "number-columns-repeated" && !repeatSeen) {
                repeatSeen = true;
                columnRepeat_ = repeat(at.value);
            }
        }
    }

    void endCell()
    {
        cellDepth_ = 0;
        inParagraph_ = false;
        const qint64 first = column_;
        column_ = saturatingAdd(column_, columnRepeat_);
        if (covered_)
            return; // a merged area's other cells hold nothing
        RowCell cell;
        const QByteArrayView v = hasValue_ ? QByteArrayView(value_.data(), qsizetype(value_.size())) : QByteArrayView();
        if (error_) {
            cell.kind = WorkbookCell::Kind::Error;
        } else if (valueType_ == ValueType::Number) {
            const auto r = std::from_chars(v.data(), v.data() + v.size(), cell.number);
            cell.kind = r.ec == std::errc() && std::isfinite(cell.number) ? WorkbookCell::Kind::Number
                                                                           : WorkbookCell::Kind::Text;
        } else if (valueType_ == ValueType::Date || valueType_ == ValueType::Time) {
            // A date is a calendar date: its serial in the workbook's system.
            cell.number = valueType_ == ValueType::Date ? CompactSheet::isoDateSerial(v) - (dates1904 ? k1904Offset : 0)
                                                        : durationSeconds(v) / 86400.0;
            cell.kind = std::isfinite(cell.number) ? WorkbookCell::Kind::Number : WorkbookCell::Kind::Text;
            cell.isDate = true;
        } else if (valueType_ == ValueType::Boolean) {
            cell.kind = WorkbookCell::Kind::Bool;
            cell.number = v == "true" || v == "1";
        } else if (valueType_ == ValueType::String || !text_.empty()) {
            cell.kind = WorkbookCell::Kind::Text;
            if (valueType_ == ValueType::String && hasValue_)
                text_.assign(v.data(), size_t(v.size())); // office:string-value stands for the paragraphs
        } else {
            return; // nothing in it
        }
        if (cell.kind == WorkbookCell::Kind::Text && text_.empty())
            return; // an empty string is an empty cell, styled or not
        if (column_ > CompactSheet::kMaxColumns) {
            // Repeated empty cells run past the edge freely; a value does not.
            // The repeats before it may be counted past any real sheet.
            stop(QStringLiteral("第%1行XFD列之后还有内容，超出了表格的最大列数(16384列)")
                     .arg(std::min<qint64>(row_, CompactSheet::kMaxRows - 1) + 1));
            return;
        }
        if (cell.kind == WorkbookCell::Kind::Text || cell.kind == WorkbookCell::Kind::Error) {
            try {
                cell.length = std::uint32_t(text_.size());
                cell.offset = std::uint32_t(rowTexts_.size());
                rowTexts_ += text_;
            } catch (const Error& e) {
                stop(e);
                return;
            }
        }
        const qint64 last = std::min<qint64>(column_, CompactSheet::kMaxColumns);
        for (qint64 c = first; c < last; ++c) {
            cell.column = int(c);
            rowCells_.push_back(cell);
        }
    }

    void endRow()
    {
        rowDepth_ = 0;
        const qint64 first = row_;
        row_ = saturatingAdd(row_, rowRepeat_);
        if (maxRows > 0 && row_ >= maxRows)
            capturing_ = false; // the rows asked for are read
        if (rowCells_.empty())
            return; // empty rows, however many, cost nothing
        if (row_ > CompactSheet::kMaxRows) {
            stop(QStringLiteral("第1048576行之后还有内容，超出了表格的最大行数(1048576行)"));
            return;
        }
        const qint64 last = maxRows > 0 ? std::min<qint64>(row_, maxRows) : row_;
        try {
            sheet_.expect(std::uint64_t(std::max<qint64>(last - first, 0)) * rowCells_.size());
            for (qint64 r = first; r < last; ++r) {
                for (const RowCell& c : rowCells_) {
                    switch (c.kind) {
                    case WorkbookCell::Kind::Number: sheet_.addNumber(int(r), c.column, c.number, c.isDate); break;
                    case WorkbookCell::Kind::Bool: sheet_.addBool(int(r), c.column, c.number != 0); break;
                    case WorkbookCell::Kind::Error: sheet_.addError(int(r), c.column, textOf(c)); break;
                    default: sheet_.addText(int(r), c.column, textOf(c)); break;
                    }
                }
            }
        } catch (const Error& e) {
            stop(e);
        }
    }

    struct RowCell {
        int column = 0;
        WorkbookCell::Kind kind = WorkbookCell::Kind::Empty;
        bool isDate = false;
        double number = 0;
        std::uint32_t offset = 0, length = 0;
    };

    QByteArrayView textOf(const RowCell& c) const
    {
        return QByteArrayView(rowTexts_.data() + c.offset, qsizetype(c.length));
    }

    QStringList& names_;
    std::vector<bool>& hidden_;
    std::vector<QByteArray> hiddenStyles_;
    QByteArray tableStyle_; // the table style being read
    const int index_;
    const QString activeName_;
    CompactSheet& sheet_;
    bool capturing_ = false;

    int depth_ = 0, tableDepth_ = 0, rowDepth_ = 0, cellDepth_ = 0;
    qint64 row_ = 0, rowRepeat_ = 1, column_ = 0, columnRepeat_ = 1;
    std::vector<RowCell> rowCells_;
    std::string rowTexts_; // the texts of rowCells_
    bool covered_ = false, error_ = false, inParagraph_ = false;
    int paragraphs_ = 0;
    enum class ValueType { None, Number, Date, Time, Boolean, String, Other };
    static ValueType valueTypeOf(QByteArrayView v)
    {
        if (v == "float" || v == "percentage" || v == "currency")
            return ValueType::Number;
        if (v == "date")
            return ValueType::Date;
        if (v == "time")
            return ValueType::Time;
        if (v == "boolean")
            return ValueType::Boolean;
        return v == "string" ? ValueType::String : ValueType::Other;
    }
    ValueType valueType_ = ValueType::None;
    std::string value_; // the last office:*value attribute
    bool hasValue_ = false;
    std::string text_;
};

} // namespace

OdsWorkbook::~OdsWorkbook() = default;

bool OdsWorkbook::isOds(const ZipContainer& zip)
{
    return zip.read("mimetype", 256).trimmed() == "application/vnd.oasis.opendocument.spreadsheet";
}

std::unique_ptr<OdsWorkbook> OdsWorkbook::open(ZipContainer zip, int maxRows)
{
    std::unique_ptr<OdsWorkbook> book(new OdsWorkbook(std::move(zip)));
    book->maxRows_ = maxRows;
    // An encrypted package keeps its manifest in the clear and says so there.
    if (book->zip_.read("META-INF/manifest.xml", kMaxSettings).contains("encryption-data"))
        container::fail(QString::fromUtf16(kPassword), book->zip_.path());
    SettingsHandler settings;
    const QByteArray xml = book->zip_.read("settings.xml", kMaxSettings);
    if (!xml.isNull())
        XmlStream::parse(settings, xml, book->zip_.path());
    book->active_ = book->readContent(-1, settings.activeTable);
    return book;
}

int OdsWorkbook::readContent(int index, const QString& activeName)
{
    QStringList names;
    std::vector<bool> hidden;
    auto sheet = std::make_unique<CompactSheet>(zip_.path());
    ContentHandler handler(names, hidden, index, activeName, *sheet);
    handler.maxRows = maxRows_;
    {
        // Gone before the container is used again.
        const std::unique_ptr<ZipStream> in = zip_.openStream("content.xml");
        if (!in)
            container::fail(QStringLiteral("文件已损坏或不完整(缺少content.xml)"), zip_.path());
        XmlStream stream(handler, zip_.path());
        stream.pull([&](char* data, size_t size) { return in->read(data, size); });
    }
    if (index < 0 && handler.captured < 0 && !names.isEmpty())
        return readContent(0, QString()); // the settings named no table there is: the first one
    if (names.isEmpty())
        container::fail(QStringLiteral("工作簿中没有工作表"), zip_.path());
    sheet->finish();
    if (sheets_.empty()) {
        dates1904_ = handler.dates1904;
        names_ = names;
        hidden_ = hidden;
        sheets_.resize(size_t(names.size()));
    }
    if (handler.captured >= 0 && handler.captured < int(sheets_.size()))
        sheets_[size_t(handler.captured)] = std::move(sheet);
    return std::max(handler.captured, 0);
}

QString OdsWorkbook::sheetName(int index) const
{
    return index >= 0 && index < sheetCount() ? names_[index] : QString();
}

Workbook::Visibility OdsWorkbook::sheetVisibility(int index) const
{
    return index >= 0 && size_t(index) < hidden_.size() && hidden_[size_t(index)] ? Visibility::Hidden : Visibility::Visible;
}

Workbook::SheetType OdsWorkbook::sheetType(int index) const
{
    return index >= 0 && index < sheetCount() ? SheetType::Worksheet : SheetType::Other;
}

const WorkbookSheet& OdsWorkbook::sheet(int index)
{
    if (index < 0 || index >= sheetCount())
        throw Error(QStringLiteral("不是工作表: %1").arg(index + 1));
    if (!sheets_[size_t(index)])
        readContent(index, QString());
    if (!sheets_[size_t(index)])
        throw Error(QStringLiteral("不是工作表: %1").arg(index + 1));
    return *sheets_[size_t(index)];
}
