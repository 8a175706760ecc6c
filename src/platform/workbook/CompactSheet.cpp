#include "platform/workbook/CompactSheet.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const char16_t* const kTooManyCells = u"工作表的单元格过多(超过2500万个)，无法读取";
const char16_t* const kTooMuchText = u"工作表的文字过多(超过4GB)，无法读取";
const char16_t* const kBeyondSheet =
    u"工作表超出了表格程序的范围(最多1048576行、16384列)，请在Excel或WPS中删去多余的行列后重新保存";
const char16_t* const kLongText =
    u"的文字超过32767个字符(表格程序的上限)，请在Excel或WPS中缩短这个单元格的文字后重新保存";
const char kNumError[] = "#NUM!";

// UTF-16 units of UTF-8 text: one a character, two past U+FFFF.
qsizetype utf16Units(QByteArrayView utf8)
{
    qsizetype units = 0;
    for (const char ch : utf8) {
        const uchar b = uchar(ch);
        units += (b & 0xC0) != 0x80; // a continuation byte starts nothing
        units += b >= 0xF0;
    }
    return units;
}
// The length of a text named by its index: no text is this long.
constexpr std::uint32_t kByIndex = std::numeric_limits<std::uint32_t>::max();
} // namespace

QString CompactSheet::cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

Error CompactSheet::textTooLong(int row, int column) const
{
    const QString where = sheetName_.isEmpty()
        ? QStringLiteral("单元格%1").arg(cellName(row, column))
        : QStringLiteral("工作表「%1」的单元格%2").arg(sheetName_, cellName(row, column));
    const QString reason = where + QString::fromUtf16(kLongText);
    return Error(label_.isEmpty() ? reason : reason + QStringLiteral(": ") + label_);
}

void CompactSheet::checkText(const Cell& c) const
{
    const std::uint32_t length = c.text.length;
    if (length <= std::uint32_t(kMaxTextChars))
        return;
    if (length > kMaxTextBytes || quint64(c.text.offset) + length > quint64(texts_.size())
        || utf16Units(QByteArrayView(texts_.constData() + c.text.offset, length)) > kMaxTextChars)
        throw textTooLong(int(c.row), int(c.column));
}

void CompactSheet::push(const Cell& c)
{
    if (c.row >= std::uint32_t(kMaxRows) || c.column >= kMaxColumns)
        container::fail(QString::fromUtf16(kBeyondSheet), label_);
    if (cells_.size() >= kMaxCells)
        container::fail(QString::fromUtf16(kTooManyCells), label_);
    if (!cells_.empty()) {
        const Cell& last = cells_.back();
        if (c.row < last.row || (c.row == last.row && c.column <= last.column))
            ordered_ = false;
    }
    cells_.push_back(c);
}

void CompactSheet::expect(std::uint64_t cells) const
{
    if (cells > kMaxCells - cells_.size())
        container::fail(QString::fromUtf16(kTooManyCells), label_);
}

void CompactSheet::addNumber(int row, int column, double value, bool isDate)
{
    if (!std::isfinite(value)) {
        if (numError_ == kTooLong)
            numError_ = storeText(kNumError);
        addError(row, column, numError_, std::uint32_t(sizeof kNumError - 1));
        return;
    }
    Cell c{std::uint32_t(row), std::uint16_t(column), WorkbookCell::Kind::Number, isDate, {}};
    c.number = value;
    push(c);
}

void CompactSheet::addBool(int row, int column, bool value)
{
    Cell c{std::uint32_t(row), std::uint16_t(column), WorkbookCell::Kind::Bool, false, {}};
    c.number = value ? 1 : 0;
    push(c);
}

void CompactSheet::addText(int row, int column, std::uint32_t offset, std::uint32_t length)
{
    Cell c{std::uint32_t(row), std::uint16_t(column), WorkbookCell::Kind::Text, false, {}};
    c.text = {offset, length};
    checkText(c);
    push(c);
}

void CompactSheet::addError(int row, int column, std::uint32_t offset, std::uint32_t length)
{
    Cell c{std::uint32_t(row), std::uint16_t(column), WorkbookCell::Kind::Error, false, {}};
    c.text = {offset, length};
    checkText(c);
    push(c);
}

void CompactSheet::addEmpty(int row, int column)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        container::fail(QString::fromUtf16(kBeyondSheet), label_);
}

std::uint32_t CompactSheet::storeText(QByteArrayView utf8)
{
    const quint64 at = quint64(texts_.size());
    if (at + quint64(utf8.size()) > std::numeric_limits<std::uint32_t>::max())
        container::fail(QString::fromUtf16(kTooMuchText), label_);
    texts_.append(utf8);
    return std::uint32_t(at);
}

void CompactSheet::reserveFor(const std::vector<const CompactSheet*>& parts)
{
    size_t cells = cells_.size();
    qsizetype texts = texts_.size();
    for (const CompactSheet* p : parts) {
        cells += p->cells_.size();
        texts += p->texts_.size();
    }
    cells_.reserve(std::min<size_t>(cells, kMaxCells));
    texts_.reserve(texts);
}

void CompactSheet::addTextByIndex(int row, int column, std::uint32_t index)
{
    Cell c{std::uint32_t(row), std::uint16_t(column), WorkbookCell::Kind::Text, false, {}};
    c.text = {index, kByIndex};
    push(c);
}

void CompactSheet::append(CompactSheet&& part, const std::vector<std::uint64_t>& slices, const QString& noSlice)
{
    const quint64 at = quint64(texts_.size());
    if (at + quint64(part.texts_.size()) > std::numeric_limits<std::uint32_t>::max())
        container::fail(QString::fromUtf16(kTooMuchText), label_);
    for (Cell c : part.cells_) {
        if (c.kind == WorkbookCell::Kind::Text && c.text.length == kByIndex) {
            if (c.text.offset >= slices.size())
                throw Error(noSlice);
            c.text = {std::uint32_t(slices[c.text.offset] >> 32), std::uint32_t(slices[c.text.offset])};
            checkText(c);
        } else if (c.kind == WorkbookCell::Kind::Text || c.kind == WorkbookCell::Kind::Error) {
            c.text.offset = std::uint32_t(c.text.offset + at);
        }
        push(c);
    }
    texts_.append(part.texts_);
    part.cells_ = {};
    part.texts_ = QByteArray();
}

void CompactSheet::finish()
{
    if (!ordered_) {
        std::stable_sort(cells_.begin(), cells_.end(), [](const Cell& a, const Cell& b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        });
        // A position written twice keeps its last cell.
        size_t out = 0;
        for (size_t i = 0; i < cells_.size(); ++i) {
            if (out > 0 && cells_[out - 1].row == cells_[i].row && cells_[out - 1].column == cells_[i].column)
                cells_[out - 1] = cells_[i];
            else
                cells_[out++] = cells_[i];
        }
        cells_.resize(out);
        ordered_ = true;
    }
    // The used range: an empty text is no value either.
    int columns = 0, rows = 0;
    for (const Cell& c : cells_) {
        if (c.kind == WorkbookCell::Kind::Empty || (c.kind == WorkbookCell::Kind::Text && c.text.length == 0))
            continue;
        columns = std::max(columns, int(c.column) + 1);
        rows = int(c.row) + 1;
    }
    while (!cells_.empty() && int(cells_.back().row) >= rows)
        cells_.pop_back();
    cells_.shrink_to_fit();
    columnCount_ = columns;
    rowCount_ = rows;
    rowStart_.assign(size_t(rowCount_) + 1, 0);
    for (const Cell& c : cells_)
        ++rowStart_[size_t(c.row) + 1];
    for (size_t i = 1; i < rowStart_.size(); ++i)
        rowStart_[i] += rowStart_[i - 1];
}

const CompactSheet::Cell* CompactSheet::find(int row, int column) const
{
    if (row < 0 || column < 0 || row >= rowCount_ || column >= columnCount_)
        return nullptr;
    const Cell* begin = cells_.data() + rowStart_[size_t(row)];
    const Cell* end = cells_.data() + rowStart_[size_t(row) + 1];
    // Rows filled from column A on hold column c at index c.
    const Cell* it = begin + column;
    if (it >= end || it->column != column) {
        it = std::lower_bound(begin, end, column, [](const Cell& c, int col) { return c.column < col; });
        if (it == end || it->column != column)
            return nullptr;
    }
    return it;
}

WorkbookCell CompactSheet::cellUtf8(int row, int column, QByteArrayView& utf8) const
{
    WorkbookCell out;
    utf8 = QByteArrayView();
    const Cell* it = find(row, column);
    if (!it)
        return out;
    out.kind = it->kind;
    switch (it->kind) {
    case WorkbookCell::Kind::Text:
        utf8 = QByteArrayView(texts_.constData() + it->text.offset, it->text.length);
        break;
    case WorkbookCell::Kind::Error:
        utf8 = QByteArrayView(texts_.constData() + it->text.offset, it->text.length);
        out.number = errorCode(utf8);
        break;
    default:
        out.number = it->number;
        out.isDate = it->isDate;
        break;
    }
    return out;
}

WorkbookCell CompactSheet::cell(int row, int column) const
{
    QByteArrayView utf8;
    WorkbookCell out = cellUtf8(row, column, utf8);
    if (out.kind == WorkbookCell::Kind::Text || out.kind == WorkbookCell::Kind::Error)
        out.text = QString::fromUtf8(utf8);
    return out;
}

double CompactSheet::dateSerial(const QDate& date, double secondsOfDay)
{
    static const QDate kBase(1899, 12, 30);
    static const QDate kLeapDay(1900, 3, 1);
    if (!date.isValid() || date.year() < 1900)
        return std::numeric_limits<double>::quiet_NaN();
    qint64 days = kBase.daysTo(date);
    // Serials before March 1900 count from a day earlier: the 1900 system
    // has a 29 February 1900.
    if (date < kLeapDay)
        --days;
    return double(days) + secondsOfDay / 86400.0;
}

// An ISO 8601 date, date and time, or time ("2020-01-05T13:45:00"), as
// cells of type "d" hold them; NaN when it is none.
double CompactSheet::isoDateSerial(QByteArrayView v)
{
    const QString text = QString::fromLatin1(v).trimmed();
    QDate date(1899, 12, 30);
    QString time;
    if (text.size() >= 10 && text[4] == u'-') {
        date = QDate::fromString(text.left(10), Qt::ISODate);
        time = text.mid(11);
    } else {
        time = text;
    }
    double seconds = 0;
    if (!time.isEmpty()) {
        const QStringList parts = time.left(time.indexOf(u'Z') < 0 ? time.size() : time.indexOf(u'Z')).split(u':');
        bool okHours = false, okMinutes = false, okSeconds = true;
        const int hours = parts[0].toInt(&okHours);
        const int minutes = parts.size() > 1 ? parts[1].toInt(&okMinutes) : 0;
        const double secs = parts.size() > 2 ? parts[2].toDouble(&okSeconds) : 0;
        if (parts.size() > 3 || !okHours || !okMinutes || !okSeconds || hours < 0 || hours > 24 || minutes < 0
            || minutes > 59 || !(secs >= 0 && secs < 61))
            return std::nan("");
        seconds = hours * 3600.0 + minutes * 60.0 + secs;
    }
    if (!date.isValid())
        return std::nan("");
    if (date == QDate(1899, 12, 30)) // a time alone
        return seconds / 86400.0;
    return dateSerial(date, seconds);
}

int errorCode(QByteArrayView name)
{
    static const struct {
        const char* name;
        int code;
    } kErrors[] = {{"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
                   {"#NAME?", 0x1D}, {"#NUM!", 0x24},  {"#N/A", 0x2A}};
    for (const auto& e : kErrors)
        if (name == QByteArrayView(e.name))
            return e.code;
    return -1;
}
