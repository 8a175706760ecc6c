#pragma once

#include "platform/workbook/CompactSheet.h"
#include "platform/workbook/Workbook.h"

#include <memory>

class TextSource;

// A reader of comma-separated text (.csv, .txt, .tsv) as one sheet.
//
// Quoting follows RFC 4180: a quoted field may hold separators, doubled
// quotes and line breaks. The separator is a tab for .tsv, otherwise
// whichever of comma, semicolon and tab the first line uses most outside
// quotes. The text is UTF-8 when it starts with that byte-order mark or is
// valid UTF-8, UTF-16 after a UTF-16 byte-order mark, and GB18030 (which
// holds GBK) otherwise. Every field is text exactly as it stands: nothing
// is turned into a number or a date, so "007" and an 18-digit identity
// number keep every digit.
//
// Any bytes are accepted; refused are a file larger than kMaxFileBytes, text
// that decodes to more than twice the file (no encoding fits it), a field
// past 32,767 characters, and content past 1,048,576 rows or 16,384
// columns, each with the row and column it was found at. U+FEFF is removed
// wherever it stands. The text is read and parsed a piece at a time: the
// sheet keeps the cells, never the whole file.
class CsvWorkbook final : public Workbook {
public:
    static constexpr qint64 kMaxFileBytes = qint64(2000) << 20;

    // `maxRows` above 0: the first that many rows only.
    static std::unique_ptr<CsvWorkbook> open(const QString& path, int maxRows = 0);
    // The same over bytes in memory; `name` decides the separator rule.
    static std::unique_ptr<CsvWorkbook> fromBytes(QByteArray bytes, const QString& name);

    int sheetCount() const override { return 1; }
    QString sheetName(int index) const override;
    SheetType sheetType(int index) const override;
    int activeSheetIndex() const override { return 0; }
    const WorkbookSheet& sheet(int index) override;

private:
    explicit CsvWorkbook(const QString& label) : sheet_(label), label_(label) {}
    void parse(TextSource& source, const QString& name);

    CompactSheet sheet_;
    QString label_;
    int maxRows_ = 0;
};
