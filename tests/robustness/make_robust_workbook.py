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
Columns of `cells` and `hostile` follow the import map "1,2,...,31"."""
import sys

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


def main():
    kind, out = sys.argv[1], sys.argv[2]
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
