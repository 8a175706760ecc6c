#include "platform/xls/XlsWorkbook.h"

#include "platform/Errors.h"
#include "platform/xls/XlsFormats.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <gsf/gsf.h>
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <mutex>

static_assert(std::endian::native == std::endian::little, "the reader copies little-endian values as they are");

namespace {

// Record types.
enum : std::uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kWindow1 = 0x003D,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
};

enum : std::uint16_t { kBofGlobals = 0x0005, kBofWorksheet = 0x0010 };

// Reasons shown to the user, followed by the file.
const char16_t* const kDamaged = u"文件已损坏或不完整";
const char16_t* const kNotXls = u"不是Excel 97-2003工作簿(.xls)";
const char16_t* const kOldVersion = u"不支持的Excel版本(只支持Excel 5.0至2003)";

[[noreturn]] void fail(const QString& reason, const QString& label)
{
    throw Error(label.isEmpty() ? reason : reason + QStringLiteral(": ") + label);
}

inline std::uint16_t u16(const uchar* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t u32(const uchar* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}
inline double f64(const uchar* p)
{
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

double rkValue(std::uint32_t rk)
{
    double d;
    if (rk & 2) {
        d = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, 8);
    }
    return (rk & 1) ? d / 100 : d;
}

struct Record {
    std::uint16_t type = 0;
    std::uint16_t length = 0;
    std::uint32_t pos = 0; // of the data
};

// Walks the records of the stream. A record that runs past the end of the
// stream ends the walk and marks it truncated.
class RecordWalker {
public:
    RecordWalker(const QByteArray& stream, std::uint32_t pos)
        : data_(reinterpret_cast<const uchar*>(stream.constData())), size_(std::uint32_t(stream.size())), pos_(pos) {}
    // Over [pos, end) only; `end` is within the stream.
    RecordWalker(const QByteArray& stream, std::uint32_t pos, std::uint32_t end)
        : data_(reinterpret_cast<const uchar*>(stream.constData())), size_(end), pos_(pos) {}

    bool next(Record& r)
    {
        if (pos_ >= size_ || size_ - pos_ < 4) {
            truncated_ = true;
            return false;
        }
        r.type = u16(data_ + pos_);
        r.length = u16(data_ + pos_ + 2);
        r.pos = pos_ + 4;
        if (size_ - r.pos < r.length) {
            truncated_ = true;
            return false;
        }
        pos_ = r.pos + r.length;
        return true;
    }
    // The type of the next record without moving, or -1 at the end.
    int peekType() const
    {
        if (pos_ >= size_ || size_ - pos_ < 4)
            return -1;
        return u16(data_ + pos_);
    }
    const uchar* at(std::uint32_t pos) const { return data_ + pos; }
    std::uint32_t pos() const { return pos_; }
    bool truncated() const { return truncated_; }

private:
    const uchar* data_;
    std::uint32_t size_;
    std::uint32_t pos_;
    bool truncated_ = false;
};

// Reads across a record and the CONTINUE records after it. Plain bytes run
// on over the seams; the characters of a BIFF8 string take a fresh option
// byte at each seam, which says whether they go on as one or two bytes each.
class Segments {
public:
    void add(const uchar* p, std::uint32_t n)
    {
        segs_.push_back({p, n});
        total_ += n;
    }
    std::uint64_t total() const { return total_; }

    bool atEnd()
    {
        settle();
        return seg_ >= segs_.size();
    }

    bool skip(std::uint32_t n)
    {
        while (n > 0) {
            settle();
            if (seg_ >= segs_.size())
                return false;
            const std::uint32_t take = std::min(n, segs_[seg_].n - off_);
            off_ += take;
            n -= take;
        }
        return true;
    }

    bool read(uchar* out, std::uint32_t n)
    {
        while (n > 0) {
            settle();
            if (seg_ >= segs_.size())
                return false;
            const std::uint32_t take = std::min(n, segs_[seg_].n - off_);
            std::memcpy(out, segs_[seg_].p + off_, take);
            out += take;
            off_ += take;
            n -= take;
        }
        return true;
    }

    bool readU8(std::uint8_t& v) { return read(&v, 1); }
    bool readU16(std::uint16_t& v)
    {
        uchar b[2];
        if (!read(b, 2))
            return false;
        v = u16(b);
        return true;
    }
    bool readU32(std::uint32_t& v)
    {
        uchar b[4];
        if (!read(b, 4))
            return false;
        v = u32(b);
        return true;
    }

    // `count` characters of a BIFF8 string, `wide` as the option byte said.
    bool readChars(QString& out, std::uint32_t count, bool wide)
    {
        out.clear();
        while (count > 0) {
            if (seg_ >= segs_.size())
                return false;
            if (off_ >= segs_[seg_].n) {
                // A seam inside the characters: the next part starts with
                // the option byte again.
                ++seg_;
                off_ = 0;
                if (seg_ >= segs_.size() || segs_[seg_].n == 0)
                    return false;
                wide = segs_[seg_].p[0] & 1;
                off_ = 1;
                continue;
            }
            const std::uint32_t avail = segs_[seg_].n - off_;
            const uchar* p = segs_[seg_].p + off_;
            const std::uint32_t take = std::min(count, wide ? avail / 2 : avail);
            if (take == 0)
                return false; // half a character before the seam
            if (wide) {
                const qsizetype at = out.size();
                out.resize(at + take);
                std::memcpy(out.data() + at, p, size_t(take) * 2);
                off_ += take * 2;
            } else {
                out.append(QLatin1StringView(reinterpret_cast<const char*>(p), take));
                off_ += take;
            }
            count -= take;
        }
        return true;
    }

    // A BIFF8 string: count (8 or 16 bits), option byte, optional run and
    // extension sizes, characters, then the runs and extension, skipped.
    bool readUnicodeString(QString& out, bool longCount)
    {
        std::uint32_t count = 0;
        if (longCount) {
            std::uint16_t c;
            if (!readU16(c))
                return false;
            count = c;
        } else {
            std::uint8_t c;
            if (!readU8(c))
                return false;
            count = c;
        }
        std::uint8_t flags;
        if (!readU8(flags))
            return false;
        std::uint16_t runs = 0;
        std::uint32_t ext = 0;
        if ((flags & 0x08) && !readU16(runs))
            return false;
        if ((flags & 0x04) && !readU32(ext))
            return false;
        if (!readChars(out, count, flags & 1))
            return false;
        return skip(std::uint32_t(runs) * 4) && skip(ext);
    }

private:
    // Moves past exhausted segments, at plain-byte reads only.
    void settle()
    {
        while (seg_ < segs_.size() && off_ >= segs_[seg_].n) {
            ++seg_;
            off_ = 0;
        }
    }

    struct Seg {
        const uchar* p;
        std::uint32_t n;
    };
    std::vector<Seg> segs_;
    size_t seg_ = 0;
    std::uint32_t off_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace

// Text of BIFF5 files, in the workbook's code page.
class XlsCodePage {
public:
    explicit XlsCodePage(int codePage) : codePage_(codePage)
    {
        const char* name = nullptr;
        switch (codePage) {
        case 936: name = "GBK"; break;
        case 932: name = "Shift_JIS"; break;
        case 949: name = "EUC-KR"; break;
        case 950: name = "Big5"; break;
        case 874: name = "windows-874"; break;
        case 1250: name = "windows-1250"; break;
        case 1251: name = "windows-1251"; break;
        case 1253: name = "windows-1253"; break;
        case 1254: name = "windows-1254"; break;
        case 1255: name = "windows-1255"; break;
        case 1256: name = "windows-1256"; break;
        case 1257: name = "windows-1257"; break;
        case 1258: name = "windows-1258"; break;
        case 10000: name = "macintosh"; break;
        case 65001: name = "UTF-8"; break;
        case 437: name = "IBM437"; break;
        case 850: name = "IBM850"; break;
        default: name = "windows-1252"; break;
        }
        if (codePage == 1200)
            return;
        decoder_ = QStringDecoder(name, QStringConverter::Flag::Stateless);
        if (!decoder_.isValid())
            decoder_ = QStringDecoder("windows-1252", QStringConverter::Flag::Stateless);
    }

    QString decode(const uchar* p, std::uint32_t n)
    {
        if (codePage_ == 1200) {
            QString s(n / 2, Qt::Uninitialized);
            std::memcpy(s.data(), p, size_t(n / 2) * 2);
            return s;
        }
        if (!decoder_.isValid())
            return QString::fromLatin1(reinterpret_cast<const char*>(p), n);
        return decoder_.decode(QByteArrayView(p, n));
    }

private:
    int codePage_;
    QStringDecoder decoder_;
};

namespace {

bool isOle2(const QByteArray& head)
{
    static const char magic[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
    return head.size() >= 8 && std::memcmp(head.constData(), magic, 8) == 0;
}

bool isBareBiff(const QByteArray& head)
{
    return head.size() >= 4 && uchar(head[0]) == 0x09 && uchar(head[1]) == 0x08;
}

void checkNotOther(const QByteArray& head, const QString& label)
{
    if (head.startsWith("PK\x03\x04"))
        fail(QStringLiteral("是.xlsx等新格式文件, 不是Excel 97-2003工作簿(.xls)"), label);
    // BOF of BIFF2, 3 and 4 files, which have no container.
    if (head.size() >= 4 && uchar(head[0]) == 0x09
        && (uchar(head[1]) == 0x00 || uchar(head[1]) == 0x02 || uchar(head[1]) == 0x04))
        fail(QString::fromUtf16(kOldVersion), label);
    if (!isOle2(head) && !isBareBiff(head))
        fail(QString::fromUtf16(kNotXls), label);
}

void silenceGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged files make libgsf complain on standard error (some of it
        // without a domain); the reason reaches the user through our own
        // error instead.
        for (const char* domain : {"libgsf", "libgsf:msole", static_cast<const char*>(nullptr)})
            g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

using Buffer = std::unique_ptr<char, XlsWorkbook::FreeBuffer>;

// Room for a stream. Large ones sit on 2 MB boundaries with huge pages
// advised: faulting in a 30 MB buffer page by page costs more than
// decoding it.
Buffer allocateStream(qsizetype size)
{
    constexpr size_t kHuge = size_t(2) << 20;
    if (size_t(size) < kHuge)
        return Buffer(static_cast<char*>(std::malloc(size_t(size))));
    const size_t rounded = (size_t(size) + kHuge - 1) & ~(kHuge - 1);
    char* p = static_cast<char*>(std::aligned_alloc(kHuge, rounded));
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);
    return Buffer(p);
}

// The workbook stream of an OLE2 file: "Workbook", else "Book" (Excel 5/95).
Buffer workbookStream(GsfInput* input, qint64 fileSize, const QString& label, qsizetype& streamSize)
{
    silenceGsf();
    GError* err = nullptr;
    GsfInfile* ole = gsf_infile_msole_new(input, &err);
    if (!ole) {
        if (err)
            g_error_free(err);
        fail(QString::fromUtf16(kDamaged), label);
    }
    int found = -1;
    int book = -1;
    const int n = gsf_infile_num_children(ole);
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(ole, i);
        if (!name)
            continue;
        if (g_ascii_strcasecmp(name, "Workbook") == 0 && found < 0)
            found = i;
        else if (g_ascii_strcasecmp(name, "Book") == 0 && book < 0)
            book = i;
    }
    if (found < 0)
        found = book;
    if (found < 0) {
        g_object_unref(ole);
        fail(QStringLiteral("文件中没有Excel工作簿数据"), label);
    }
    GsfInput* child = gsf_infile_child_by_index(ole, found);
    g_object_unref(ole);
    if (!child)
        fail(QString::fromUtf16(kDamaged), label);
    const gsf_off_t size = gsf_input_size(child);
    // The stream lives inside the file: a larger size is a lie.
    if (size <= 0 || size > fileSize) {
        g_object_unref(child);
        fail(QString::fromUtf16(kDamaged), label);
    }
    Buffer stream = allocateStream(qsizetype(size));
    if (!stream) {
        g_object_unref(child);
        fail(QString::fromUtf16(kDamaged), label);
    }
    const bool ok = gsf_input_read(child, size_t(size), reinterpret_cast<guint8*>(stream.get())) != nullptr;
    g_object_unref(child);
    if (!ok)
        fail(QString::fromUtf16(kDamaged), label);
    streamSize = qsizetype(size);
    return stream;
}

} // namespace

// ---------------------------------------------------------------------------

class XlsWorkbookDecoder {
public:
    static void globals(XlsWorkbook& book);
    static void worksheet(XlsWorkbook& book, int index);
    // Fills the sheet's row cache.
    static void row(const XlsSheet& sheet, int rowIndex);

private:
    static QString byteString(XlsCodePage& cp, const uchar* p, std::uint32_t avail, bool longCount);
    static std::uint32_t findSheetBof(XlsWorkbook& book, int index);
};

// A BIFF5 string: 8- or 16-bit byte count, then the bytes in the code page.
QString XlsWorkbookDecoder::byteString(XlsCodePage& cp, const uchar* p, std::uint32_t avail, bool longCount)
{
    const std::uint32_t head = longCount ? 2 : 1;
    if (avail < head)
        return QString();
    std::uint32_t n = longCount ? u16(p) : p[0];
    n = std::min(n, avail - head);
    return cp.decode(p + head, n);
}

void XlsWorkbookDecoder::globals(XlsWorkbook& book)
{
    const QString& label = book.label_;
    const QByteArray& s = book.stream_;
    RecordWalker walk(s, 0);
    Record r;
    if (!walk.next(r) || r.type != kBof || r.length < 4)
        fail(QString::fromUtf16(kNotXls), label);
    const std::uint16_t vers = u16(walk.at(r.pos));
    const std::uint16_t dt = u16(walk.at(r.pos + 2));
    if (vers < 0x0500)
        fail(QString::fromUtf16(kOldVersion), label);
    book.version_ = vers >= 0x0600 ? XlsWorkbook::Version::Biff8 : XlsWorkbook::Version::Biff5;
    const bool biff8 = book.version_ == XlsWorkbook::Version::Biff8;

    if (dt == kBofWorksheet) {
        // A lone worksheet without workbook records.
        XlsWorkbook::SheetInfo info;
        info.name = QStringLiteral("Sheet1");
        info.type = XlsWorkbook::SheetType::Worksheet;
        info.offset = 0;
        book.sheets_.push_back(std::move(info));
        book.active_ = 0;
        book.globalsEnd_ = 0;
        book.text_ = std::make_unique<XlsCodePage>(book.codePage_);
        return;
    }
    if (dt != kBofGlobals)
        fail(QString::fromUtf16(kNotXls), label);

    std::vector<std::uint16_t> xfFormats;
    QHash<int, bool> formatIsDate;
    struct RawName {
        std::uint32_t pos, len;
    };
    std::vector<RawName> sheetNames; // decoded once the code page is known
    std::vector<RawName> formatCodes;
    int window1Tab = -1;
    bool ended = false;

    while (!ended && walk.next(r)) {
        const uchar* d = walk.at(r.pos);
        switch (r.type) {
        case kEof:
            ended = true;
            break;
        case kFilePass:
            fail(QStringLiteral("工作簿有密码保护(已加密), 无法读取"), label);
        case kCodePage:
            if (r.length >= 2)
                book.codePage_ = u16(d);
            break;
        case kDateMode:
            if (r.length >= 2)
                book.dates1904_ = u16(d) == 1;
            break;
        case kWindow1:
            if (r.length >= 12 && window1Tab < 0)
                window1Tab = u16(d + 10);
            break;
        case kBoundSheet:
            if (r.length >= 6) {
                XlsWorkbook::SheetInfo info;
                info.offset = u32(d);
                switch (d[5]) {
                case 0: info.type = XlsWorkbook::SheetType::Worksheet; break;
                case 1: info.type = XlsWorkbook::SheetType::MacroSheet; break;
                case 2: info.type = XlsWorkbook::SheetType::Chart; break;
                default: info.type = XlsWorkbook::SheetType::Other; break;
                }
                book.sheets_.push_back(std::move(info));
                sheetNames.push_back({r.pos + 6, std::uint32_t(r.length - 6)});
            }
            break;
        case kFormat:
            if (r.length >= 2)
                formatCodes.push_back({r.pos, r.length});
            break;
        case kXf:
            if (r.length >= 4)
                xfFormats.push_back(u16(d + 2));
            break;
        case kSst: {
            if (!biff8 || r.length < 8)
                break;
            Segments seg;
            seg.add(d + 8, r.length - 8u);
            while (walk.peekType() == kContinue && walk.next(r))
                seg.add(walk.at(r.pos), r.length);
            const std::uint32_t count = u32(d + 4);
            // Each string takes at least three bytes, so the count cannot
            // ask for more room than the records hold.
            book.sst_.reserve(size_t(std::min<std::uint64_t>(count, seg.total() / 3)));
            QString str;
            for (std::uint32_t i = 0; i < count && !seg.atEnd(); ++i) {
                if (!seg.readUnicodeString(str, true))
                    break;
                book.sst_.push_back(str);
            }
            break;
        }
        default:
            break;
        }
    }
    if (!ended)
        fail(QString::fromUtf16(kDamaged), label);
    book.globalsEnd_ = walk.pos();

    book.text_ = std::make_unique<XlsCodePage>(book.codePage_);
    XlsCodePage& cp = *book.text_;
    auto decodeName = [&](std::uint32_t pos, std::uint32_t len, bool longCount) {
        const uchar* p = walk.at(pos);
        if (biff8) {
            Segments seg;
            seg.add(p, len);
            QString out;
            seg.readUnicodeString(out, longCount);
            return out;
        }
        return byteString(cp, p, len, longCount);
    };
    for (size_t i = 0; i < book.sheets_.size(); ++i)
        book.sheets_[i].name = decodeName(sheetNames[i].pos, sheetNames[i].len, false);
    for (const RawName& f : formatCodes) {
        const int index = u16(walk.at(f.pos));
        formatIsDate.insert(index, XlsFormats::isDateFormatCode(decodeName(f.pos + 2, f.len - 2, biff8)));
    }

    book.dateXf_.resize(xfFormats.size());
    for (size_t i = 0; i < xfFormats.size(); ++i) {
        const int f = xfFormats[i];
        book.dateXf_[i] = XlsFormats::isBuiltinDateFormat(f) || formatIsDate.value(f, false);
    }

    int active = -1;
    if (window1Tab >= 0 && window1Tab < int(book.sheets_.size())
        && book.sheets_[size_t(window1Tab)].type == XlsWorkbook::SheetType::Worksheet)
        active = window1Tab;
    for (size_t i = 0; active < 0 && i < book.sheets_.size(); ++i)
        if (book.sheets_[i].type == XlsWorkbook::SheetType::Worksheet)
            active = int(i);
    if (active < 0)
        fail(QStringLiteral("工作簿中没有工作表"), label);
    book.active_ = active;
}

// Where the sheet's own records start: at the offset its BOUNDSHEET gives
// when a worksheet BOF sits there, else the index-th substream after the
// workbook records.
std::uint32_t XlsWorkbookDecoder::findSheetBof(XlsWorkbook& book, int index)
{
    const QByteArray& s = book.stream_;
    const std::uint32_t size = std::uint32_t(s.size());
    const std::uint32_t offset = book.sheets_[size_t(index)].offset;
    const uchar* d = reinterpret_cast<const uchar*>(s.constData());
    if (offset < size && size - offset >= 8 && u16(d + offset) == kBof && u16(d + offset + 2) >= 4
        && u16(d + offset + 6) == kBofWorksheet)
        return offset;

    RecordWalker walk(s, book.globalsEnd_);
    Record r;
    int seen = -1;
    int depth = 0;
    std::uint32_t start = 0;
    while (walk.next(r)) {
        if (r.type == kBof) {
            if (depth == 0) {
                ++seen;
                start = r.pos - 4;
            }
            ++depth;
        } else if (r.type == kEof && depth > 0) {
            --depth;
        }
        if (seen == index)
            return start;
    }
    fail(QString::fromUtf16(kDamaged), book.label_);
}

namespace {
bool isCellRecord(std::uint16_t type)
{
    switch (type) {
    case kNumber: case kRk: case kMulRk: case kBlank: case kMulBlank: case kBoolErr:
    case kLabelSst: case kLabel: case kRString: case kFormula:
        return true;
    default:
        return false;
    }
}

// Excel 5 to 2003 sheets have 256 columns; cells past them are dropped, as
// Excel drops them, so that no file can claim a wider used range.
constexpr std::uint32_t kColumns = 256;

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
    case kFormula: minLength = 20; break;
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
    using Kind = XlsCell::Kind;
    auto push = [&](std::uint16_t col, std::uint16_t xf, Kind kind, double value) {
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
                cells.back().text = book.sharedString(u32(d + 6));
                break;
            case kLabel:
            case kRString:
                push(u16(d + 2), u16(d + 4), Kind::Text, 0);
                cells.back().text = text(d + 6, r.length - 6u);
                break;
            case kFormula: {
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

// ---------------------------------------------------------------------------

XlsCell XlsSheet::cell(int row, int column) const
{
    XlsCell c;
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
    if (c.kind == XlsCell::Kind::Text)
        c.text = it->text;
    else if (c.kind == XlsCell::Kind::Number)
        c.isDate = book_->isDateXf(it->xf);
    return c;
}

XlsWorkbook::~XlsWorkbook() = default;

void XlsWorkbook::FreeBuffer::operator()(void* p) const
{
    std::free(p);
}

std::unique_ptr<XlsWorkbook> XlsWorkbook::fromBuffer(std::unique_ptr<char, FreeBuffer> buffer, qsizetype size,
                                                     const QString& label)
{
    std::unique_ptr<XlsWorkbook> book(new XlsWorkbook);
    book->stream_ = QByteArray::fromRawData(buffer.get(), size);
    book->buffer_ = std::move(buffer);
    book->label_ = label;
    if (size > qsizetype(0x7FFFFFFF))
        fail(QString::fromUtf16(kDamaged), label);
    XlsWorkbookDecoder::globals(*book);
    return book;
}

std::unique_ptr<XlsWorkbook> XlsWorkbook::fromStream(QByteArray stream, const QString& label)
{
    std::unique_ptr<XlsWorkbook> book(new XlsWorkbook);
    book->stream_ = std::move(stream);
    book->label_ = label;
    // Offsets are 32-bit; a stream this large is no workbook of ours.
    if (book->stream_.size() > qsizetype(0x7FFFFFFF))
        fail(QString::fromUtf16(kDamaged), label);
    XlsWorkbookDecoder::globals(*book);
    return book;
}

std::unique_ptr<XlsWorkbook> XlsWorkbook::fromFileBytes(const QByteArray& bytes, const QString& label)
{
    if (bytes.isEmpty())
        fail(QStringLiteral("文件为空"), label);
    checkNotOther(bytes.left(8), label);
    if (!isOle2(bytes))
        return fromStream(bytes, label);
    silenceGsf();
    GsfInput* input = gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()),
                                           gsf_off_t(bytes.size()), FALSE);
    if (!input)
        fail(QString::fromUtf16(kDamaged), label);
    Buffer stream;
    qsizetype streamSize = 0;
    try {
        stream = workbookStream(input, bytes.size(), label, streamSize);
    } catch (...) {
        g_object_unref(input);
        throw;
    }
    g_object_unref(input);
    return fromBuffer(std::move(stream), streamSize, label);
}

std::unique_ptr<XlsWorkbook> XlsWorkbook::open(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("文件不存在"), path);
    if (!info.isFile())
        fail(QStringLiteral("不是文件"), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("无法读取文件"), path);
    const qint64 size = file.size();
    if (size == 0)
        fail(QStringLiteral("文件为空"), path);
    const QByteArray head = file.read(8);
    checkNotOther(head, path);
    if (!isOle2(head)) {
        file.seek(0);
        return fromStream(file.readAll(), path);
    }
    file.close();

    silenceGsf();
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(QFile::encodeName(path).constData(), &err);
    if (!input) {
        if (err)
            g_error_free(err);
        fail(QStringLiteral("无法读取文件"), path);
    }
    Buffer stream;
    qsizetype streamSize = 0;
    try {
        stream = workbookStream(input, size, path, streamSize);
    } catch (...) {
        g_object_unref(input);
        throw;
    }
    g_object_unref(input);
    return fromBuffer(std::move(stream), streamSize, path);
}

QString XlsWorkbook::sheetName(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].name : QString();
}

XlsWorkbook::SheetType XlsWorkbook::sheetType(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].type : SheetType::Other;
}

const XlsSheet& XlsWorkbook::sheet(int index)
{
    if (index < 0 || index >= sheetCount() || sheets_[size_t(index)].type != SheetType::Worksheet)
        throw Error(QStringLiteral("不是工作表: %1").arg(index + 1));
    if (!sheets_[size_t(index)].cells)
        XlsWorkbookDecoder::worksheet(*this, index);
    return *sheets_[size_t(index)].cells;
}

bool XlsWorkbook::isDateXf(int xf) const
{
    return xf >= 0 && size_t(xf) < dateXf_.size() && dateXf_[size_t(xf)];
}

QString XlsWorkbook::sharedString(std::uint32_t index) const
{
    return index < sst_.size() ? sst_[index] : QString();
}
