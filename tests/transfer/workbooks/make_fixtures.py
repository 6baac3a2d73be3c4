#!/usr/bin/python3
"""Writes the .xls workbooks the import tests read, with xlwt (Debian python3-xlwt).

Run with Debian's interpreter from this folder: /usr/bin/python3 make_fixtures.py
The files are small and committed; run again only to change them.
"""
import contextlib
import datetime
import os
import sys

import xlwt
import xlwt.Cell

HERE = os.path.dirname(os.path.abspath(__file__))

SDO_HEADINGS = ["conf", "IndexA", "SubindexA", "devIDB", "IndexB", "SubindexB", "nbyteB",
                "mnemonico"]
# conf 1000 is 31 x 32 + 8: Hi Word 31, R/W 0, Lo Word 0 once bit 3 is dropped.
SDO_ROWS = [
    [148, 100, 0, 1, 4096, 0, 2, "valve, outlet"],
    [1000, "0x20", 0, 127, "0x6000", 1, 4, "pump"],
    ["abc", 300, 0, 5, 8192, 255, 1, None],
    [None, 400, 0, 6, 8193, 3, 2, "no conf"],
]

RPDODEF_ROWS = [["cobid", "id_dev_orig", "dimension", "extra"],
                ["0x181", 1, 8, "ignored"],
                [641, 2, 0, None],
                ["0x201", 3, None, None]]
# PDO 130 is PDO 2; PDO 9 is beyond a list of two and skipped; PDO 0 ends the import.
SDOPDO_ROWS = [["index", "nrpdo", "poscomp"],
               [200, 1, 33],
               ["0x10", 130, 18],
               [202, 9, 1],
               [203, 2, 4],
               [204, 0, 1],
               [205, 1, 1]]


@contextlib.contextmanager
def numbers_as_doubles():
    """xlwt stores whole numbers as compact integers (RK records); spreadsheet programs often
    store them as 8-byte floating-point values (NUMBER records). This makes xlwt do the latter,
    so the reader meets both forms."""
    compact = xlwt.Cell.NumberCell.get_encoded_data

    def as_double(self):
        from struct import pack
        return 0, pack('<5Hd', 0x0203, 14, self.rowx, self.colx, self.xf_idx, self.number)

    xlwt.Cell.NumberCell.get_encoded_data = as_double
    try:
        yield
    finally:
        xlwt.Cell.NumberCell.get_encoded_data = compact


def add_sheet(book, name, rows):
    sheet = book.add_sheet(name)
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value is not None:
                sheet.write(r, c, value)


def save(name, sheets):
    book = xlwt.Workbook()
    for sheet_name, rows in sheets:
        add_sheet(book, sheet_name, rows)
    book.save(os.path.join(HERE, name))


def save_dates():
    """Cells a spreadsheet program shows as a date, a time or both: the reader gives their text."""
    book = xlwt.Workbook()
    sheet = book.add_sheet("sdo")
    for c, heading in enumerate(["date", "time", "both"]):
        sheet.write(0, c, heading)
    sheet.write(1, 0, datetime.date(2024, 3, 5), xlwt.easyxf(num_format_str="YYYY-MM-DD"))
    sheet.write(1, 1, datetime.time(14, 37, 9), xlwt.easyxf(num_format_str="hh:mm:ss"))
    sheet.write(1, 2, datetime.datetime(2024, 3, 5, 14, 37, 9),
                xlwt.easyxf(num_format_str="YYYY-MM-DD hh:mm:ss"))
    book.save(os.path.join(HERE, "dates.xls"))


def main():
    save_dates()
    sdo = [SDO_HEADINGS] + SDO_ROWS
    save("sdo_integers.xls", [("Foglio1", [["x"]]), ("sdo", sdo)])
    with numbers_as_doubles():
        # The same table with every number an 8-byte float, and a fraction that must keep it.
        save("sdo_doubles.xls", [("SDO", sdo + [[16, 500, 0, 7, 4097, 2.5, 1, 0.1]])])
    save("sdo_few_columns.xls", [("sdo", [h[:5] for h in [SDO_HEADINGS]] +
                                  [[148, 100, 0, 1, 4096]])])
    save("no_sheet.xls", [("Foglio1", sdo), ("sdo_old", sdo), ("rpdo", [["cobid"], [385]])])
    save("rpdodef_upper_case.xls", [("Foglio1", [["nothing here"]]), ("RPDODEF", RPDODEF_ROWS)])
    save("sdopdo.xls", [("sdopdo", SDOPDO_ROWS)])
    with open(os.path.join(HERE, "sdo_integers.xls"), "rb") as whole:
        data = whole.read()
    with open(os.path.join(HERE, "truncated.xls"), "wb") as out:
        out.write(data[:len(data) // 2])
    with open(os.path.join(HERE, "not_a_workbook.xls"), "wb") as out:
        out.write(b"conf,IndexA,SubindexA,devIDB,IndexB,SubindexB,nbyteB,mnemonico\r\n"
                  b"148,100,0,1,4096,0,2,valve\r\n")


if __name__ == "__main__":
    sys.exit(main())
