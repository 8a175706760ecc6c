#pragma once

// The pieces of the .xls reader that its container, globals and cell
// decoders share: record walking that never passes a record or stream end,
// strings across CONTINUE seams, BIFF5 code pages.
#include "platform/Errors.h"
#include "platform/workbook/Container.h"
#include "platform/workbook/XlsWorkbook.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the reader copies little-endian values as they are");

namespace xlsrec {

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
    kFormula4 = 0x0406, // the Excel 4 id, still written into some BIFF8 files
    kBof = 0x0809,
};

enum : std::uint16_t { kBofGlobals = 0x0005, kBofWorksheet = 0x0010 };

// Reasons shown to the user, followed by the file.
inline constexpr const char16_t* kDamaged = u"文件已损坏或不完整";
inline constexpr const char16_t* kNotXls = u"不是Excel 97-2003工作簿(.xls)";
inline constexpr const char16_t* kPassword = u"工作簿有密码保护，请先取消密码";
inline constexpr const char16_t* kOldVersion = u"不支持的Excel版本(只支持Excel 5.0至2003)";

using container::fail;

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

inline double rkValue(std::uint32_t rk)
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
        out.resize(0);  // its room kept: the strings of a table are read into one
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

} // namespace xlsrec

// Text of BIFF5 files, in the workbook's code page.
class XlsCodePage {
public:
    explicit XlsCodePage(int codePage);
    QString decode(const uchar* p, std::uint32_t n);

private:
    int codePage_;
    QStringDecoder decoder_;
};

class XlsWorkbookDecoder {
public:
    static void globals(XlsWorkbook& book);
    static void worksheet(XlsWorkbook& book, int index);
    // Fills the sheet's row cache.
    static void row(const XlsSheet& sheet, int rowIndex);

private:
    static QString byteString(XlsCodePage& cp, const uchar* p, std::uint32_t avail, bool longCount);
    static std::uint32_t findSheetBof(XlsWorkbook& book, int index);
    static qsizetype textLength(const XlsWorkbook& book, const xlsrec::Record& r, const uchar* d);
};
