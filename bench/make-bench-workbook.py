#!/usr/bin/python3
"""Writes the benchmark workbook: 65,536 rows x 31 columns of staff-like
data (texts, integers, fractions, dates), as the import would meet it."""
import datetime
import sys

import xlwt


def main(out):
    wb = xlwt.Workbook(encoding="utf-8")
    s = wb.add_sheet("人员")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    depts = ["研发部", "财务部", "行政部", "销售部"]
    base = datetime.date(1960, 1, 1)
    for r in range(65536):
        row = s.row(r)
        row.write(0, "W%06d" % r)
        row.write(1, "员工%d" % r)
        row.write(2, depts[r % 4])
        row.write(3, 440102198001010000 + r)
        row.write(4, base + datetime.timedelta(days=r % 20000), date)
        row.write(5, 3000 + r % 5000 + 0.25)
        for c in range(6, 31):
            if c % 3 == 0:
                row.write(c, "字段%d-%d" % (c, r % 100))
            elif c % 3 == 1:
                row.write(c, r * 31 + c)
            else:
                row.write(c, (r + c) / 7.0)
        if r % 4096 == 0:
            s.flush_row_data()
    wb.save(out)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
