#include "platform/workbook/XlsRecords.h"
#include "platform/workbook/Container.h"

#include <QFile>
#include <QFileInfo>

#include <gsf/gsf.h>

using namespace xlsrec;

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

using container::Buffer;

// The workbook stream of an OLE2 file: "Workbook", else "Book" (Excel 5/95).
Buffer workbookStream(GsfInput* input, qint64 fileSize, const QString& label, qsizetype& streamSize)
{
    container::initGsf();
    GError* err = nullptr;
    GsfInfile* ole = gsf_infile_msole_new(input, &err);
    if (!ole) {
        if (err)
            g_error_free(err);
        fail(QString::fromUtf16(kDamaged), label);
    }
    int found = -1;
    int book = -1;
    bool encrypted = false;
    const int n = gsf_infile_num_children(ole);
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(ole, i);
        if (!name)
            continue;
        if (g_ascii_strcasecmp(name, "Workbook") == 0 && found < 0)
            found = i;
        else if (g_ascii_strcasecmp(name, "Book") == 0 && book < 0)
            book = i;
        else if (g_ascii_strcasecmp(name, "EncryptedPackage") == 0)
            encrypted = true; // an .xlsx under a password is an OLE2 file
    }
    if (found < 0)
        found = book;
    if (found < 0) {
        g_object_unref(ole);
        fail(encrypted ? QString::fromUtf16(kPassword) : QStringLiteral("文件中没有Excel工作簿数据"), label);
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
    Buffer stream = container::allocate(size_t(size));
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

XlsWorkbook::~XlsWorkbook() = default;

std::unique_ptr<XlsWorkbook> XlsWorkbook::fromBuffer(container::Buffer buffer, qsizetype size,
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
    container::initGsf();
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

    container::initGsf();
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

Workbook::Visibility XlsWorkbook::sheetVisibility(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].visibility : Visibility::Visible;
}

Workbook::SheetType XlsWorkbook::sheetType(int index) const
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
    if (index >= sstEnd_.size())
        return QString();
    const std::uint64_t from = index == 0 ? 0 : sstEnd_[index - 1];
    return QString(reinterpret_cast<const QChar*>(sstText_.data() + from), sharedStringSize(index));
}

qsizetype XlsWorkbook::sharedStringSize(std::uint32_t index) const
{
    if (index >= sstEnd_.size())
        return 0;
    return qsizetype(sstEnd_[index] - (index == 0 ? 0 : sstEnd_[index - 1]));
}
