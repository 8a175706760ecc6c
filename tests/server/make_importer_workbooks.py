#!/usr/bin/python3
"""Workbooks for importers running at once:
    make_importer_workbooks.py OUTDIR COUNT ROWS [--no-shared]
writes OUTDIR/importer-1.xls ... importer-COUNT.xls, each with a header and
ROWS worker numbers of its own (K-0001 ...) plus the number SHARED in the
middle (unless --no-shared); columns A-C are worker number, name and
department."""
import os
import sys

import xlwt

DEPTS = ["人事部", "财务部", "技术部", "销售部", "生产部", "行政部"]
NAMES = ["张三丰", "王小明", "李建国", "赵秀英", "刘志强", "陈丽"]


def main():
    out, count, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    for k in range(1, count + 1):
        numbers = ["%d-%04d" % (k, i) for i in range(1, rows + 1)]
        if "--no-shared" not in sys.argv[4:]:
            numbers.insert(rows // 2, "SHARED")
        book = xlwt.Workbook(encoding="utf-8")
        sheet = book.add_sheet("员工")
        for c, text in enumerate(["员工编号", "姓名", "部门名称"]):
            sheet.write(0, c, text)
        for r, number in enumerate(numbers, start=1):
            sheet.write(r, 0, number)
            sheet.write(r, 1, NAMES[r % len(NAMES)])
            sheet.write(r, 2, DEPTS[(r + k) % len(DEPTS)])
        book.save(os.path.join(out, "importer-%d.xls" % k))


if __name__ == "__main__":
    main()
