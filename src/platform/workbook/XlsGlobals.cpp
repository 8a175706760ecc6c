#include "platform/workbook/Container.h"
#include "platform/workbook/Encryption.h"
#include "platform/workbook/NumberFormats.h"
#include "platform/workbook/XlsRecords.h"

#include <QHash>

using namespace xlsrec;

XlsCodePage::XlsCodePage(int codePage) : codePage_(codePage)
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

QString XlsCodePage::decode(const uchar* p, std::uint32_t n)
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
        info.type = Workbook::SheetType::Worksheet;
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
        case kFilePass: {
            // Excel's default password opens the file without asking; the
            // records after this one are decrypted where they lie.
            char* data = book.buffer_ ? book.buffer_.get() : book.stream_.data();
            const std::uint32_t after = r.pos + r.length;
            if (!biff8 || book.decrypted_
                || !encryption::decryptBiff(data, std::uint32_t(s.size()), after,
                                            QByteArrayView(data + r.pos, r.length)))
                fail(QString::fromUtf16(kPassword), label);
            book.decrypted_ = true;
            walk = RecordWalker(s, after); // the bytes may have moved on a first write
            break;
        }
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
                const int state = d[4] & 0x03; // hsState
                info.visibility = state == 1   ? Workbook::Visibility::Hidden
                                : state == 2 ? Workbook::Visibility::VeryHidden
                                             : Workbook::Visibility::Visible;
                switch (d[5]) {
                case 0: info.type = Workbook::SheetType::Worksheet; break;
                case 1: info.type = Workbook::SheetType::MacroSheet; break;
                case 2: info.type = Workbook::SheetType::Chart; break;
                default: info.type = Workbook::SheetType::Other; break;
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
            book.sstEnd_.reserve(size_t(std::min<std::uint64_t>(count, seg.total() / 3)));
            // No more characters than bytes: room for them all at once, as
            // growing by doubling copied the table over and over. Pages not
            // written to are never taken.
            book.sstText_.reserve(size_t(seg.total()));
            container::adviseHuge(book.sstText_.data(), book.sstText_.capacity() * sizeof(char16_t));
            QString str;
            for (std::uint32_t i = 0; i < count && !seg.atEnd(); ++i) {
                if (!seg.readUnicodeString(str, true))
                    break;
                book.sstText_.insert(book.sstText_.end(), str.utf16(), str.utf16() + str.size());
                book.sstEnd_.push_back(book.sstText_.size());
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
        formatIsDate.insert(index, NumberFormats::isDateFormatCode(decodeName(f.pos + 2, f.len - 2, biff8)));
    }

    book.dateXf_.resize(xfFormats.size());
    for (size_t i = 0; i < xfFormats.size(); ++i) {
        const int f = xfFormats[i];
        book.dateXf_[i] = NumberFormats::isBuiltinDateFormat(f) || formatIsDate.value(f, false);
    }

    int active = -1;
    if (window1Tab >= 0 && window1Tab < int(book.sheets_.size())
        && book.sheets_[size_t(window1Tab)].type == Workbook::SheetType::Worksheet)
        active = window1Tab;
    for (size_t i = 0; active < 0 && i < book.sheets_.size(); ++i)
        if (book.sheets_[i].type == Workbook::SheetType::Worksheet)
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
