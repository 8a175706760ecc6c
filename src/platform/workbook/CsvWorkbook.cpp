#include "platform/workbook/CsvWorkbook.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstring>
#include <functional>
#include <string>

namespace {

bool isValidUtf8(const char* p, qsizetype n)
{
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    qsizetype i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: the common case.
        if (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        int more;
        quint32 cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= more)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += more + 1;
    }
    return true;
}

// Limits of every spreadsheet program, which the other formats hold to.
constexpr qint64 kMaxRows = CompactSheet::kMaxRows;
constexpr qint64 kMaxColumns = CompactSheet::kMaxColumns;
constexpr qint64 kMaxCellChars = 32767;
// Text decoded from another encoding grows: GBK's two bytes become three,
// an invalid byte the three of U+FFFD. Past twice the file it is no text.
constexpr qint64 kMaxGrowth = 2;

const char16_t* const kUnknownEncoding =
    u"文本文件的编码无法识别(不是UTF-8、UTF-16或GBK)，请用Excel或WPS另存为UTF-8编码的CSV文件";

// "AB" for the 28th column, counting from 0.
QString columnLetters(qint64 column)
{
    QString letters;
    for (qint64 c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + int((c - 1) % 26)));
    return letters;
}

// The characters (UTF-16 units, as spreadsheet programs count) of UTF-8.
qint64 utf16Units(const char* p, qsizetype n)
{
    qint64 units = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        units += (c & 0xC0) != 0x80; // a character's first byte
        units += c >= 0xF0;          // past U+FFFF: a surrogate pair
    }
    return units;
}

enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Gb18030 };

// The file's text is read a piece at a time: the sheet keeps its cells,
// never the whole file.
constexpr qsizetype kReadChunk = qsizetype(4) << 20;

Encoding encodingOf(QByteArrayView head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8Bom;
    if (head.startsWith("\xFF\xFE"))
        return Encoding::Utf16LE;
    if (head.startsWith("\xFE\xFF"))
        return Encoding::Utf16BE;
    return Encoding::Utf8;
}

// Text without a byte-order mark that turns out not to be UTF-8: it is
// read again as GB18030.
struct NotUtf8 {};

// Where text of UTF-8 may be cut: before a character that `bytes` ends in
// the middle of.
qsizetype completeUtf8(const char* p, qsizetype n)
{
    for (qsizetype k = 1; k <= 3 && k <= n; ++k) {
        const auto c = static_cast<unsigned char>(p[n - k]);
        if ((c & 0xC0) == 0x80)
            continue;
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > k ? n - k : n;
    }
    return n;
}

} // namespace

// The file's text as UTF-8 a piece at a time, each U+FEFF removed, from
// `read` (which fills its buffer with the next piece, empty at the end).
// Text of another encoding is converted piece by piece; past `limit` bytes
// of text, or a piece that more than doubles, it is no text of that
// encoding. The pieces go straight onto the parser's text: one buffer read
// into again and again, no copy of a piece on the way.
class TextSource {
public:
    using Read = std::function<void(QByteArray&)>;

    TextSource(Encoding encoding, Read read, qint64 limit, const QString& label)
        : encoding_(encoding), read_(std::move(read)), limit_(limit), label_(label)
    {
        if (encoding == Encoding::Utf16LE)
            decode_ = QStringDecoder(QStringConverter::Utf16LE);
        else if (encoding == Encoding::Utf16BE)
            decode_ = QStringDecoder(QStringConverter::Utf16BE);
        else if (encoding == Encoding::Gb18030)
            decode_ = QStringDecoder("GB18030");
    }

    // Appends the next piece to `out`; false at the end.
    bool next(std::string& out)
    {
        for (;;) {
            read_(chunk_);
            if (chunk_.isEmpty()) {
                if (encoding_ == Encoding::Utf8 && !carry_.empty()
                    && !isValidUtf8(carry_.data(), qsizetype(carry_.size())))
                    throw NotUtf8();
                if (bomCarry_.empty() && carry_.empty())
                    return false;
                // What was held back is text after all.
                out.append(bomCarry_);
                out.append(carry_);
                bomCarry_.clear();
                carry_.clear();
                return true;
            }
            QByteArrayView view(chunk_);
            if (first_ && encoding_ != Encoding::Utf8 && encoding_ != Encoding::Gb18030)
                view = view.sliced(encoding_ == Encoding::Utf8Bom ? 3 : 2); // the byte-order mark
            first_ = false;
            const size_t start = out.size();
            out.append(bomCarry_);
            bomCarry_.clear();
            if (encoding_ == Encoding::Utf8 || encoding_ == Encoding::Utf8Bom) {
                const size_t text = out.size();
                out.append(carry_);
                out.append(view.data(), size_t(view.size()));
                const size_t whole = text + size_t(completeUtf8(out.data() + text, qsizetype(out.size() - text)));
                carry_.assign(out, whole);
                out.resize(whole);
                if (encoding_ == Encoding::Utf8 && !isValidUtf8(out.data() + text, qsizetype(whole - text)))
                    throw NotUtf8();
            } else {
                const QByteArray utf8 = QString(decode_(view)).toUtf8();
                produced_ += utf8.size();
                // A piece that more than doubles is mostly bytes no encoding
                // fits: said at once instead of after most of a large file.
                if (utf8.size() > kMaxGrowth * view.size() + 16 || produced_ > limit_)
                    container::fail(QString::fromUtf16(kUnknownEncoding), label_);
                out.append(utf8.constData(), size_t(utf8.size()));
            }
            dropByteOrderMarks(out, start);
            if (out.size() > start)
                return true;
        }
    }

private:
    // Removes U+FEFF wherever it stands in `text` from `from` on, holding
    // back the start of one that the piece ends in: a byte-order mark of a
    // file pasted into another is no part of any field.
    void dropByteOrderMarks(std::string& text, size_t from)
    {
        static constexpr char kBom[] = "\xEF\xBB\xBF";
        size_t at = text.find(kBom, from);
        if (at != std::string::npos) {
            size_t out = at;
            for (size_t i = at; i < text.size();) {
                if (text.compare(i, 3, kBom) == 0) {
                    i += 3;
                    continue;
                }
                text[out++] = text[i++];
            }
            text.resize(out);
        }
        for (size_t k = 2; k >= 1; --k) {
            if (text.size() >= from + k && text.compare(text.size() - k, k, kBom, k) == 0) {
                bomCarry_.assign(text, text.size() - k);
                text.resize(text.size() - k);
                break;
            }
        }
    }

    Encoding encoding_;
    Read read_;
    qint64 limit_;
    QString label_;
    QStringDecoder decode_;
    QByteArray chunk_;     // read into again and again
    bool first_ = true;
    qint64 produced_ = 0;
    std::string carry_;    // the start of a character the last piece cut
    std::string bomCarry_; // the start of a byte-order mark the last piece cut
};

namespace {

char separatorOf(const QByteArray& text, const QString& name)
{
    if (QFileInfo(name).suffix().compare(u"tsv", Qt::CaseInsensitive) == 0)
        return '\t';
    int comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\n' || c == '\r')
            break;
        else if (c == ',')
            ++comma;
        else if (c == ';')
            ++semicolon;
        else if (c == '\t')
            ++tab;
    }
    if (semicolon > comma && semicolon >= tab)
        return ';';
    if (tab > comma && tab > semicolon)
        return '\t';
    return ',';
}

} // namespace

std::unique_ptr<CsvWorkbook> CsvWorkbook::open(const QString& path, int maxRows)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        container::fail(QStringLiteral("无法读取文件"), path);
    const qint64 size = file.size();
    if (size > kMaxFileBytes)
        container::fail(QStringLiteral("文本文件过大(超过2000MB)，无法读取"), path);
    const Encoding encoding = encodingOf(file.peek(4));
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook(path));
    book->maxRows_ = maxRows;
    auto readFile = [&](QByteArray& chunk) {
        chunk.resize(kReadChunk);
        const qint64 n = file.read(chunk.data(), kReadChunk);
        if (n < 0)
            container::fail(QStringLiteral("无法读取文件"), path);
        chunk.resize(n);
    };
    try {
        TextSource text(encoding, readFile, kMaxGrowth * size, path);
        book->parse(text, path);
    } catch (const NotUtf8&) {
        book->sheet_.clear();
        if (!file.seek(0))
            container::fail(QStringLiteral("无法读取文件"), path);
        TextSource text(Encoding::Gb18030, readFile, kMaxGrowth * size, path);
        book->parse(text, path);
    }
    return book;
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::fromBytes(QByteArray bytes, const QString& name)
{
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook(name));
    qsizetype at = 0;
    auto readBytes = [&](QByteArray& chunk) {
        chunk = bytes.mid(at, kReadChunk);
        at += chunk.size();
    };
    const qint64 limit = kMaxGrowth * bytes.size();
    try {
        TextSource text(encodingOf(bytes), readBytes, limit, name);
        book->parse(text, name);
    } catch (const NotUtf8&) {
        book->sheet_.clear();
        at = 0;
        TextSource text(Encoding::Gb18030, readBytes, limit, name);
        book->parse(text, name);
    }
    return book;
}

// The text is parsed as it is read: a field cut by the end of a piece is
// read on once the next piece is there, and the text before a field is
// dropped now and then.
void CsvWorkbook::parse(TextSource& source, const QString& name)
{
    std::string buf;
    // The most it holds: a piece not yet parsed, the next, and a field
    // they cut; its pages are touched once.
    buf.reserve(size_t(2 * kReadChunk + kMaxCellChars * 4));
    bool eof = !source.next(buf);
    auto more = [&] {
        if (eof)
            return false;
        eof = !source.next(buf);
        return !eof;
    };
    const char sep = separatorOf(QByteArray::fromRawData(buf.data(), qsizetype(buf.size())), name);
    std::string unquoted;
    qint64 row = 0;
    qint64 column = 0;
    size_t i = 0;
    // Checked before a field is stored, so a field of 100 MB costs no copy.
    auto check = [&](qint64 units) {
        if (units == 0)
            return;
        if (row >= kMaxRows)
            container::fail(QStringLiteral("第%1行有内容，超出了表格的最大行数(1048576行)，请把文件分成几个导入").arg(row + 1),
                            label_);
        if (column >= kMaxColumns)
            container::fail(QStringLiteral("第%1行第%2列有内容，超出了表格的最大列数(16384列)，请检查分隔符")
                                .arg(row + 1).arg(column + 1),
                            label_);
        if (units > kMaxCellChars)
            container::fail(QStringLiteral("第%1行%2列的文字超过32767个字符，是表格单元格容纳不下的长度，请检查该单元格")
                                .arg(row + 1).arg(columnLetters(column)),
                            label_);
    };
    // A field still open past this many bytes holds more than 32,767
    // characters: the text read for it stays bounded.
    constexpr size_t kMaxFieldBytes = 3 * size_t(kMaxCellChars) + 4;
    auto bounded = [&](size_t start, size_t at) {
        if (at - start > kMaxFieldBytes)
            check(kMaxCellChars + 1);
    };
    auto add = [&](const char* p, size_t length) {
        if (length > 0)
            sheet_.addText(int(row), int(column), QByteArrayView(p, qsizetype(length)));
    };
    auto isEnd = [&](char c) { return c == sep || c == '\n' || c == '\r'; };
    for (;;) {
        if (i >= buf.size() && !more())
            break;
        if (i >= size_t(kReadChunk)) {
            buf.erase(0, i);
            i = 0;
        }
        if (buf[i] == '"') {
            // Quoted: runs to the quote not followed by another.
            const size_t start = ++i;
            qint64 doubled = 0;
            for (;;) {
                if (i >= buf.size()) {
                    if (!more())
                        break;
                    continue;
                }
                if (buf[i] == '"') {
                    if (i + 1 >= buf.size() && more())
                        continue;
                    if (i + 1 < buf.size() && buf[i + 1] == '"') {
                        ++doubled;
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
                bounded(start, i);
            }
            const size_t end = i;
            if (i < buf.size())
                ++i; // the closing quote
            // Anything between the closing quote and the separator stays.
            const size_t tail = i;
            for (;;) {
                while (i < buf.size() && !isEnd(buf[i]))
                    ++i;
                bounded(start, i);
                if (i < buf.size() || !more())
                    break;
            }
            const char* d = buf.data();
            check(utf16Units(d + start, qsizetype(end - start)) - doubled + utf16Units(d + tail, qsizetype(i - tail)));
            if (!doubled && tail == i) {
                add(d + start, end - start);
            } else {
                unquoted.clear();
                for (size_t k = start; k < end; ++k) {
                    unquoted += d[k];
                    if (d[k] == '"')
                        ++k;
                }
                unquoted.append(d + tail, i - tail);
                add(unquoted.data(), unquoted.size());
            }
        } else {
            const size_t start = i;
            for (;;) {
                const char* d = buf.data();
                const char* stop = d + i;
                const char* last = d + buf.size();
                while (stop < last && *stop != sep && *stop != '\n' && *stop != '\r')
                    ++stop;
                i = size_t(stop - d);
                bounded(start, i);
                if (i < buf.size() || !more())
                    break;
            }
            if (i > start)
                check(i - start <= size_t(kMaxCellChars) ? 1 : utf16Units(buf.data() + start, qsizetype(i - start)));
            add(buf.data() + start, i - start);
        }
        if (i >= buf.size() && !more())
            break;
        if (buf[i] == sep) {
            ++column;
            ++i;
            if (i >= buf.size() && !more()) // a separator at the very end
                break;
            continue;
        }
        // A line break: \r\n, \n or \r.
        if (buf[i] == '\r' && i + 1 >= buf.size())
            more();
        if (buf[i] == '\r' && i + 1 < buf.size() && buf[i + 1] == '\n')
            ++i;
        ++i;
        ++row;
        column = 0;
        if (maxRows_ > 0 && row >= maxRows_)
            break;
    }
    sheet_.finish();
}

QString CsvWorkbook::sheetName(int index) const
{
    return index == 0 ? QFileInfo(label_).completeBaseName() : QString();
}

Workbook::SheetType CsvWorkbook::sheetType(int index) const
{
    return index == 0 ? SheetType::Worksheet : SheetType::Other;
}

const WorkbookSheet& CsvWorkbook::sheet(int index)
{
    if (index != 0)
        throw Error(QStringLiteral("不是工作表: %1").arg(index + 1));
    return sheet_;
}
