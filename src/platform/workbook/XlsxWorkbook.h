#pragma once

#include "platform/workbook/CompactSheet.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipContainer.h"

#include <QByteArray>

#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace xlsx {
struct Relationship {
    QByteArray id;
    QByteArray type;   // the last piece of the type URI: "worksheet", "sharedStrings", ...
    QByteArray target; // resolved against `base`, without a leading "/"
};
} // namespace xlsx

// A reader of Office Open XML workbooks (.xlsx: Excel 2007 and later, WPS,
// LibreOffice). It reads the workbook part (sheets, active tab, 1904 date
// system), the relationships, the cell formats that make numbers dates and
// the shared strings, then streams the active worksheet's XML into a
// compact sheet. Like the .xls reader it only says what each cell holds.
//
// All input is distrusted: the ZIP container bounds what may be inflated,
// the XML layer refuses DOCTYPEs and entities and bounds nesting, cell
// references past XFD1048576 are refused, and counts in the file (string
// counts, dimensions) size nothing.
class XlsxWorkbook final : public Workbook {
public:
    // `maxRows` above 0: each sheet's first that many rows only.
    static std::unique_ptr<XlsxWorkbook> open(ZipContainer zip, int maxRows = 0);
    // The workbook part named by the package's relationships
    // (_rels/.rels, "officeDocument"), or xl/workbook.xml in a package
    // without them; empty when the package holds no spreadsheet (a Word
    // document). Raises Error for a binary workbook (.xlsb).
    static QByteArray workbookPart(const ZipContainer& zip);
    ~XlsxWorkbook() override;

    int sheetCount() const override { return int(sheets_.size()); }
    QString sheetName(int index) const override;
    SheetType sheetType(int index) const override;
    Visibility sheetVisibility(int index) const override;
    int activeSheetIndex() const override { return active_; }
    bool uses1904Dates() const override { return dates1904_; }
    const WorkbookSheet& sheet(int index) override;

    // The sheet part's XML, handed over piece by piece; parts of this reader.
    struct SharedStrings {
        QByteArray texts;                   // UTF-8, one after another
        std::vector<std::uint64_t> slices;  // offset << 32 | length (CompactSheet::kTooLong: refused)
        QByteArray part;                    // where they are: empty when the workbook names none
        bool missing = false;               // named, but not in the archive
    };

private:
    struct SheetInfo {
        QString name;
        SheetType type = SheetType::Other;
        Visibility visibility = Visibility::Visible;
        QByteArray part; // path inside the ZIP
        std::unique_ptr<CompactSheet> cells;
    };

    explicit XlsxWorkbook(ZipContainer zip) : zip_(std::move(zip)) {}
    void readWorkbook();
    void readStyles();
    // Starts reading the shared strings, on `worker` where it can; the
    // function given back waits for them and raises their Error.
    std::function<void()> readSharedStrings(std::jthread& worker, std::exception_ptr& error);

    ZipContainer zip_;
    std::vector<xlsx::Relationship> relationships_;
    bool dates1904_ = false;
    int active_ = 0;
    std::vector<SheetInfo> sheets_;
    std::vector<bool> dateXf_;
    SharedStrings strings_;
    bool stringsRead_ = false;
    int maxRows_ = 0;
};

// The pieces of the reader, each a handler over one kind of part.
namespace xlsx {

struct WorkbookPart {
    struct Sheet {
        QString name;
        QByteArray relationId;
        Workbook::Visibility visibility = Workbook::Visibility::Visible;
    };
    std::vector<Sheet> sheets;
    bool dates1904 = false;
    int activeTab = 0;
};
WorkbookPart parseWorkbook(const QByteArray& xml, const QString& label);

std::vector<Relationship> parseRelationships(const QByteArray& xml, const QByteArray& base, const QString& label);

// The content type [Content_Types].xml gives `part` (no leading "/"):
// its Override, else the Default of its extension; empty when none.
QByteArray contentType(const QByteArray& xml, const QByteArray& part, const QString& label);

// For each cell format (xf) of cellXfs, whether it shows a date or time.
std::vector<bool> parseDateStyles(const QByteArray& xml, const QString& label);

void parseSharedStrings(const ZipContainer& zip, const QByteArray& part, XlsxWorkbook::SharedStrings& out);
void parseSharedStrings(const QByteArray& xml, const QString& label, XlsxWorkbook::SharedStrings& out);

// Streams a worksheet part into `sheet`, in pieces of about `pieceBytes`
// on two threads where it can (0: in one go); true when it could. With
// `maxRows` above 0 it reads in one go and stops before that row.
constexpr qsizetype kPieceBytes = qsizetype(4) << 20;
// `strings` may still be filling on another thread until `waitForStrings`
// returns (it raises their Error, and may be called more than once); the
// sheet's texts start with them.
bool parseWorksheet(const ZipContainer& zip, const QByteArray& part, const std::vector<bool>& dateXf, bool dates1904,
                    const XlsxWorkbook::SharedStrings& strings, const std::function<void()>& waitForStrings,
                    CompactSheet& sheet, qsizetype pieceBytes = kPieceBytes, int maxRows = 0);

// Decodes Excel's escapes "_xHHHH_" (a UTF-16 unit in hex, either case;
// "_x005F_" is "_") in place; gives the new length.
qsizetype decodeEscapes(char* utf8, qsizetype size);

// Why a cell's shared-string index names no string: the table is not
// there, or holds no such entry. `label` is the workbook's path.
QString noSharedString(const XlsxWorkbook::SharedStrings& strings, const QString& label);

// "B12" -> row 11, column 1; false for anything else or past XFD1048576.
bool parseCellReference(QByteArrayView ref, int& row, int& column);

} // namespace xlsx
