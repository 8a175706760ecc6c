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

// The file's text as UTF-8, whatever it was written in.
QByteArray toUtf8(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return bytes.sliced(3);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decode(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return QString(decode(QByteArrayView(bytes).sliced(2))).toUtf8();
    }
    if (isValidUtf8(bytes.constData(), bytes.size()))
        return bytes;
    QStringDecoder gb("GB18030");
    return QString(gb(bytes)).toUtf8();
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
    if (file.size() > kMaxFileBytes)
        container::fail(QStringLiteral("文本文件过大(超过2000MB)，无法读取"), path);
    return fromBytes(file.readAll(), path);
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::fromBytes(QByteArray bytes, const QString& name)
{
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook(name));
    book->sheet_.texts() = toUtf8(std::move(bytes));
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
    int row = 0;
    int column = 0;
    qsizetype i = 0;
    auto add = [&](std::uint32_t offset, std::uint32_t length) {
        if (length > 0 && column < CompactSheet::kMaxColumns)
            sheet_.addText(row, column, offset, length);
    };
    while (i < size) {
        if (d[i] == '"') {
            // Quoted: runs to the quote not followed by another.
            const qsizetype start = ++i;
            bool doubled = false;
            while (i < size) {
                if (d[i] == '"') {
                    if (i + 1 < size && d[i + 1] == '"') {
                        doubled = true;
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
