#include "platform/workbook/CompactSheet.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace {
const char16_t* const kTooMuch = u"工作表的内容过多(超过512MB)，无法读取，请把工作表分成几个文件导入";
const char16_t* const kBeyondSheet =
    u"工作表超出了表格程序的范围(最多1048576行、16384列)，请在Excel或WPS中删去多余的行列后重新保存";
const char16_t* const kLongText =
    u"的文字超过32767个字符(表格程序的上限)，请在Excel或WPS中缩短这个单元格的文字后重新保存";
const char kNumError[] = "#NUM!";

// Rows are packed into blocks of this size; a longer row gets its own.
constexpr std::uint32_t kChunkBytes = 8u << 20;
// Texts this short that repeat down a column are kept once. A column keeps
// at most kInternPerColumn of them; one whose values keep being new stops
// looking them up.
constexpr qsizetype kInternMinBytes = 3;
constexpr qsizetype kInternMaxBytes = 64;
constexpr size_t kInternPerColumn = 4096;
constexpr std::uint32_t kInternProbe = 4096;
constexpr size_t kInternArenaBytes = 64 * 1024;

// A cell's tag: what follows it. Numbers that are whole and exact in a
// double are kept as varints; a date is a number with kDate set.
enum Code : std::uint8_t {
    kInline = 0,   // varint length, UTF-8
    kShared = 1,   // varint index into the shared strings
    kDouble = 2,   // 8 bytes
    kInt = 3,      // zigzag varint
    kFalse = 4,
    kTrue = 5,
    kError = 6,    // varint length, its name
    kInterned = 7, // varint index into the interned texts
};
constexpr std::uint8_t kCodeMask = 0x07;
constexpr std::uint8_t kDate = 0x08;
constexpr std::uint8_t kSkip = 0x10; // a varint of columns skipped follows the tag
// An inline text of digits and the marks of dates, times and phone numbers
// (identity, phone and account numbers, dates in a .csv) is kept two
// characters a byte: its length in characters, then the nibbles.
constexpr std::uint8_t kNibbles = 0x20;
constexpr char kNibbleChars[] = "0123456789-:. /+";
constexpr qsizetype kNibbleMinChars = 4;

// The nibble of each byte, 0xFF for a byte that has none.
struct NibbleTable {
    std::uint8_t of[256];
    constexpr NibbleTable() : of()
    {
        for (int i = 0; i < 256; ++i)
            of[i] = 0xFF;
        for (int i = 0; i < 16; ++i)
            of[static_cast<unsigned char>(kNibbleChars[i])] = std::uint8_t(i);
    }
};
constexpr NibbleTable kNibble;

bool nibblesFit(QByteArrayView utf8)
{
    if (utf8.size() < kNibbleMinChars)
        return false;
    for (const char c : utf8)
        if (kNibble.of[static_cast<unsigned char>(c)] == 0xFF)
            return false;
    return true;
}

void putNibbles(std::string& out, QByteArrayView utf8)
{
    const qsizetype n = utf8.size();
    for (qsizetype i = 0; i < n; i += 2) {
        const std::uint8_t hi = kNibble.of[static_cast<unsigned char>(utf8[i])];
        const std::uint8_t lo = i + 1 < n ? kNibble.of[static_cast<unsigned char>(utf8[i + 1])] : 0;
        out.push_back(char(hi << 4 | lo));
    }
}

void getNibbles(const char* p, size_t chars, std::string& out)
{
    out.resize(chars);
    for (size_t i = 0; i < chars; ++i) {
        const auto b = static_cast<unsigned char>(p[i / 2]);
        out[i] = kNibbleChars[i % 2 ? b & 0x0F : b >> 4];
    }
}

void putVarint(std::string& out, std::uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(char(v | 0x80));
        v >>= 7;
    }
    out.push_back(char(v));
}

std::uint64_t getVarint(const char*& p)
{
    std::uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(*p++);
        v |= std::uint64_t(b & 0x7F) << shift;
        if (b < 0x80)
            return v;
    }
}

// One cell as stored: its tag and where its value lies.
struct Packed {
    std::uint8_t tag = 0;
    std::uint64_t skip = 0;
    const char* payload = nullptr; // just past the tag and the skip
    const char* next = nullptr;    // the next cell's tag
};

Packed unpack(const char* p)
{
    Packed c;
    c.tag = std::uint8_t(*p++);
    if (c.tag & kSkip)
        c.skip = getVarint(p);
    c.payload = p;
    switch (c.tag & kCodeMask) {
    case kInline:
    case kError: {
        const std::uint64_t n = getVarint(p);
        p += (c.tag & kNibbles) ? (n + 1) / 2 : n;
        break;
    }
    case kShared:
    case kInterned:
    case kInt:
        getVarint(p);
        break;
    case kDouble:
        p += 8;
        break;
    default:
        break;
    }
    c.next = p;
    return c;
}

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

bool tooLong(QByteArrayView utf8)
{
    return utf8.size() > CompactSheet::kMaxTextChars
        && (utf8.size() > qsizetype(CompactSheet::kMaxTextBytes) || utf16Units(utf8) > CompactSheet::kMaxTextChars);
}

std::atomic<std::uint64_t> g_nextSheetId{1};

// The row a thread read last, with where each of its cells lies, so that
// reading a row cell by cell decodes it once.
struct RowCursor {
    std::uint64_t sheet = 0;
    int row = -1;
    std::vector<const char*> at; // by column; null where the row has no cell
    const char* next = nullptr;  // the first cell not looked at yet
    const char* stop = nullptr;  // the row's end
    int column = -1;             // the column of the cell before `next`
    std::string text;            // the last text unpacked from nibbles
};
thread_local RowCursor t_cursor;
} // namespace

// One column's interned texts by their bytes: open addressing, each slot
// the hash's high half and the text's index + 1 (0: empty), at most half
// full. Millions of short cells are looked up here while a sheet is read.
struct CompactSheet::Interner {
    std::vector<std::uint64_t> slots = std::vector<std::uint64_t>(64);
    size_t size = 0;
    std::uint32_t lookups = 0, hits = 0;
    bool closed = false;

    static std::uint64_t hashOf(const char* p, size_t n)
    {
        std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
        for (; n >= 8; p += 8, n -= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
            h ^= h >> 32;
        }
        std::uint64_t w = 0;
        if (n > 0)
            std::memcpy(&w, p, n);
        h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 29);
    }
    // The slot holding `key`, or the empty one where it would go.
    size_t find(std::string_view key, std::uint64_t hash, const std::vector<std::pair<const char*, std::uint32_t>>& texts) const
    {
        const size_t mask = slots.size() - 1;
        const auto tag = std::uint32_t(hash >> 32);
        for (size_t at = size_t(hash) & mask;; at = (at + 1) & mask) {
            const std::uint64_t slot = slots[at];
            if (slot == 0)
                return at;
            if (std::uint32_t(slot >> 32) != tag)
                continue;
            const auto& [text, length] = texts[std::uint32_t(slot) - 1];
            if (length == key.size() && std::memcmp(text, key.data(), key.size()) == 0)
                return at;
        }
    }
    // A text not there yet (after find() said so).
    void insert(std::uint64_t hash, std::uint32_t index, const std::vector<std::pair<const char*, std::uint32_t>>& texts)
    {
        if (2 * (size + 1) > slots.size()) {
            std::vector<std::uint64_t> old(2 * slots.size());
            old.swap(slots);
            for (const std::uint64_t slot : old) {
                if (slot == 0)
                    continue;
                const auto& [text, length] = texts[std::uint32_t(slot) - 1];
                slots[emptySlot(hashOf(text, length))] = slot;
            }
        }
        slots[emptySlot(hash)] = (hash >> 32 << 32) | (std::uint64_t(index) + 1);
        ++size;
    }
    size_t emptySlot(std::uint64_t hash) const
    {
        const size_t mask = slots.size() - 1;
        size_t at = size_t(hash) & mask;
        while (slots[at] != 0)
            at = (at + 1) & mask;
        return at;
    }
};

CompactSheet::CompactSheet(const QString& label, const QString& sheetName) : label_(label), sheetName_(sheetName) {}
CompactSheet::~CompactSheet() = default;

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

void CompactSheet::grow(std::uint64_t bytes)
{
    if (storeBytes_ + bytes > kMaxStoreBytes)
        container::fail(QString::fromUtf16(kTooMuch), label_);
    storeBytes_ += bytes;
}

void CompactSheet::expect(std::uint64_t cells) const
{
    if (cells > kMaxStoreBytes - std::min(storeBytes_ + pending_.size(), kMaxStoreBytes))
        container::fail(QString::fromUtf16(kTooMuch), label_);
}

std::pair<std::uint32_t, std::uint32_t> CompactSheet::store(const char* bytes, size_t size)
{
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < size) {
        const std::uint32_t capacity = std::max<std::uint32_t>(kChunkBytes, std::uint32_t(size));
        grow(capacity);
        Chunk c;
        c.data.reset(new char[capacity]);
        c.capacity = capacity;
        chunks_.push_back(std::move(c));
    }
    Chunk& c = chunks_.back();
    const std::uint32_t at = c.used;
    if (size > 0)
        std::memcpy(c.data.get() + at, bytes, size);
    c.used += std::uint32_t(size);
    return {std::uint32_t(chunks_.size() - 1), at};
}

void CompactSheet::flushRow()
{
    if (pendingRow_ < 0 || pending_.empty() || loose_)
        return;
    if (rowBase_ < 0)
        rowBase_ = pendingRow_;
    const size_t index = size_t(pendingRow_ - rowBase_);
    if (index >= rows_.size()) {
        grow((index + 1 - rows_.size()) * sizeof(RowRef));
        rows_.resize(index + 1);
    }
    const auto [chunk, offset] = store(pending_.data(), pending_.size());
    rows_[index] = {chunk, offset, std::uint32_t(pending_.size())};
    pending_.clear();
}

// Cells come row by row, left to right, from every reader but for odd
// files; those are kept cell by cell and put in order at the end.
void CompactSheet::begin(int row, int column, std::uint8_t tag)
{
    if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
        container::fail(QString::fromUtf16(kBeyondSheet), label_);
    if (!loose_) {
        if (row == pendingRow_ && column > lastColumn_) {
            const int skip = column - lastColumn_ - 1;
            pending_.push_back(char(tag | (skip ? kSkip : 0)));
            if (skip)
                putVarint(pending_, std::uint64_t(skip));
            lastColumn_ = column;
            return;
        }
        if (row > pendingRow_ && (rowBase_ < 0 || row >= rowBase_)) {
            flushRow();
            pendingRow_ = row;
            lastColumn_ = column;
            pending_.push_back(char(tag | (column ? kSkip : 0)));
            if (column)
                putVarint(pending_, std::uint64_t(column));
            return;
        }
        goLoose();
    }
    pending_.clear();
    pendingRow_ = row;
    lastColumn_ = column;
    pending_.push_back(char(tag));
}

void CompactSheet::end()
{
    if (storeBytes_ + pending_.size() > kMaxStoreBytes)
        container::fail(QString::fromUtf16(kTooMuch), label_);
    if (!loose_)
        return;
    grow(sizeof(LooseCell));
    const auto [chunk, offset] = store(pending_.data(), pending_.size());
    looseCells_.push_back({std::uint32_t(pendingRow_), std::uint16_t(lastColumn_), chunk, offset});
    pending_.clear();
}

void CompactSheet::goLoose()
{
    flushRow();
    loose_ = true;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const RowRef& r = rows_[i];
        const char* p = chunks_[r.chunk].data.get() + r.offset;
        const char* stop = p + r.size;
        int column = -1;
        while (p < stop) {
            const Packed c = unpack(p);
            column += int(c.skip) + 1;
            grow(sizeof(LooseCell));
            looseCells_.push_back({std::uint32_t(rowBase_ + int(i)), std::uint16_t(column), r.chunk,
                                   std::uint32_t(p - chunks_[r.chunk].data.get())});
            p = c.next;
        }
    }
    storeBytes_ -= rows_.size() * sizeof(RowRef);
    rows_ = decltype(rows_)();
    rowBase_ = -1;
}

// Puts the loose cells in order, the last of each position kept, into rows.
void CompactSheet::rebuildLoose()
{
    std::stable_sort(looseCells_.begin(), looseCells_.end(), [](const LooseCell& a, const LooseCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    std::vector<Chunk> old = std::move(chunks_);
    std::vector<LooseCell> cells = std::move(looseCells_);
    chunks_ = decltype(chunks_)();
    looseCells_ = decltype(looseCells_)();
    storeBytes_ = 0;
    loose_ = false;
    lastValueRow_ = lastValueColumn_ = -1;
    pendingRow_ = -1;
    lastColumn_ = -1;
    pending_.clear();
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i + 1 < cells.size() && cells[i + 1].row == cells[i].row && cells[i + 1].column == cells[i].column)
            continue;
        const LooseCell& l = cells[i];
        const Packed c = unpack(old[l.chunk].data.get() + l.offset);
        const std::uint8_t code = c.tag & kCodeMask;
        if (code == kInline) {
            const char* p = c.payload;
            if (getVarint(p) == 0)
                continue; // an empty text is no cell
        }
        begin(int(l.row), int(l.column), std::uint8_t(c.tag & ~kSkip));
        pending_.append(c.payload, size_t(c.next - c.payload));
        if (code != kInline || c.next - c.payload > 1) {
            lastValueRow_ = std::max(lastValueRow_, int(l.row));
            lastValueColumn_ = std::max(lastValueColumn_, int(l.column));
        }
        end();
    }
}

void CompactSheet::addNumber(int row, int column, double value, bool isDate)
{
    if (!std::isfinite(value)) {
        addError(row, column, kNumError);
        return;
    }
    constexpr double kExact = 9007199254740992.0; // 2^53
    const bool whole = value == std::trunc(value) && std::fabs(value) < kExact && !(value == 0 && std::signbit(value));
    begin(row, column, std::uint8_t((whole ? kInt : kDouble) | (isDate ? kDate : 0)));
    if (whole) {
        const auto i = std::int64_t(value);
        putVarint(pending_, (std::uint64_t(i) << 1) ^ std::uint64_t(i >> 63));
    } else {
        pending_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    lastValueRow_ = std::max(lastValueRow_, row);
    lastValueColumn_ = std::max(lastValueColumn_, column);
    end();
}

void CompactSheet::addBool(int row, int column, bool value)
{
    begin(row, column, value ? kTrue : kFalse);
    lastValueRow_ = std::max(lastValueRow_, row);
    lastValueColumn_ = std::max(lastValueColumn_, column);
    end();
}

std::int64_t CompactSheet::intern(int column, QByteArrayView utf8)
{
    if (!interning_ || utf8.size() < kInternMinBytes || utf8.size() > kInternMaxBytes)
        return -1;
    if (size_t(column) >= interners_.size())
        interners_.resize(size_t(column) + 1);
    std::unique_ptr<Interner>& in = interners_[size_t(column)];
    if (!in)
        in = std::make_unique<Interner>();
    if (in->closed)
        return -1;
    const std::string_view key(utf8.data(), size_t(utf8.size()));
    const std::uint64_t hash = Interner::hashOf(key.data(), key.size());
    const std::uint64_t slot = in->slots[in->find(key, hash, interned_)];
    const bool full = in->size >= kInternPerColumn;
    if (full && ++in->lookups == kInternProbe) {
        // Mostly new values: a column of names or numbers, kept inline.
        in->closed = in->hits * 4 < in->lookups;
        in->lookups = in->hits = 0;
    }
    if (slot != 0) {
        in->hits += full;
        return std::uint32_t(slot) - 1;
    }
    if (full)
        return -1;
    if (internArena_.empty() || kInternArenaBytes - internUsed_ < size_t(utf8.size())) {
        grow(kInternArenaBytes);
        internArena_.emplace_back(new char[kInternArenaBytes]);
        internUsed_ = 0;
    }
    char* at = internArena_.back().get() + internUsed_;
    std::memcpy(at, utf8.data(), size_t(utf8.size()));
    internUsed_ += size_t(utf8.size());
    grow(sizeof(interned_[0]) + 48); // the entry and its place in the index
    const auto index = std::uint32_t(interned_.size());
    interned_.emplace_back(at, std::uint32_t(utf8.size()));
    in->insert(hash, index, interned_);
    return index;
}

void CompactSheet::addText(int row, int column, QByteArrayView utf8)
{
    if (tooLong(utf8))
        throw textTooLong(row, column);
    if (utf8.isEmpty() && !loose_ && (row > pendingRow_ || (row == pendingRow_ && column > lastColumn_))) {
        // Nothing to replace: an empty text is no cell.
        if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
            container::fail(QString::fromUtf16(kBeyondSheet), label_);
        return;
    }
    const std::int64_t index = column >= 0 && column < kMaxColumns ? intern(column, utf8) : -1;
    if (index >= 0) {
        begin(row, column, kInterned);
        putVarint(pending_, std::uint64_t(index));
    } else if (nibblesFit(utf8)) {
        begin(row, column, kInline | kNibbles);
        putVarint(pending_, std::uint64_t(utf8.size()));
        putNibbles(pending_, utf8);
    } else {
        begin(row, column, kInline);
        putVarint(pending_, std::uint64_t(utf8.size()));
        pending_.append(utf8.data(), size_t(utf8.size()));
    }
    if (!utf8.isEmpty()) {
        lastValueRow_ = std::max(lastValueRow_, row);
        lastValueColumn_ = std::max(lastValueColumn_, column);
    }
    end();
}

void CompactSheet::addError(int row, int column, QByteArrayView name)
{
    if (tooLong(name))
        throw textTooLong(row, column);
    begin(row, column, kError);
    putVarint(pending_, std::uint64_t(name.size()));
    pending_.append(name.data(), size_t(name.size()));
    lastValueRow_ = std::max(lastValueRow_, row);
    lastValueColumn_ = std::max(lastValueColumn_, column);
    end();
}

void CompactSheet::addEmpty(int row, int column)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        container::fail(QString::fromUtf16(kBeyondSheet), label_);
}

void CompactSheet::setSharedTexts(const QByteArray& texts, const std::vector<std::uint64_t>* slices,
                                  const QString& noSlice)
{
    sharedTexts_ = texts;
    sharedSlices_ = slices;
    noSlice_ = noSlice;
}

void CompactSheet::addTextByIndex(int row, int column, std::uint32_t index)
{
    begin(row, column, kShared);
    putVarint(pending_, index);
    maxShared_ = std::max<std::int64_t>(maxShared_, index);
    // An empty shared string counts as a value here, as its cell is kept;
    // the used range is set right when the table is known.
    lastValueRow_ = std::max(lastValueRow_, row);
    lastValueColumn_ = std::max(lastValueColumn_, column);
    end();
}

void CompactSheet::append(CompactSheet&& part)
{
    part.settle();
    for (size_t i = 0; i < part.rows_.size(); ++i) {
        const RowRef& r = part.rows_[i];
        if (r.size == 0)
            continue;
        const int row = part.rowBase_ + int(i);
        const char* p = part.chunks_[r.chunk].data.get() + r.offset;
        const char* stop = p + r.size;
        int column = -1;
        while (p < stop) {
            const Packed c = unpack(p);
            column += int(c.skip) + 1;
            const char* v = c.payload;
            switch (c.tag & kCodeMask) {
            case kInline: {
                const auto n = qsizetype(getVarint(v));
                if (c.tag & kNibbles) {
                    getNibbles(v, size_t(n), t_cursor.text);
                    addText(row, column, QByteArrayView(t_cursor.text));
                } else {
                    addText(row, column, QByteArrayView(v, n));
                }
                break;
            }
            case kInterned: {
                const auto& t = part.interned_[size_t(getVarint(v))];
                addText(row, column, QByteArrayView(t.first, t.second));
                break;
            }
            case kError: {
                const auto n = qsizetype(getVarint(v));
                addError(row, column, QByteArrayView(v, n));
                break;
            }
            case kShared:
                addTextByIndex(row, column, std::uint32_t(getVarint(v)));
                break;
            default:
                // Numbers and booleans go over as they are.
                begin(row, column, std::uint8_t(c.tag & ~kSkip));
                pending_.append(c.payload, size_t(c.next - c.payload));
                lastValueRow_ = std::max(lastValueRow_, row);
                lastValueColumn_ = std::max(lastValueColumn_, column);
                end();
                break;
            }
            p = c.next;
        }
    }
    part.clear();
}

void CompactSheet::clear()
{
    chunks_ = decltype(chunks_)();
    rows_ = decltype(rows_)();
    rowBase_ = -1;
    pending_ = decltype(pending_)();
    pendingRow_ = lastColumn_ = -1;
    loose_ = false;
    looseCells_ = decltype(looseCells_)();
    storeBytes_ = 0;
    interners_ = decltype(interners_)();
    internArena_ = decltype(internArena_)();
    internUsed_ = 0;
    interned_ = decltype(interned_)();
    maxShared_ = -1;
    lastValueRow_ = lastValueColumn_ = -1;
    rowCount_ = columnCount_ = 0;
}

// Shared strings are named before the table is read: each index is
// checked once it is, with the length of a string too long to keep.
void CompactSheet::checkShared()
{
    if (maxShared_ < 0)
        return;
    const std::vector<std::uint64_t> none;
    const std::vector<std::uint64_t>& slices = sharedSlices_ ? *sharedSlices_ : none;
    bool anyLong = false;
    for (const std::uint64_t s : slices)
        anyLong |= std::uint32_t(s) > std::uint32_t(kMaxTextChars);
    if (std::uint64_t(maxShared_) < slices.size() && !anyLong)
        return;
    // Find the first cell at fault, row by row, as the file is read.
    for (size_t i = 0; i < rows_.size(); ++i) {
        const RowRef& r = rows_[i];
        const char* p = chunks_.empty() || r.size == 0 ? nullptr : chunks_[r.chunk].data.get() + r.offset;
        const char* stop = p ? p + r.size : nullptr;
        int column = -1;
        while (p && p < stop) {
            const Packed c = unpack(p);
            column += int(c.skip) + 1;
            if ((c.tag & kCodeMask) == kShared) {
                const char* v = c.payload;
                const std::uint64_t index = getVarint(v);
                if (index >= slices.size())
                    throw Error(noSlice_);
                const std::uint64_t s = slices[size_t(index)];
                const std::uint32_t length = std::uint32_t(s);
                if (length > std::uint32_t(kMaxTextChars)
                    && (length > kMaxTextBytes
                        || tooLong(QByteArrayView(sharedTexts_.constData() + (s >> 32), qsizetype(length)))))
                    throw textTooLong(rowBase_ + int(i), column);
            }
            p = c.next;
        }
    }
}

void CompactSheet::settle()
{
    if (loose_)
        rebuildLoose();
    flushRow();
    pendingRow_ = std::max(pendingRow_, 0);
    lastColumn_ = kMaxColumns; // nothing may follow in order
}

void CompactSheet::finish()
{
    settle();
    checkShared();
    rowCount_ = lastValueRow_ + 1;
    columnCount_ = lastValueColumn_ + 1;
    if (maxShared_ >= 0 && sharedSlices_) {
        // Empty shared strings are no value: the used range without them.
        bool anyEmpty = false;
        for (const std::uint64_t s : *sharedSlices_)
            anyEmpty |= std::uint32_t(s) == 0;
        if (anyEmpty) {
            int rows = 0, columns = 0;
            for (size_t i = 0; i < rows_.size(); ++i) {
                const RowRef& r = rows_[i];
                const char* p = r.size == 0 ? nullptr : chunks_[r.chunk].data.get() + r.offset;
                const char* stop = p ? p + r.size : nullptr;
                int column = -1;
                while (p && p < stop) {
                    const Packed c = unpack(p);
                    column += int(c.skip) + 1;
                    const char* v = c.payload;
                    const std::uint8_t code = c.tag & kCodeMask;
                    const bool empty = (code == kShared && std::uint32_t((*sharedSlices_)[size_t(getVarint(v))]) == 0)
                        || (code == kInline && getVarint(v) == 0);
                    if (!empty) {
                        rows = rowBase_ + int(i) + 1;
                        columns = std::max(columns, column + 1);
                    }
                    p = c.next;
                }
            }
            rowCount_ = rows;
            columnCount_ = columns;
        }
    }
    id_ = g_nextSheetId.fetch_add(1);
}

const char* CompactSheet::find(int row, int column) const
{
    if (row < 0 || column < 0 || row >= rowCount_ || column >= columnCount_ || row < rowBase_
        || size_t(row - rowBase_) >= rows_.size())
        return nullptr;
    RowCursor& cur = t_cursor;
    if (cur.sheet != id_ || cur.row != row) {
        cur.sheet = id_;
        cur.row = row;
        cur.at.clear();
        cur.column = -1;
        const RowRef& r = rows_[size_t(row - rowBase_)];
        cur.next = r.size > 0 ? chunks_[r.chunk].data.get() + r.offset : nullptr;
        cur.stop = cur.next ? cur.next + r.size : nullptr;
    }
    // Cells are looked at only as far as asked: the check reads two a row.
    while (cur.column < column && cur.next < cur.stop) {
        const Packed cell = unpack(cur.next);
        cur.column += int(cell.skip) + 1;
        if (size_t(cur.column) >= cur.at.size())
            cur.at.resize(size_t(cur.column) + 1, nullptr);
        cur.at[size_t(cur.column)] = cur.next;
        cur.next = cell.next;
    }
    return size_t(column) < cur.at.size() ? cur.at[size_t(column)] : nullptr;
}

WorkbookCell CompactSheet::cellUtf8(int row, int column, QByteArrayView& utf8) const
{
    WorkbookCell out;
    utf8 = QByteArrayView();
    const char* at = find(row, column);
    if (!at)
        return out;
    const Packed c = unpack(at);
    const char* v = c.payload;
    out.isDate = (c.tag & kDate) != 0;
    switch (c.tag & kCodeMask) {
    case kInline: {
        const auto n = qsizetype(getVarint(v));
        out.kind = WorkbookCell::Kind::Text;
        if (c.tag & kNibbles) {
            getNibbles(v, size_t(n), t_cursor.text);
            utf8 = QByteArrayView(t_cursor.text);
        } else {
            utf8 = QByteArrayView(v, n);
        }
        break;
    }
    case kInterned: {
        const auto& t = interned_[size_t(getVarint(v))];
        out.kind = WorkbookCell::Kind::Text;
        utf8 = QByteArrayView(t.first, t.second);
        break;
    }
    case kShared: {
        const std::uint64_t s = (*sharedSlices_)[size_t(getVarint(v))];
        out.kind = WorkbookCell::Kind::Text;
        utf8 = QByteArrayView(sharedTexts_.constData() + (s >> 32), qsizetype(std::uint32_t(s)));
        break;
    }
    case kError: {
        const auto n = qsizetype(getVarint(v));
        out.kind = WorkbookCell::Kind::Error;
        utf8 = QByteArrayView(v, n);
        out.number = errorCode(utf8);
        break;
    }
    case kDouble:
        out.kind = WorkbookCell::Kind::Number;
        std::memcpy(&out.number, v, sizeof out.number);
        break;
    case kInt: {
        const std::uint64_t z = getVarint(v);
        out.kind = WorkbookCell::Kind::Number;
        out.number = double(std::int64_t(z >> 1) ^ -std::int64_t(z & 1));
        break;
    }
    default:
        out.kind = WorkbookCell::Kind::Bool;
        out.number = (c.tag & kCodeMask) == kTrue ? 1 : 0;
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
