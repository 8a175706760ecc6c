#!/usr/bin/python3
"""Writes the realistic personnel workbooks of any length, quickly enough
for a million rows (a minute or two, not openpyxl's quarter of an hour):

  csv ROWS OUT    UTF-8 with a BOM, as spreadsheet programs export it
  xlsx ROWS OUT   one worksheet with inline strings and dates as numbers
                  under a date format, laid out as openpyxl's write-only
                  mode writes it
  xls ROWS OUT    the same rows through xlwt (at most 65,535 under the header)

Rows are ROWS employees under a header row, 31 personnel columns, the same
rows as make-format-workbooks.py writes. The files are large (about 330 MB
of .csv for 1,048,575 rows): write them under /tmp, never into the tree."""
import datetime
import html
import importlib.util
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("formats", os.path.join(HERE, "make-format-workbooks.py"))
formats = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(formats)

XLSX_PARTS = {
    "[Content_Types].xml":
        '<?xml version="1.0" encoding="UTF-8"?>\n<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
        '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
        '</Types>',
    "_rels/.rels":
        '<?xml version="1.0" encoding="UTF-8"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>',
    "xl/workbook.xml":
        '<?xml version="1.0" encoding="UTF-8"?>\n<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
        '<sheet name="员工" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels":
        '<?xml version="1.0" encoding="UTF-8"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
        '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>'
        '</Relationships>',
    "xl/styles.xml":
        '<?xml version="1.0" encoding="UTF-8"?>\n<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
        '<fonts count="1"><font><sz val="11"/></font></fonts><fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
        '<borders count="1"><border/></borders><cellStyleXfs count="1"><xf/></cellStyleXfs>'
        '<cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="14" applyNumberFormat="1"/></cellXfs></styleSheet>',
}
EPOCH = datetime.date(1899, 12, 30)


def letters(i):
    out = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        out = chr(65 + r) + out
    return out


COLUMNS = [letters(i) for i in range(31)]


def xlsx_row(n, values):
    cells = []
    for col, v in zip(COLUMNS, values):
        ref = "%s%d" % (col, n)
        if isinstance(v, datetime.date):
            cells.append('<c r="%s" s="1"><v>%d</v></c>' % (ref, (v - EPOCH).days))
        elif isinstance(v, int):
            cells.append('<c r="%s"><v>%d</v></c>' % (ref, v))
        elif v != "":
            cells.append('<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, html.escape(v, quote=False)))
    return '<row r="%d">%s</row>' % (n, "".join(cells))


def write_xlsx(rows, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for name, data in XLSX_PARTS.items():
            z.writestr(name, data)
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as f:
            f.write(('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                     '<dimension ref="A1:AE%d"/><sheetData>' % (rows + 1)).encode())
            chunk = [xlsx_row(1, formats.HEADER)]
            for i, values in enumerate(formats.employees(rows)):
                chunk.append(xlsx_row(i + 2, values))
                if len(chunk) >= 2000:
                    f.write("".join(chunk).encode())
                    chunk = []
            f.write(("".join(chunk) + "</sheetData></worksheet>").encode())


def write_xls(rows, out):
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("员工")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for c, h in enumerate(formats.HEADER):
        sheet.write(0, c, h)
    for r, values in enumerate(formats.employees(rows), start=1):
        row = sheet.row(r)
        for c, v in enumerate(values):
            if isinstance(v, datetime.date):
                row.write(c, v, date)
            elif v != "":
                row.write(c, v)
        if r % 4096 == 0:
            sheet.flush_row_data()
    book.save(out)


def main(kind, rows, out):
    tmp = out + ".tmp"
    {"csv": formats.write_csv, "xlsx": write_xlsx, "xls": write_xls}[kind](rows, tmp)
    os.replace(tmp, out)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), sys.argv[3])
