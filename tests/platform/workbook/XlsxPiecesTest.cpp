// A large worksheet is parsed in pieces on two threads; whatever the XML
// holds, the cells (or the error) are those of a parse in one go.
#include "platform/Errors.h"
#include "platform/workbook/XlsxWorkbook.h"

#include <gsf/gsf.h>
#include <gtest/gtest.h>

namespace {

// A ZIP holding the sheet part alone, deflated as spreadsheet programs write it.
QByteArray zipOf(const QByteArray& sheetXml)
{
    gsf_init();
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* zip = gsf_outfile_zip_new(memory, nullptr);
    GsfOutput* part = gsf_outfile_new_child_full(zip, "sheet.xml", FALSE, "compression-level", GSF_ZIP_DEFLATED, nullptr);
    gsf_output_write(part, size_t(sheetXml.size()), reinterpret_cast<const guint8*>(sheetXml.constData()));
    gsf_output_close(part);
    g_object_unref(part);
    gsf_output_close(GSF_OUTPUT(zip));
    g_object_unref(zip);
    const QByteArray bytes(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory))),
                           qsizetype(gsf_output_size(memory)));
    g_object_unref(memory);
    return bytes;
}

// Every cell as "row,column kind value", or the error's text.
QString read(const QByteArray& zipBytes, qsizetype pieceBytes, bool& inPieces)
{
    const ZipContainer zip(zipBytes, QStringLiteral("f.xlsx"));
    const XlsxWorkbook::SharedStrings strings{"ab", {2, 1}, {}, false};
    CompactSheet sheet(QStringLiteral("f.xlsx"));
    inPieces = false;
    try {
        inPieces = xlsx::parseWorksheet(zip, "sheet.xml", {false, true}, false, strings, [] {}, sheet, pieceBytes);
    } catch (const Error& e) {
        return e.text();
    }
    QString out;
    for (int r = 0; r < sheet.rowCount(); ++r) {
        for (int c = 0; c < sheet.columnCount(); ++c) {
            const WorkbookCell cell = sheet.cell(r, c);
            if (cell.kind != WorkbookCell::Kind::Empty)
                out += QStringLiteral("%1,%2 %3 %4%5 %6\n").arg(r).arg(c).arg(int(cell.kind)).arg(cell.number)
                           .arg(cell.isDate ? "d" : "").arg(cell.text);
        }
    }
    return out;
}

QByteArray rows(int from, int to, const char* extra = "")
{
    QByteArray out;
    for (int r = from; r <= to; ++r) {
        const QByteArray n = QByteArray::number(r);
        out += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>x" + n + "</t></is></c><c r=\"B" + n
            + "\" s=\"1\"><v>" + n + ".5</v></c><c t=\"s\"><v>" + QByteArray::number(r % 2) + "</v></c>" + extra + "</row>";
    }
    return out;
}

QByteArray sheet(const QByteArray& body, const QByteArray& tail = "</sheetData></worksheet>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet xmlns=\"urn:s\"><dimension ref=\"A1\"/><sheetData>"
        + body + tail;
}

} // namespace

TEST(XlsxPieces, CellsAndErrorsAreThoseOfOneParse)
{
    const struct {
        const char* what;
        QByteArray xml;
        bool inPieces; // what a reader may count on
    } cases[] = {
        {"plain rows", sheet(rows(1, 60)), true},
        {"rows that count on earlier ones", sheet(rows(1, 20) + "<row><c><v>7</v></c></row>" + rows(22, 40)), false},
        {"a row end in a comment", sheet(rows(1, 20) + "<!-- </row> -->" + rows(21, 40)), false},
        {"a row end in CDATA", sheet(rows(1, 20) + "<row r=\"21\"><c t=\"inlineStr\"><is><t><![CDATA[a</row>b]]></t></is></c></row>" + rows(22, 40)), false},
        {"prefixed names", "<x:worksheet xmlns:x=\"urn:s\"><x:sheetData>" + rows(1, 30).replace("<", "<x:").replace("<x:/", "</x:") + "</x:sheetData></x:worksheet>", true},
        {"rows outside sheetData", sheet(rows(1, 20), "</sheetData><extLst>" + rows(30, 40) + "</extLst></worksheet>"), false},
        {"a cell past the sheet", sheet(rows(1, 30) + "<row r=\"31\"><c r=\"XFE31\"><v>1</v></c></row>" + rows(32, 40)), false},
        {"damaged at the end", sheet(rows(1, 40), "</sheetData>"), false},
        {"an undeclared entity", sheet(rows(1, 30) + "<row r=\"31\"><c t=\"inlineStr\"><is><t>&e;</t></is></c></row>" + rows(32, 40)), false},
        {"a DOCTYPE", "<!DOCTYPE worksheet [<!ENTITY e \"x\">]>" + sheet(rows(1, 40)).sliced(39), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray zip = zipOf(c.xml);
        bool inPieces = true;
        const QString whole = read(zip, 0, inPieces);
        EXPECT_FALSE(inPieces);
        EXPECT_FALSE(whole.isEmpty());
        for (qsizetype piece : {100, 700}) {
            EXPECT_EQ(read(zip, piece, inPieces), whole) << piece;
            EXPECT_TRUE(inPieces || !c.inPieces) << piece;
        }
    }
}
