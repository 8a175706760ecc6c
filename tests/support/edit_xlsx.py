#!/usr/bin/python3
"""Fills cells of an .xlsx as a clerk's spreadsheet program would (openpyxl)
and saves it elsewhere: edit_xlsx.py IN OUT A2=text F2=date:1990-05-12 ...
(IN "-": a new workbook)"""
import datetime
import sys

import openpyxl

book = openpyxl.Workbook() if sys.argv[1] == "-" else openpyxl.load_workbook(sys.argv[1])
sheet = book.active
for assignment in sys.argv[3:]:
    cell, value = assignment.split("=", 1)
    if value.startswith("date:"):
        value = datetime.date.fromisoformat(value[5:])
    elif value.startswith("number:"):
        value = float(value[7:])
    sheet[cell].value = value
book.save(sys.argv[2])
