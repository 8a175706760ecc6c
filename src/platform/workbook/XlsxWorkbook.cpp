#include "platform/workbook/XlsxWorkbook.h"

#include "platform/Errors.h"
#include "platform/workbook/Container.h"

#include <exception>
#include <thread>

namespace {

// The small parts (workbook, relationships, styles) are read whole, up to
// this size each.
constexpr qint64 kMaxSmallPart = qint64(64) << 20;

const char16_t* const kDamaged = u"文件已损坏或不完整(缺少工作簿的组成部分)";
const char16_t* const kNoWorksheet = u"工作簿中没有工作表";
const char16_t* const kBinary =
    u"这是Excel二进制工作簿(.xlsb)，请用Excel或WPS打开后另存为Excel工作簿(.xlsx)";

} // namespace

XlsxWorkbook::~XlsxWorkbook() = default;

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::open(ZipContainer zip, int maxRows)
{
    std::unique_ptr<XlsxWorkbook> book(new XlsxWorkbook(std::move(zip)));
    book->maxRows_ = maxRows;
    book->readWorkbook();
    book->readStyles();
    return book;
}

QByteArray XlsxWorkbook::workbookPart(const ZipContainer& zip)
{
    const QString& label = zip.path();
    QByteArray part;
    const QByteArray packageRels = zip.read("_rels/.rels", kMaxSmallPart);
    if (!packageRels.isNull()) {
        for (const xlsx::Relationship& r : xlsx::parseRelationships(packageRels, "", label)) {
            if (r.type == "officeDocument" && zip.contains(r.target)) {
                part = r.target;
                break;
            }
        }
    }
    if (part.isEmpty())
        return zip.contains("xl/workbook.xml") ? QByteArray("xl/workbook.xml") : QByteArray();
    // A Word or PowerPoint document has an office document too.
    const QByteArray types = zip.read("[Content_Types].xml", kMaxSmallPart);
    const QByteArray type = types.isNull() ? QByteArray() : xlsx::contentType(types, part, label);
    if (type.contains("ms-excel.sheet.binary"))
        container::fail(QString::fromUtf16(kBinary), label);
    if (type.isEmpty() || type.contains("spreadsheetml") || type.contains("ms-excel"))
        return part;
    return QByteArray();
}

void XlsxWorkbook::readWorkbook()
{
    const QString& label = zip_.path();
    const QByteArray name = workbookPart(zip_);
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = name.first(slash + 1); // "xl/"
    const QByteArray workbook = name.isEmpty() ? QByteArray() : zip_.read(name, kMaxSmallPart);
    const QByteArray rels = name.isEmpty() ? QByteArray()
                                           : zip_.read(folder + "_rels/" + name.sliced(slash + 1) + ".rels", kMaxSmallPart);
    if (workbook.isNull() || rels.isNull())
        container::fail(QString::fromUtf16(kDamaged), label);
    const xlsx::WorkbookPart part = xlsx::parseWorkbook(workbook, label);
    relationships_ = xlsx::parseRelationships(rels, folder, label);
    dates1904_ = part.dates1904;

    for (const xlsx::WorkbookPart::Sheet& s : part.sheets) {
        SheetInfo info;
        info.name = s.name;
        info.visibility = s.visibility;
        for (const xlsx::Relationship& r : relationships_) {
            if (r.id != s.relationId)
                continue;
            info.part = r.target;
            if (r.type == "worksheet")
                info.type = SheetType::Worksheet;
            else if (r.type == "chartsheet")
                info.type = SheetType::Chart;
            else if (r.type == "macrosheet")
                info.type = SheetType::MacroSheet;
            break;
        }
        sheets_.push_back(std::move(info));
    }
    int active = -1;
    if (part.activeTab >= 0 && part.activeTab < sheetCount() && sheets_[size_t(part.activeTab)].type == SheetType::Worksheet)
        active = part.activeTab;
    for (int i = 0; active < 0 && i < sheetCount(); ++i)
        if (sheets_[size_t(i)].type == SheetType::Worksheet)
            active = i;
    if (active < 0)
        container::fail(QString::fromUtf16(kNoWorksheet), label);
    active_ = active;
}

void XlsxWorkbook::readStyles()
{
    for (const xlsx::Relationship& r : relationships_) {
        if (r.type != "styles")
            continue;
        const QByteArray styles = zip_.read(r.target, kMaxSmallPart);
        if (!styles.isNull())
            dateXf_ = xlsx::parseDateStyles(styles, zip_.path());
        return;
    }
}

std::function<void()> XlsxWorkbook::readSharedStrings(std::jthread& worker, std::exception_ptr& error)
{
    auto ready = [&worker, &error] {
        if (worker.joinable())
            worker.join();
        if (error)
            std::rethrow_exception(error);
    };
    if (stringsRead_)
        return ready;
    stringsRead_ = true;
    // The first table named; a workbook has one.
    for (const xlsx::Relationship& r : relationships_) {
        if (r.type == "sharedStrings") {
            strings_.part = r.target;
            break;
        }
    }
    if (strings_.part.isEmpty())
        return ready;
    const qint64 size = zip_.memberSize(strings_.part);
    if (size < 0) {
        strings_.missing = true;
        return ready;
    }
    // A table of a sane size is read whole and parsed on a thread of its
    // own while the sheet's pieces are; a larger one is streamed now.
    if (size <= kMaxSmallPart) {
        const QByteArray xml = zip_.read(strings_.part, kMaxSmallPart);
        worker = std::jthread([this, xml, &error] {
            try {
                xlsx::parseSharedStrings(xml, zip_.path(), strings_);
            } catch (...) {
                error = std::current_exception();
            }
        });
        return ready;
    }
    xlsx::parseSharedStrings(zip_, strings_.part, strings_);
    return ready;
}

QString XlsxWorkbook::sheetName(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].name : QString();
}

Workbook::Visibility XlsxWorkbook::sheetVisibility(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].visibility : Visibility::Visible;
}

Workbook::SheetType XlsxWorkbook::sheetType(int index) const
{
    return index >= 0 && index < sheetCount() ? sheets_[size_t(index)].type : SheetType::Other;
}

const WorkbookSheet& XlsxWorkbook::sheet(int index)
{
    if (index < 0 || index >= sheetCount() || sheets_[size_t(index)].type != SheetType::Worksheet)
        throw Error(QStringLiteral("不是工作表: %1").arg(index + 1));
    SheetInfo& info = sheets_[size_t(index)];
    if (!info.cells) {
        std::exception_ptr stringsError;
        std::jthread stringsWorker;
        const std::function<void()> stringsReady = readSharedStrings(stringsWorker, stringsError);
        auto cells = std::make_unique<CompactSheet>(zip_.path(), info.name);
        // Shared strings are read where they lie: cells point into the table.
        xlsx::parseWorksheet(zip_, info.part, dateXf_, dates1904_, strings_, stringsReady, *cells,
                             maxRows_ > 0 ? 0 : xlsx::kPieceBytes, maxRows_);
        stringsReady();
        info.cells = std::move(cells);
    }
    return *info.cells;
}
