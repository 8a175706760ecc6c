#!/usr/bin/python3
"""Prints an .xlsx as another program reads it (openpyxl), as JSON: the
active sheet's rows (values as text, None as ""), the number format of each
column that has one, the bold flag of A1, and the cells filled with a
colour ("E3": "FFEB9C")."""
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
sheet = book.active
rows = [["" if v is None else str(v) for v in row] for row in sheet.iter_rows(values_only=True)]
formats = {}
for letter, dim in sheet.column_dimensions.items():
    if dim.number_format != "General":
        formats[letter] = dim.number_format
fills = {}
for row in sheet.iter_rows():
    for cell in row:
        if cell.fill is not None and cell.fill.fill_type == "solid":
            fills[cell.coordinate] = str(cell.fill.fgColor.rgb)[-6:]
print(json.dumps({"rows": rows, "formats": formats, "boldHeader": bool(sheet["A1"].font.b), "fills": fills},
                 ensure_ascii=False))
