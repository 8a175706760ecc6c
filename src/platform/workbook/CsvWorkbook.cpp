#include "platform/workbook/CsvWorkbook.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstring>

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
constexpr qsizetype kDecodeChunk = qsizetype(1) << 20;
// Text offsets are 32-bit.
constexpr qint64 kMaxFileBytesOfText = qint64(UINT32_MAX);

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

Encoding encodingOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8Bom;
    if (bytes.startsWith("\xFF\xFE"))
        return Encoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return Encoding::Utf16BE;
    return isValidUtf8(bytes.constData(), bytes.size()) ? Encoding::Utf8 : Encoding::Gb18030;
}

// Text of another encoding as UTF-8, a chunk at a time from `read` (which
// gives an empty chunk at the end), so no whole copy of the file in UTF-16
// is ever made. Raises Error once the text passes `limit` bytes.
template <typename Read>
QByteArray decodeToUtf8(Encoding encoding, Read read, qint64 limit, const QString& label)
{
    QStringDecoder decode(encoding == Encoding::Utf16LE   ? QStringDecoder(QStringConverter::Utf16LE)
                          : encoding == Encoding::Utf16BE ? QStringDecoder(QStringConverter::Utf16BE)
                                                          : QStringDecoder("GB18030"));
    QByteArray out;
    // Room for the most the text may grow to, taken once: growing by
    // doubling would ask for up to twice that, and pages never written
    // cost nothing.
    out.reserve(qsizetype(std::min<qint64>(limit, kMaxFileBytesOfText)) + 4 * kDecodeChunk);
    bool first = true;
    for (QByteArray chunk = read(); !chunk.isEmpty(); chunk = read()) {
        QByteArrayView view(chunk);
        if (first && encoding != Encoding::Gb18030)
            view = view.sliced(2); // the byte-order mark
        first = false;
        const qsizetype before = out.size();
        out.append(QString(decode(view)).toUtf8());
        // A chunk that more than doubles is mostly bytes no encoding fits:
        // said at once instead of after most of a large file.
        if (out.size() - before > kMaxGrowth * view.size() + 16 || out.size() > limit)
            container::fail(QString::fromUtf16(kUnknownEncoding), label);
    }
    return out;
}

// Removes U+FEFF wherever it stands, in place: a byte-order mark of a file
// pasted into another is no part of any field.
void dropByteOrderMarks(QByteArray& text)
{
    constexpr QByteArrayView kBom("\xEF\xBB\xBF");
    qsizetype at = text.indexOf(kBom);
    if (at < 0)
        return;
    char* d = text.data();
    qsizetype out = at;
    for (qsizetype i = at; i < text.size();) {
        if (text.size() - i >= 3 && std::memcmp(d + i, kBom.data(), 3) == 0) {
            i += 3;
            continue;
        }
        d[out++] = d[i++];
    }
    text.truncate(out);
}

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

std::unique_ptr<CsvWorkbook> CsvWorkbook::open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        container::fail(QStringLiteral("无法读取文件"), path);
    const qint64 size = file.size();
    if (size > kMaxFileBytes)
        container::fail(QStringLiteral("文本文件过大(超过2000MB)，无法读取"), path);
    QByteArray bytes = file.readAll();
    const Encoding encoding = encodingOf(bytes);
    if (encoding == Encoding::Utf8 || encoding == Encoding::Utf8Bom)
        return fromUtf8(std::move(bytes), encoding == Encoding::Utf8Bom, path);
    // The file's bytes go before its text is made, read again a chunk at a
    // time: the text alone, at most twice the file, is in memory.
    bytes = QByteArray();
    if (!file.seek(0))
        container::fail(QStringLiteral("无法读取文件"), path);
    QByteArray text = decodeToUtf8(encoding, [&] { return file.read(kDecodeChunk); }, kMaxGrowth * size, path);
    return fromUtf8(std::move(text), false, path);
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::fromBytes(QByteArray bytes, const QString& name)
{
    const Encoding encoding = encodingOf(bytes);
    if (encoding == Encoding::Utf8 || encoding == Encoding::Utf8Bom)
        return fromUtf8(std::move(bytes), encoding == Encoding::Utf8Bom, name);
    qsizetype at = 0;
    QByteArray text = decodeToUtf8(encoding,
                                   [&] {
                                       const QByteArray chunk = bytes.mid(at, kDecodeChunk);
                                       at += chunk.size();
                                       return chunk;
                                   },
                                   kMaxGrowth * bytes.size(), name);
    return fromUtf8(std::move(text), false, name);
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::fromUtf8(QByteArray text, bool bom, const QString& name)
{
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook(name));
    if (bom)
        text.remove(0, 3); // in place: the only owner moves its bytes down
    dropByteOrderMarks(text);
    book->sheet_.texts() = std::move(text);
    book->parse(separatorOf(book->sheet_.texts(), name));
    return book;
}

// Fields that need no unquoting point into the text itself; a field with
// doubled quotes is unquoted into the room after it.
void CsvWorkbook::parse(char sep)
{
    QByteArray& texts = sheet_.texts();
    const qsizetype size = texts.size();
    if (size > qsizetype(UINT32_MAX))
        container::fail(QStringLiteral("文本文件过大，无法读取"), label_);
    const char* d = texts.constData();
    std::string unquoted;
    qint64 row = 0;
    qint64 column = 0;
    qsizetype i = 0;
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
    auto add = [&](std::uint32_t offset, std::uint32_t length) {
        if (length > 0)
            sheet_.addText(int(row), int(column), offset, length);
    };
    while (i < size) {
        if (d[i] == '"') {
            // Quoted: runs to the quote not followed by another.
            const qsizetype start = ++i;
            qint64 doubled = 0;
            while (i < size) {
                if (d[i] == '"') {
                    if (i + 1 < size && d[i + 1] == '"') {
                        ++doubled;
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            const qsizetype end = i;
            if (i < size)
                ++i; // the closing quote
            // Anything between the closing quote and the separator stays.
            const qsizetype tail = i;
            while (i < size && d[i] != sep && d[i] != '\n' && d[i] != '\r')
                ++i;
            check(utf16Units(d + start, end - start) - doubled + utf16Units(d + tail, i - tail));
            if (!doubled && tail == i) {
                add(std::uint32_t(start), std::uint32_t(end - start));
            } else {
                unquoted.clear();
                for (qsizetype k = start; k < end; ++k) {
                    unquoted += d[k];
                    if (d[k] == '"')
                        ++k;
                }
                unquoted.append(d + tail, size_t(i - tail));
                const std::uint32_t at = sheet_.storeText(QByteArrayView(unquoted.data(), qsizetype(unquoted.size())));
                d = texts.constData(); // the buffer may have moved
                add(at, std::uint32_t(unquoted.size()));
            }
        } else {
            const qsizetype start = i;
            const char* stop = d + i;
            while (stop < d + size && *stop != sep && *stop != '\n' && *stop != '\r')
                ++stop;
            i = stop - d;
            if (i > start)
                check(i - start <= kMaxCellChars ? 1 : utf16Units(d + start, i - start));
            add(std::uint32_t(start), std::uint32_t(i - start));
        }
        if (i >= size)
            break;
        if (d[i] == sep) {
            ++column;
            ++i;
            if (i == size) // a separator at the very end
                break;
            continue;
        }
        // A line break: \r\n, \n or \r.
        if (d[i] == '\r' && i + 1 < size && d[i + 1] == '\n')
            ++i;
        ++i;
        ++row;
        column = 0;
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
