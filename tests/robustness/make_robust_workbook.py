#!/usr/bin/python3
"""Writes one workbook for the robustness tests into a temporary folder:
    make_robust_workbook.py rows OUT N [E]    header + N rows: worker number,
                                              name, department (columns A-C);
                                              with E also remarks (D), and
                                              #DIV/0! there in sheet row E
    make_robust_workbook.py cells OUT         formulas, errors, booleans,
                                              long texts, merged cells
    make_robust_workbook.py empty-active OUT  the active sheet holds nothing
    make_robust_workbook.py hostile OUT       NUL, controls, non-GBK texts
    make_robust_workbook.py xlsx-KIND OUT [N]  a hand-made .xlsx, see XLSX
Columns of `cells` and `hostile` follow the import map "1,2,...,31"."""
import struct
import sys
import zipfile
import zlib

import xlwt

DEPTS = ["人事部", "财务部", "技术部", "销售部", "生产部", "行政部"]
NAMES = ["张三丰", "王小明", "李建国", "赵秀英", "刘志强", "陈丽"]


def rows(out, n, error_row=None):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("员工", cell_overwrite_ok=True)
    for c, text in enumerate(["员工编号", "姓名", "部门名称"]):
        sheet.write(0, c, text)
    for i in range(n):
        sheet.write(i + 1, 0, "R%05d" % (i + 1))
        sheet.write(i + 1, 1, NAMES[i % len(NAMES)])
        sheet.write(i + 1, 2, DEPTS[i % len(DEPTS)])
        if error_row is not None:
            sheet.write(i + 1, 3, "第%d行" % (i + 2))
    if error_row is not None:
        sheet.row(error_row - 1).set_cell_error(3, "#DIV/0!")
    book.save(out)


def base(sheet, r, i):
    sheet.write(r, 0, "C%03d" % i)
    sheet.write(r, 1, NAMES[i % len(NAMES)])
    sheet.write(r, 16, DEPTS[i % len(DEPTS)])


def cells(out):
    """One case per row, rows 2-7; what each row should store is in the
    test. Row 8 holds an error in the remarks and so ends the write pass."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("员工", cell_overwrite_ok=True)
    sheet.write(0, 0, "员工编号")
    for i in range(1, 8):
        base(sheet, i, i)
    sheet.write(1, 29, xlwt.Formula("1+2"))            # formula: cached result is empty text
    sheet.write(1, 30, xlwt.Formula('"a"&"b"'))
    sheet.row(2).set_cell_boolean(29, True)
    sheet.row(2).set_cell_boolean(30, False)
    sheet.write(3, 29, "长" * 10000)                   # 10,000 characters
    sheet.write(3, 1, "x" * 10000)
    sheet.write_merge(4, 4, 29, 30, "合并")             # merged across: the right cell is blank
    sheet.write_merge(5, 6, 29, 29, "竖合并")           # merged down: the lower cell is blank
    sheet.row(7).set_cell_error(29, "#DIV/0!")
    sheet.write(1, 31, "X1")                          # column 32: a worker number, then an error
    sheet.row(2).set_cell_error(31, 0x2A)  # #N/A
    base(sheet, 8, 8)
    book.save(out)


def empty_active(out):
    book = xlwt.Workbook(encoding="utf-8")
    full = book.add_sheet("Full")
    base(full, 1, 1)
    book.add_sheet("Empty")
    book.active_sheet = 1
    book.get_sheet(1).set_selected(True)
    full.set_selected(False)
    book.save(out)


HOSTILE = [
    "a\x00b",                              # NUL inside
    "\x01\x02lead and trail\x1f\x7f",      # controls: the low ones at the ends go
    "x'); delete from Hrp_workers; --",
    "Robert'); DROP TABLE Hrp_workers;--",
    "表情😀 and 한국어 and ﬁ",             # outside GBK
    "semi;colon \"quoted\" 'single' :param ?",
]


def hostile(out):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("员工", cell_overwrite_ok=True)
    sheet.write(0, 0, "员工编号")
    for i, text in enumerate(HOSTILE, start=1):
        base(sheet, i, i)
        sheet.write(i, 1, text)   # name
        sheet.write(i, 29, text)  # remarks
    # A worker number that is itself hostile.
    base(sheet, len(HOSTILE) + 1, len(HOSTILE) + 1)
    sheet.write(len(HOSTILE) + 1, 0, "W'; drop table Sys_dept; --")
    book.save(out)


# --- hand-made .xlsx files: hostile or odd packages ------------------------

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
MiB = 1 << 20


def row_xml(r, cells):
    return '<row r="%d">%s</row>' % (r, "".join(cells))


def inline(ref, text):
    return '<c r="%s" t="inlineStr"><is><t xml:space="preserve">%s</t></is></c>' % (ref, text)


def shared(ref, index):
    return '<c r="%s" t="s"><v>%s</v></c>' % (ref, index)


def header_rows():
    """Row 1 a header, row 2 one worker: the import map "1,2,3"."""
    return [row_xml(1, [inline("A1", "员工编号"), inline("B1", "姓名"), inline("C1", "部门名称")]),
            row_xml(2, [inline("A2", "X001"), inline("B2", "张三丰"), inline("C2", "人事部")])]


def write_xlsx(out, body, strings=None, sheet_type="worksheet", sheet_target="worksheets/sheet1.xml",
               strings_target="sharedStrings.xml", strings_member=None, workbook="xl/workbook.xml",
               dimension="", sheet_start="", names=lambda n: n,
               main_type="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"):
    """`body` and `strings` are lists of pieces (or generators of them) of
    the sheetData and sst contents; big ones stream into the archive."""
    base = workbook.rsplit("/", 1)[0]
    rels = ['<Relationship Id="rId1" Type="%s/%s" Target="%s"/>' % (REL, sheet_type, sheet_target),
            '<Relationship Id="rId2" Type="%s/styles" Target="styles.xml"/>' % REL]
    if strings is not None or strings_member == "":
        rels.append('<Relationship Id="rId3" Type="%s/sharedStrings" Target="%s"/>' % (REL, strings_target))
    members = [
        ("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
         'content-types"><Default Extension="xml" ContentType="application/xml"/><Override PartName="/%s" '
         'ContentType="%s"/></Types>' % (workbook.upper(), main_type)),
        ("_rels/.rels", '<?xml version="1.0"?><Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/'
         'officeDocument" Target="%s"/></Relationships>' % (PKG_REL, REL, workbook)),
        (workbook, '<?xml version="1.0"?><workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="花名册" '
         'sheetId="1" r:id="rId1"/></sheets></workbook>' % (MAIN, REL)),
        (base + "/_rels/" + workbook.rsplit("/", 1)[1] + ".rels",
         '<?xml version="1.0"?><Relationships xmlns="%s">%s</Relationships>' % (PKG_REL, "".join(rels))),
        (base + "/styles.xml", '<?xml version="1.0"?><styleSheet xmlns="%s"><cellXfs count="1"><xf numFmtId="0"/>'
         '</cellXfs></styleSheet>' % MAIN),
    ]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name, text in members:
            z.writestr(names(name), text)
        with z.open(names(base + "/" + sheet_target.replace("styles.xml", "worksheets/sheet1.xml")), "w",
                    force_zip64=True) as f:
            f.write(('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s" xmlns:r="%s">%s%s<sheetData>'
                     % (MAIN, REL, dimension, sheet_start)).encode())
            for piece in body:
                f.write(piece.encode())
            f.write(b"</sheetData></worksheet>")
        if strings is not None and strings_member is None:
            with z.open(names(base + "/" + strings_target), "w", force_zip64=True) as f:
                f.write(('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="%s">' % MAIN).encode())
                for piece in strings:
                    f.write(piece.encode())
                f.write(b"</sst>")


def repeated(piece, total_bytes):
    """`piece` repeated to about `total_bytes`, handed over a MiB at a time."""
    chunk = piece * max(1, MiB // len(piece))
    for _ in range(max(1, total_bytes // len(chunk))):
        yield chunk


def corrupt_crc(out, member):
    """Flips the stored CRC of `member` in its local header and in the
    central directory, leaving its data as it is."""
    data = bytearray(open(out, "rb").read())
    name = member.encode()
    for sig, at in ((b"PK\x03\x04", 14), (b"PK\x01\x02", 16)):
        i = data.find(sig)
        while i >= 0:
            name_at = i + (30 if sig == b"PK\x03\x04" else 46)
            n = struct.unpack_from("<H", data, i + (26 if sig == b"PK\x03\x04" else 28))[0]
            if data[name_at:name_at + n] == name:
                crc = struct.unpack_from("<I", data, i + at)[0]
                struct.pack_into("<I", data, i + at, crc ^ 0x5A5A5A5A)
            i = data.find(sig, i + 4)
    open(out, "wb").write(bytes(data))


def xlsx(kind, out, n):
    if kind == "attributes":        # one start tag with n attributes
        tag = '<c r="A3"%s/>' % "".join(' a%d="1"' % i for i in range(n))
        write_xlsx(out, header_rows() + [row_xml(3, [tag])])
    elif kind == "cell-text":       # n MiB of inline text in cells of 30,000 characters
        text = "x" * 30000
        cells = (row_xml(r, [inline("A%d" % r, text)]) for r in range(3, 3 + n * MiB // 30000))
        write_xlsx(out, header_rows() + list(cells))
    elif kind == "long-text":       # a cell of n characters in row 3 (inline) and row 4 (shared)
        write_xlsx(out, header_rows() + [row_xml(3, [inline("B3", "长" * n)]), row_xml(4, [shared("C4", 0)])],
                   strings=["<si><t>%s</t></si>" % ("长" * n)])
    elif kind == "shared-strings":  # a shared-strings part of n MiB in one string
        write_xlsx(out, header_rows() + [row_xml(3, [shared("A3", 0)])],
                   strings=["<si><t>"] + list(repeated("y" * 1024, n * MiB)) + ["</t></si>"])
    elif kind == "empty-strings":   # a shared-strings part of n MiB of empty strings
        write_xlsx(out, header_rows() + [row_xml(3, [shared("A3", 0)])], strings=repeated("<si/>", n * MiB))
    elif kind == "numbers":         # n MiB of number cells
        cols = ["A", "B", "C", "D", "E", "F", "G", "H", "I", "J"]
        def rows():
            r = 3
            written = 0
            while written < n * MiB:
                piece = row_xml(r, ["<c><v>1</v></c>"] * 10)
                r += 1
                written += len(piece)
                if r > 1048576:
                    break
                yield piece
        write_xlsx(out, header_rows() + list(rows()))
    elif kind == "bad-index":       # a shared-string index of n (or "-1")
        write_xlsx(out, header_rows() + [row_xml(3, [inline("A3", "X002"), shared("B3", n), inline("C3", "人事部")])],
                   strings=["<si><t>李四</t></si>"])
    elif kind == "crc":
        write_xlsx(out, header_rows())
        corrupt_crc(out, "xl/worksheets/sheet1.xml")
    elif kind == "wrong-kind":      # the sheet's relationship names the styles part
        write_xlsx(out, header_rows(), sheet_type="worksheet", sheet_target="styles.xml")
    elif kind == "no-strings":      # cells name shared strings; the part is missing (n=1: its relationship too)
        write_xlsx(out, header_rows() + [row_xml(3, [inline("A3", "X002"), shared("B3", 0), inline("C3", "人事部")])],
                   strings=None, strings_member=None if n else "")
    elif kind == "nan":             # number cells NaN, INF, -inf in column D
        write_xlsx(out, header_rows() + [row_xml(r, [inline("A%d" % r, "X%03d" % r), inline("B%d" % r, "李四"),
                                                      inline("C%d" % r, "人事部"), '<c r="D%d"><v>%s</v></c>' % (r, v)])
                                         for r, v in ((3, "NaN"), (4, "INF"), (5, "-inf"))])
    elif kind == "far-cell":        # an empty styled cell at XFD1048576 and a dimension to match
        write_xlsx(out, header_rows() + ['<row r="1048576"><c r="XFD1048576" s="0"/></row>'],
                   dimension='<dimension ref="A1:XFD1048576"/>')
    elif kind == "layout":          # the workbook part elsewhere, names in other cases
        upper = {"xl/book.xml": "xl/Book.xml", "xl/sharedstrings.xml": "xl/SharedStrings.xml",
                 "xl/worksheets/sheet1.xml": "XL/Worksheets/Sheet1.xml"}
        write_xlsx(out, header_rows() + [row_xml(3, [inline("A3", "X002"), shared("B3", 0), inline("C3", "人事部")])],
                   strings=["<si><t>李四</t></si>"], workbook="xl/book.xml",
                   names=lambda name: upper.get(name, name))
    elif kind == "other-document":  # the package's main part is of another kind (n=1: a binary workbook)
        write_xlsx(out, header_rows(), main_type="application/vnd.ms-excel.sheet.binary.macroEnabled.main" if n else
                   "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml")
    elif kind == "escapes":         # Excel's _xHHHH_ escapes, inline (A3) and shared (B3, C3)
        write_xlsx(out, header_rows() + [row_xml(3, [inline("A3", "Data_x001B_[32m1"), shared("B3", 0), shared("C3", 1)])],
                   strings=["<si><t>_x005F_x0000_</t></si>", "<si><r><t>ABC_x000d_</t></r><r><t>\nDEF</t></r></si>"])
    else:
        sys.exit("unknown kind xlsx-" + kind)


def main():
    kind, out = sys.argv[1], sys.argv[2]
    if kind.startswith("xlsx-"):
        arg = sys.argv[3] if len(sys.argv) > 3 else "0"
        xlsx(kind[5:], out, int(arg) if arg.lstrip("-").isdigit() else 0)
        return
    if kind == "rows":
        rows(out, int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else None)
    elif kind == "cells":
        cells(out)
    elif kind == "empty-active":
        empty_active(out)
    elif kind == "hostile":
        hostile(out)
    else:
        sys.exit("unknown kind " + kind)


if __name__ == "__main__":
    main()
