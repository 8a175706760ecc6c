#!/usr/bin/python3
"""Workbooks shaped as other personnel and payroll systems export them,
written with openpyxl and xlwt into the folder given:

  titles.xlsx   two title rows, a merged group row, the header in row 4
                (工号 and 姓名 merged down over rows 3-4), data from row 5
  sheets.xlsx   说明 (active), 字典, 花名册 (the data), a chart sheet and a
                hidden sheet
  sheets.xls    说明 (active), 花名册, and a very hidden 备份
  sheets.ods    说明 (active), 花名册, and a hidden 备份
  update.xlsx   工号 and 基本工资 only
  depts.xlsx    three departments the database lacks, one of them on three rows
"""
import datetime
import sys

import openpyxl
import xlwt
from odf.opendocument import OpenDocumentSpreadsheet
from odf.style import Style, TableProperties
from odf.table import Table, TableCell, TableRow
from odf.text import P
from openpyxl.chart import BarChart, Reference

out = sys.argv[1]

HEADER = ["工号", "姓名", "性别", "部门", "出生日期", "身份证号", "基本工资"]
PEOPLE = [
    ["T001", "王一", "男", "人事部", datetime.date(1990, 5, 12), "110101199005120011", 5000],
    ["T002", "李二", "女", "财务部", datetime.date(1988, 1, 2), "110101198801020022", 6000],
    ["T003", "赵三", "男", "技术部", datetime.date(1995, 12, 31), "110101199512310033", 7000],
]


def put_people(ws, first_row):
    for i, person in enumerate(PEOPLE):
        for j, value in enumerate(person):
            cell = ws.cell(row=first_row + i, column=j + 1, value=value)
            if isinstance(value, datetime.date):
                cell.number_format = "yyyy/m/d"


# Titles, then a group row over the field row.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "花名册"
ws["A1"] = "XX公司2026年12月新进员工花名册"
ws.merge_cells("A1:G1")
ws["A2"] = "制表人：张三    日期：2026-12-01"
ws["A3"], ws["B3"] = "工号", "姓名"
ws.merge_cells("A3:A4")
ws.merge_cells("B3:B4")
ws["C3"], ws["F3"] = "基本信息", "银行信息"
ws.merge_cells("C3:E3")
ws.merge_cells("F3:G3")
for j, caption in enumerate(HEADER[2:], start=3):
    ws.cell(row=4, column=j, value=caption)
put_people(ws, 5)
wb.save(f"{out}/titles.xlsx")

# The data on the third of three worksheets, another one active.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "说明"
ws["A1"] = "本表由人事系统导出，请勿修改表头"
lists = wb.create_sheet("字典")
lists.append(["性别", "男", "女"])
roster = wb.create_sheet("花名册")
roster.append(HEADER)
put_people(roster, 2)
chart = BarChart()
chart.add_data(Reference(roster, min_col=7, min_row=1, max_row=4), titles_from_data=True)
wb.create_chartsheet("图表").add_chart(chart)
old = wb.create_sheet("备份")
old.append(["旧数据"])
old.sheet_state = "hidden"
wb.active = 0
wb.save(f"{out}/sheets.xlsx")

book = xlwt.Workbook(encoding="utf-8")
book.add_sheet("说明").write(0, 0, "说明")
roster = book.add_sheet("花名册")
for j, caption in enumerate(HEADER):
    roster.write(0, j, caption)
backup = book.add_sheet("备份")
backup.write(0, 0, "旧数据")
backup.visibility = 2
book.save(f"{out}/sheets.xls")

doc = OpenDocumentSpreadsheet()
hidden = Style(name="taHidden", family="table")
hidden.addElement(TableProperties(display="false"))
doc.automaticstyles.addElement(hidden)
for name, first, style in (("说明", ["说明"], None), ("花名册", HEADER, None), ("备份", ["旧数据"], "taHidden")):
    sheet = Table(name=name, stylename=style) if style else Table(name=name)
    row = TableRow()
    for value in first:
        cell = TableCell(valuetype="string")
        cell.addElement(P(text=value))
        row.addElement(cell)
    sheet.addElement(row)
    doc.spreadsheet.addElement(sheet)
doc.save(f"{out}/sheets.ods")

# An update: worker numbers and the new wage, nothing else.
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["工号", "基本工资"])
ws.append(["T001", 5500])
ws.append(["T003", 7700])
wb.save(f"{out}/update.xlsx")

# Departments the database lacks: 市场部 on rows 3, 7 and 12.
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["工号", "姓名", "部门"])
depts = {3: "市场部", 5: "采购部", 7: "市场部", 9: "法务部", 12: "市场部"}
for row in range(2, 14):
    ws.append([f"D{row:03d}", f"员工{row}", depts.get(row, "人事部")])
wb.save(f"{out}/depts.xlsx")
