#!/usr/bin/python3
"""Writes the reader benchmark's workbooks in the newer formats:

  xlsx-inline ROWS OUT   openpyxl in write-only mode (it writes inline strings)
  xlsx-shared ROWS OUT   the same file with its strings moved to a shared table,
                         as Excel and WPS save them
  csv ROWS OUT           UTF-8 with a BOM, as spreadsheet programs export it
  ods ROWS OUT           content.xml laid out as LibreOffice writes it (odfpy
                         needs gigabytes for two million cells), with its
                         trailing repeat of empty rows
  xlsx-max ROWS OUT      openpyxl write-only, 4 columns (for 1,048,576 rows)

Rows are ROWS employees under a header row, 31 personnel columns, like the
import benchmark's .xls."""
import csv
import datetime
import html
import importlib.util
import os
import random
import re
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("importbook", os.path.join(HERE, "make-import-workbook.py"))
importbook = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(importbook)
HEADER = importbook.HEADER


def employees(rows):
    rnd = random.Random(rows)
    for i in range(rows):
        birth = datetime.date(1960, 1, 1) + datetime.timedelta(days=rnd.randrange(15000))
        join = datetime.date(2000, 1, 1) + datetime.timedelta(days=rnd.randrange(9000))
        name = rnd.choice(importbook.SURNAMES) + "".join(rnd.choice(importbook.GIVEN) for _ in range(rnd.choice((1, 2))))
        yield [
            "E%06d" % (i + 1), name, rnd.choice("男女"), "汉族", rnd.choice(("已婚", "未婚")), birth,
            "群众", "13%09d" % rnd.randrange(10**9), "4401%02d%s%04d" % (rnd.randrange(100), birth.strftime("%Y%m%d"), rnd.randrange(10000)),
            rnd.choice(("本科", "大专", "硕士")), "广东广州", "020-%08d" % rnd.randrange(10**8), "工程师",
            birth + datetime.timedelta(days=8000), "计算机科学", "华南理工大学", importbook.department(i), "职员",
            "正式", "数据分析", "%d级" % rnd.randrange(1, 9), 3000 + rnd.randrange(9000), join,
            join + datetime.timedelta(days=90), "英语", "中国工商银行", "6222%015d" % rnd.randrange(10**15),
            "YB%08d" % i, "YL%08d" % i, "", "广东省广州市天河区体育西路%d号" % rnd.randrange(1, 999),
        ]


def xlsx_inline(rows, out, columns=31):
    import openpyxl
    book = openpyxl.Workbook(write_only=True)
    sheet = book.create_sheet("员工")
    sheet.append(HEADER[:columns])
    if columns == 31:
        for values in employees(rows):
            sheet.append([v if v != "" else None for v in values])
    else:
        for i in range(rows):
            sheet.append(["E%07d" % i, "员工%d" % i, 3000 + i % 9000, datetime.date(2000, 1, 1) + datetime.timedelta(days=i % 9000)])
    book.save(out)


def xlsx_shared(rows, out):
    tmp = out + ".inline"
    xlsx_inline(rows, tmp)
    strings, index = [], {}

    def shared(m):
        text = m.group(2)
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return '<c r="%s" t="s"><v>%d</v></c>' % (m.group(1), index[text])

    cell = re.compile(r'<c r="([A-Z]+[0-9]+)" t="inlineStr"><is><t>([^<]*)</t></is></c>')
    with zipfile.ZipFile(tmp) as src, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as dst:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename.startswith("xl/worksheets/"):
                data = cell.sub(shared, data.decode("utf-8")).encode("utf-8")
            elif item.filename == "[Content_Types].xml":
                data = data.replace(b"</Types>", b'<Override PartName="/xl/sharedStrings.xml" ContentType='
                                    b'"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
            elif item.filename == "xl/_rels/workbook.xml.rels":
                data = data.replace(b"</Relationships>", b'<Relationship Id="rIdSST" Target="sharedStrings.xml" Type='
                                    b'"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings"/></Relationships>')
            dst.writestr(item.filename, data)
        table = "".join("<si><t>%s</t></si>" % s for s in strings)
        dst.writestr("xl/sharedStrings.xml",
                     '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                     'count="%d" uniqueCount="%d">%s</sst>' % (len(strings), len(strings), table))
    os.remove(tmp)


def text(v):
    return v.isoformat() if isinstance(v, datetime.date) else str(v)


def write_csv(rows, out):
    with open(out, "w", encoding="utf-8-sig", newline="") as f:
        w = csv.writer(f)
        w.writerow(HEADER)
        for values in employees(rows):
            w.writerow([text(v) for v in values])


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" office:version="1.3"')


def ods_cell(v):
    if isinstance(v, datetime.date):
        return ('<table:table-cell table:style-name="ce1" office:value-type="date" office:date-value="%s" '
                'calcext:value-type="date"><text:p>%s</text:p></table:table-cell>' % (v.isoformat(), v.isoformat()))
    if isinstance(v, int):
        return ('<table:table-cell office:value-type="float" office:value="%d" calcext:value-type="float">'
                '<text:p>%d</text:p></table:table-cell>' % (v, v))
    if v == "":
        return "<table:table-cell/>"
    return ('<table:table-cell office:value-type="string" calcext:value-type="string"><text:p>%s</text:p>'
            '</table:table-cell>' % html.escape(v, quote=False))


def write_ods(rows, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("META-INF/manifest.xml",
                   '<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">'
                   '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                   '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>')
        with z.open("content.xml", "w", force_zip64=True) as f:
            f.write(('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s><office:body><office:spreadsheet>'
                     '<table:table table:name="员工"><table:table-column table:number-columns-repeated="31"/>' % ODS_NS).encode())
            f.write(("<table:table-row>%s</table:table-row>" % "".join(ods_cell(h) for h in HEADER)).encode())
            chunk = []
            for values in employees(rows):
                chunk.append("<table:table-row>%s</table:table-row>" % "".join(ods_cell(v) for v in values))
                if len(chunk) == 1000:
                    f.write("".join(chunk).encode())
                    chunk = []
            f.write("".join(chunk).encode())
            f.write(('<table:table-row table:number-rows-repeated="%d"><table:table-cell table:number-columns-repeated="1024"/>'
                     '</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>'
                     % (1048576 - rows - 1)).encode())


def main(kind, rows, out):
    tmp = out + ".tmp"
    {"xlsx-inline": xlsx_inline, "xlsx-shared": xlsx_shared, "csv": write_csv, "ods": write_ods,
     "xlsx-max": lambda r, o: xlsx_inline(r, o, columns=4)}[kind](rows, tmp)
    os.replace(tmp, out)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), sys.argv[3])
