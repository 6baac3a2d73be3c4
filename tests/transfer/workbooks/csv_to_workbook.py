#!/usr/bin/python3
"""Turns a CSV file of the export into a one-sheet .xlsx (XlsxWriter, or openpyxl when WRITER is
"openpyxl") or .ods (odfpy) workbook, as a user would by opening it in a spreadsheet program and
saving it: decimal numbers become number cells, everything else stays text. The format follows
OUT's extension.

    /usr/bin/python3 csv_to_workbook.py FILE.csv SHEET OUT.xlsx|OUT.ods [WRITER]
"""
import csv
import re
import sys

sys.dont_write_bytecode = True  # nothing left beside the scripts

from make_sheet_fixtures import ods_cell  # noqa: E402


def cell(text):
    return int(text) if re.fullmatch(r"-?[0-9]+", text) else text


def main(args):
    source, sheet_name, target = args[:3]
    with open(source, encoding="cp1252", newline="") as f:
        rows = [[cell(t) if t != "" else None for t in r] for r in csv.reader(f)]
    if target.endswith(".xlsx") and args[3:4] == ["openpyxl"]:
        import openpyxl
        book = openpyxl.Workbook()
        sheet = book.active
        sheet.title = sheet_name
        for row in rows:
            sheet.append(row)
        book.save(target)
    elif target.endswith(".xlsx"):
        import xlsxwriter
        book = xlsxwriter.Workbook(target)
        sheet = book.add_worksheet(sheet_name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, str):
                    sheet.write_string(r, c, value)
                elif value is not None:
                    sheet.write_number(r, c, value)
        book.close()
    else:
        from odf.opendocument import OpenDocumentSpreadsheet
        from odf.table import Table, TableRow
        book = OpenDocumentSpreadsheet()
        table = Table(name=sheet_name)
        for row in rows:
            tr = TableRow()
            for value in row:
                tr.addElement(ods_cell(value))
            table.addElement(tr)
        book.spreadsheet.addElement(table)
        book.save(target)


if __name__ == "__main__":
    main(sys.argv[1:])
