#!/usr/bin/python3
"""Writes one hostile or odd workbook for the reader tests, at test time (the
big ones are never committed): make_hostile_workbook.py KIND OUT.

The .ods files are put together part by part with zipfile (odfpy would not
write repeat counts near 2^63), the .xls one by xlwt, the .csv ones byte by
byte.
"""
import datetime
import sys
import zipfile

ODS_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>'
            '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">')


def ods(out, body, manifest=None, settings=None):
    content = ODS_HEAD + "<office:body><office:spreadsheet>" + body + "</office:spreadsheet></office:body></office:document-content>"
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2020, 1, 1, 0, 0, 0)), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr(zipfile.ZipInfo("content.xml", (2020, 1, 1, 0, 0, 0)), content, zipfile.ZIP_DEFLATED)
        if manifest:
            z.writestr(zipfile.ZipInfo("META-INF/manifest.xml", (2020, 1, 1, 0, 0, 0)), manifest)


def cell(text):
    return f'<table:table-cell office:value-type="string"><text:p>{text}</text:p></table:table-cell>'


HUGE = "9223372036854775000"


def main():
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "ods-columns":
        # Repeats near 2^63 whose sum passes 2^63, then a value repeated as
        # often: a counter that wraps would store cells from far below 0.
        ods(out, '<table:table table:name="S"><table:table-row>' + cell("a")
            + f'<table:table-cell table:number-columns-repeated="{HUGE}"/>'
            + f'<table:table-cell table:number-columns-repeated="{2 ** 62}"/>'
            + cell("b").replace("<table:table-cell ", f'<table:table-cell table:number-columns-repeated="{HUGE}" ')
            + "</table:table-row></table:table>")
    elif kind == "ods-rows":
        ods(out, '<table:table table:name="S"><table:table-row>' + cell("a") + "</table:table-row>"
            + f'<table:table-row table:number-rows-repeated="{HUGE}"><table:table-cell/></table:table-row>' * 3
            + "<table:table-row>" + cell("b") + "</table:table-row></table:table>")
    elif kind == "ods-empty-edges":
        # Empty repeats past both edges, as office programs write them: fine.
        ods(out, '<table:table table:name="S"><table:table-row>' + cell("a")
            + f'<table:table-cell table:number-columns-repeated="{HUGE}"/></table:table-row>'
            + f'<table:table-row table:number-rows-repeated="{HUGE}"><table:table-cell '
            + f'table:number-columns-repeated="{HUGE}"/></table:table-row></table:table>')
    elif kind == "ods-encrypted":
        manifest = ('<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
                    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml">'
                    '<manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="AAAA">'
                    '<manifest:algorithm manifest:algorithm-name="Blowfish CFB" manifest:initialisation-vector="AAAA"/>'
                    '</manifest:encryption-data></manifest:file-entry></manifest:manifest>')
        with zipfile.ZipFile(out, "w") as z:
            z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
            z.writestr("META-INF/manifest.xml", manifest)
            z.writestr("content.xml", bytes(range(256)) * 4)  # sealed: no XML
    elif kind == "ods-1904":
        # The same cells as xls-1904, as a 1904-based workbook saved as .ods
        # holds them: an elapsed time as a duration, a date as a date.
        ods(out, '<table:calculation-settings><table:null-date table:date-value="1904-01-01"/>'
            '</table:calculation-settings><table:table table:name="S"><table:table-row>'
            '<table:table-cell office:value-type="time" office:time-value="PT255H10M10S"/>'
            '<table:table-cell office:value-type="date" office:date-value="2020-01-05"/>'
            '</table:table-row></table:table>')
    elif kind == "xls-1904":
        import xlwt
        book = xlwt.Workbook()
        book.dates_1904 = True
        sheet = book.add_sheet("S")
        sheet.write(0, 0, 10 + (15 * 3600 + 10 * 60 + 10) / 86400, xlwt.easyxf(num_format_str="[h]:mm:ss"))
        sheet.write(0, 1, datetime.date(2020, 1, 5), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
        book.save(out)
    elif kind == "csv-rows":
        with open(out, "wb") as f:
            f.write(b"C1,x\n" * 2_000_000)
    elif kind == "csv-field":
        with open(out, "wb") as f:
            f.write(b"id,name\nC015,")
            f.write(b"x" * 100_000_000)
            f.write(b"\n")
    elif kind == "csv-invalid":
        with open(out, "wb") as f:
            block = bytes([0xFF, 0x80]) * (1 << 19)
            for _ in range(300):
                f.write(block)
    else:
        sys.exit("unknown kind " + kind)


if __name__ == "__main__":
    main()
