#!/usr/bin/python3
"""Turns a CSV file of the export into a one-sheet .xls workbook, as a user would by opening it
in a spreadsheet program and saving it: the first line becomes the first row, decimal numbers
become number cells, everything else stays text.

    /usr/bin/python3 csv_to_xls.py FILE.csv SHEET OUT.xls [ROW COLUMN TEXT]...

Each ROW COLUMN TEXT triple (counted from 0) replaces one cell before saving.
"""
import csv
import re
import sys

import xlwt


def cell(text):
    return int(text) if re.fullmatch(r"-?[0-9]+", text) else text


def main(args):
    source, sheet_name, target = args[:3]
    with open(source, encoding="cp1252", newline="") as f:
        rows = [list(r) for r in csv.reader(f)]
    edits = args[3:]
    for i in range(0, len(edits) - 2, 3):
        r, c, text = int(edits[i]), int(edits[i + 1]), edits[i + 2]
        rows[r][c] = text
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet(sheet_name)
    for r, row in enumerate(rows):
        for c, text in enumerate(row):
            if text != "":
                sheet.write(r, c, cell(text))
    book.save(target)


if __name__ == "__main__":
    main(sys.argv[1:])
