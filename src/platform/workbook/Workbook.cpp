#include "platform/workbook/Workbook.h"

#include "platform/workbook/Container.h"
#include "platform/workbook/CsvWorkbook.h"
#include "platform/workbook/Encryption.h"
#include "platform/workbook/OdsWorkbook.h"
#include "platform/workbook/XlsWorkbook.h"
#include "platform/workbook/XlsxWorkbook.h"
#include "platform/workbook/ZipContainer.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

// How much of a text file is looked at to say what it really is.
constexpr qint64 kSniffBytes = 4096;

const char16_t* const kNotAWorkbook =
    u"不是能读取的表格文件，请选择Excel或WPS工作簿(.xls、.xlsx)、OpenDocument表格(.ods)或CSV文本(.csv、.txt、.tsv)";
const char16_t* const kHtml =
    u"这是网页文件(HTML)，不是真正的Excel工作簿，请用Excel或WPS打开后另存为Excel工作簿(.xlsx)";
const char16_t* const kXml2003 =
    u"这是Excel 2003 XML表格，请用Excel或WPS打开后另存为Excel工作簿(.xlsx)";
const char16_t* const kOtherZip =
    u"压缩文件中没有表格，不是Excel工作簿(.xlsx)或OpenDocument表格(.ods)";

bool startsWith(const QByteArray& head, const char* magic, qsizetype n)
{
    return head.size() >= n && std::memcmp(head.constData(), magic, size_t(n)) == 0;
}

// The head of a text file with its byte-order mark and leading blanks gone,
// lower-cased, for telling web pages and XML from comma-separated text.
QByteArray textStart(const QByteArray& head)
{
    QByteArray t = head;
    if (t.startsWith("\xEF\xBB\xBF"))
        t.remove(0, 3);
    else if (t.startsWith("\xFF\xFE") || t.startsWith("\xFE\xFF"))
        // Only the ASCII of UTF-16 text matters for the tags below.
        t = QString::fromUtf16(reinterpret_cast<const char16_t*>(t.constData() + 2), (t.size() - 2) / 2).toLatin1();
    return t.trimmed().toLower();
}

bool isHtml(const QByteArray& t)
{
    for (const char* tag : {"<!doctype html", "<html", "<head", "<body", "<table", "<meta", "mime-version:"})
        if (t.startsWith(tag))
            return true;
    return t.startsWith("<") && (t.contains("<html") || t.contains("<table"));
}

bool isXml2003(const QByteArray& t)
{
    return t.startsWith("<?xml")
        && (t.contains("urn:schemas-microsoft-com:office:spreadsheet") || t.contains("progid=\"excel.sheet\""));
}

bool hasCsvName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"csv" || suffix == u"txt" || suffix == u"tsv";
}

// Text has no NUL bytes, except as UTF-16 with its byte-order mark.
bool looksLikeText(const QByteArray& head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || !head.contains('\0');
}

} // namespace

std::unique_ptr<Workbook> openWorkbook(const QString& path, int maxRows)
{
    const QFileInfo info(path);
    if (!info.exists())
        container::fail(QStringLiteral("文件不存在"), path);
    if (!info.isFile())
        container::fail(QStringLiteral("不是文件"), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        container::fail(QStringLiteral("无法读取文件"), path);
    if (file.size() == 0)
        container::fail(QStringLiteral("文件为空"), path);
    const QByteArray head = file.read(kSniffBytes);
    file.close();

    if (startsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        // An encrypted .xlsx is an OLE2 file around its package.
        const QByteArray package = encryption::encryptedPackageOf(path);
        if (!package.isNull())
            return XlsxWorkbook::open(ZipContainer(package, path), maxRows);
        return XlsWorkbook::open(path);
    }
    if (startsWith(head, "PK\x03\x04", 4) || startsWith(head, "PK\x05\x06", 4)) {
        ZipContainer zip(path);
        if (!XlsxWorkbook::workbookPart(zip).isEmpty())
            return XlsxWorkbook::open(std::move(zip), maxRows);
        if (OdsWorkbook::isOds(zip))
            return OdsWorkbook::open(std::move(zip), maxRows);
        container::fail(QString::fromUtf16(kOtherZip), path);
    }
    // A bare BIFF stream, or an Excel 2 to 4 file, which the .xls reader names.
    if (head.size() >= 2 && uchar(head[0]) == 0x09 && QByteArrayView("\x00\x02\x04\x08", 4).contains(head[1]))
        return XlsWorkbook::open(path);
    const QByteArray text = textStart(head);
    if (isHtml(text))
        container::fail(QString::fromUtf16(kHtml), path);
    if (isXml2003(text))
        container::fail(QString::fromUtf16(kXml2003), path);
    if (hasCsvName(path) && looksLikeText(head))
        return CsvWorkbook::open(path, maxRows);
    container::fail(QString::fromUtf16(kNotAWorkbook), path);
}
