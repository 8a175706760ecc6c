#pragma once

#include "platform/workbook/CompactSheet.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipContainer.h"

#include <QStringList>

#include <memory>
#include <vector>

// A reader of OpenDocument spreadsheets (.ods: LibreOffice, OpenOffice,
// WPS). It takes the active table's name from settings.xml and streams
// content.xml into a compact sheet: cells by their office:value-type,
// repeated columns and rows, covered cells as places only, text from
// text:p with text:s, text:tab and text:line-break.
//
// All input is distrusted: the ZIP container bounds what may be inflated,
// the XML layer refuses DOCTYPEs and entities and bounds nesting; repeat
// counts saturate far below overflow; repeated empty rows and columns cost
// nothing, and content past XFD1048576 refuses the file, as does content
// past the compact sheet's cell bound. An encrypted package (its manifest
// says so) is refused as password-protected. A null date of 1904-01-01
// makes the workbook count its serials in the 1904 system.
class OdsWorkbook final : public Workbook {
public:
    // Whether the ZIP's mimetype names an OpenDocument spreadsheet.
    static bool isOds(const ZipContainer& zip);
    // `maxRows` above 0: each table's first that many rows only.
    static std::unique_ptr<OdsWorkbook> open(ZipContainer zip, int maxRows = 0);
    ~OdsWorkbook() override;

    int sheetCount() const override { return int(names_.size()); }
    QString sheetName(int index) const override;
    SheetType sheetType(int index) const override;
    Visibility sheetVisibility(int index) const override; // a table style with table:display="false"
    int activeSheetIndex() const override { return active_; }
    bool uses1904Dates() const override { return dates1904_; }
    const WorkbookSheet& sheet(int index) override;

private:
    explicit OdsWorkbook(ZipContainer zip) : zip_(std::move(zip)) {}
    // Reads content.xml: every table's name, and the cells of table `index`
    // (or of the one named `activeName`, when index is -1); gives the
    // index of the table it kept.
    int readContent(int index, const QString& activeName);

    ZipContainer zip_;
    QStringList names_;
    std::vector<bool> hidden_;
    int active_ = 0;
    bool dates1904_ = false;
    int maxRows_ = 0;
    std::vector<std::unique_ptr<CompactSheet>> sheets_;
};
