#!/usr/bin/python3
"""Writes the .xlsx, .ods and .csv files the import tests read, with real writers: openpyxl and
XlsxWriter for .xlsx (Debian python3-openpyxl, python3-xlsxwriter), odfpy for .ods (python3-odf).

Run with Debian's interpreter from this folder: /usr/bin/python3 make_sheet_fixtures.py
The files are small and committed; run again only to change them. The SDO sheet holds the same
rows as the .xls fixtures of make_fixtures.py, so every format must import the same table.
"""
import csv
import datetime
import os
import sys
import zipfile

sys.dont_write_bytecode = True  # nothing left beside the fixtures

import openpyxl
import xlsxwriter
from odf.opendocument import OpenDocumentSpreadsheet
from odf.table import Table, TableCell, TableRow
from odf.text import P

from make_fixtures import RPDODEF_ROWS, SDO_HEADINGS, SDO_ROWS, SDOPDO_ROWS

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


# ---- .xlsx ---------------------------------------------------------------------------------

def xlsxwriter_book(name, sheets, inline=False):
    """XlsxWriter keeps text in the shared-strings table (inline in the cell with `inline`) and
    writes a formula with the value given for it, as Excel stores its last result; an error
    value becomes an error cell. A cell given as ("=F", value) is a formula."""
    book = xlsxwriter.Workbook(path(name), {"constant_memory": inline})
    dates = book.add_format({"num_format": "yyyy-mm-dd"})
    for sheet_name, rows in sheets:
        sheet = book.add_worksheet(sheet_name)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, tuple):
                    sheet.write_formula(r, c, value[0], None, value[1])
                elif isinstance(value, str):
                    sheet.write_string(r, c, value)
                elif isinstance(value, bool):
                    sheet.write_boolean(r, c, value)
                elif isinstance(value, datetime.date):
                    sheet.write_datetime(r, c, datetime.datetime.combine(value, datetime.time()),
                                         dates)
                elif value is not None:
                    sheet.write(r, c, value)
    book.close()


def openpyxl_book(name, sheets):
    """openpyxl writes text inline in the cell."""
    book = openpyxl.Workbook()
    book.remove(book.active)
    for sheet_name, rows in sheets:
        sheet = book.create_sheet(sheet_name)
        for r, row in enumerate(rows, start=1):
            for c, value in enumerate(row, start=1):
                if value is not None:
                    sheet.cell(row=r, column=c, value=value)
    book.save(path(name))


# ---- .ods ----------------------------------------------------------------------------------

def ods_cell(value):
    """A cell as LibreOffice writes it. ("=F", value) is a formula with its last result;
    ("error", "#DIV/0!") an error result, as LibreOffice marks it."""
    if value is None:
        return TableCell()
    if isinstance(value, tuple) and value[0] == "error":
        cell = TableCell(formula="of:=1/0", valuetype="string", stringvalue="")
        cell.setAttrNS("urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0",
                       "value-type", "error")
        cell.addElement(P(text=value[1]))
        return cell
    if isinstance(value, tuple):
        formula, result = value
        if isinstance(result, str):
            cell = TableCell(formula="of:" + formula, valuetype="string", stringvalue=result)
        else:
            cell = TableCell(formula="of:" + formula, valuetype="float", value=result)
        cell.addElement(P(text=str(result)))
        return cell
    if isinstance(value, bool):
        cell = TableCell(valuetype="boolean", booleanvalue="true" if value else "false")
        cell.addElement(P(text="TRUE" if value else "FALSE"))
        return cell
    if isinstance(value, datetime.date):
        cell = TableCell(valuetype="date", datevalue=value.isoformat())
        cell.addElement(P(text=value.isoformat()))
        return cell
    if isinstance(value, (int, float)):
        cell = TableCell(valuetype="float", value=value)
        cell.addElement(P(text=str(value)))
        return cell
    cell = TableCell(valuetype="string")
    cell.addElement(P(text=value))
    return cell


def ods_book(name, sheets):
    book = OpenDocumentSpreadsheet()
    for sheet_name, rows in sheets:
        table = Table(name=sheet_name)
        for row in rows:
            tr = TableRow()
            for value in row:
                tr.addElement(ods_cell(value))
            table.addElement(tr)
        book.spreadsheet.addElement(table)
    book.save(path(name))


def csv_file(name, rows, encoding="cp1252"):
    """As the export writes it: CR LF, a field quoted only when it needs it."""
    with open(path(name), "w", encoding=encoding, newline="") as out:
        writer = csv.writer(out, lineterminator="\r\n")
        for row in rows:
            writer.writerow(["" if v is None else v for v in row])


def absolute_targets(source, name):
    """The workbook `source` with its workbook relationships naming their parts from the root."""
    with zipfile.ZipFile(path(source)) as whole, \
            zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as out:
        for item in whole.infolist():
            data = whole.read(item)
            if item.filename == "xl/_rels/workbook.xml.rels":
                data = data.replace(b'Target="', b'Target="/xl/')
            out.writestr(item, data)


def truncated(source, name):
    with open(path(source), "rb") as whole:
        data = whole.read()
    with open(path(name), "wb") as out:
        out.write(data[:len(data) // 2])


def main():
    sdo = [SDO_HEADINGS] + SDO_ROWS
    xlsxwriter_book("sdo.xlsx", [("Foglio1", [["x"]]), ("sdo", sdo)])
    ods_book("sdo.ods", [("Foglio1", [["x"]]), ("sdo", sdo)])
    csv_file("sdo.csv", sdo)
    # The receive-PDO and stored-PDO sheets of the .xls fixtures in every other format.
    rpdodef = [("Foglio1", [["nothing here"]]), ("RPDODEF", RPDODEF_ROWS)]
    xlsxwriter_book("rpdodef_upper_case.xlsx", rpdodef)
    ods_book("rpdodef_upper_case.ods", rpdodef)
    csv_file("RPDODEF.csv", RPDODEF_ROWS, encoding="utf-8-sig")
    xlsxwriter_book("sdopdo.xlsx", [("sdopdo", SDOPDO_ROWS)])
    ods_book("sdopdo.ods", [("sdopdo", SDOPDO_ROWS)])
    csv_file("sdopdo.csv", SDOPDO_ROWS)

    # Every kind of cell the receive-PDO sheet may hold: text, whole numbers stored as floating
    # point, booleans, formulas with their last result, a date stored as a number, an empty cell,
    # and columns beyond the three the table reads (an error there is passed over).
    headings = ["cobid", "id_dev_orig", "dimension", "note"]
    xlsx_cells = [
        headings,
        ["0x181", 1, 8.0, "text"],
        [385.0, True, False, datetime.date(2024, 1, 2)],
        ["0x201", 2.5, None, ("=NA()", "#N/A")],
        [("=\"0x\"&\"181\"", "0x181"), ("=2-1", 1), ("=4*2", 8)],
    ]
    xlsxwriter_book("rpdodef_cells.xlsx", [("RPDODEF", xlsx_cells)])
    # The same with the text inline in the cells, as XlsxWriter writes it to save memory.
    xlsxwriter_book("rpdodef_inline.xlsx", [("RPDODEF", xlsx_cells)], inline=True)
    # liborcus 0.17 reads neither booleans nor text results of formulas from .ods files.
    ods_book("rpdodef_cells.ods", [("RPDODEF", [
        headings,
        ["0x181", 1, 8.0, "text"],
        [385.0, None, 0, datetime.date(2024, 1, 2)],
        ["0x201", 2.5, None, ("error", "#N/A")],
        ["0x181", ("=2-1", 1), ("=4*2", 8)],
    ])])
    # An error in a column the table reads, in sheet row 3.
    xlsxwriter_book("rpdodef_error.xlsx", [("rpdodef", [
        headings, ["0x181", 1, 8], ["0x201", ("=1/0", "#DIV/0!"), 8], ["0x281", 3, 8]])])
    ods_book("rpdodef_error.ods", [("rpdodef", [
        headings, ["0x181", 1, 8], ["0x201", ("error", "#DIV/0!"), 8], ["0x281", 3, 8]])])
    # openpyxl names the sheets' parts by absolute paths and keeps text inside the cells, which
    # liborcus 0.17 does not read; its formulas carry no result. The three tables in one book.
    openpyxl_book("openpyxl.xlsx", [("Foglio1", [["x"]]), ("sdo", sdo), ("RPDODEF", RPDODEF_ROWS),
                                    ("sdopdo", SDOPDO_ROWS)])
    openpyxl_book("rpdodef_openpyxl.xlsx", [("rpdodef", [
        headings,
        ["0x181", 1, 8.0, "text"],
        [385.0, True, False, datetime.date(2024, 1, 2)],
        ["0x201", 2.5, None, "#N/A"],
        ["0x181", "=2-1", 8],
    ])])
    # XlsxWriter's error workbook with its sheet named by an absolute path, as openpyxl names it:
    # shared strings and an error cell read without liborcus's own sheet reader.
    absolute_targets("rpdodef_error.xlsx", "rpdodef_error_absolute.xlsx")

    truncated("sdo.xlsx", "truncated.xlsx")
    truncated("sdo.ods", "truncated.ods")


if __name__ == "__main__":
    sys.exit(main())
