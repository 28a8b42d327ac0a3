"""Times the office's own way with an .xls: office_store.py FILE [ROWS]

Loads FILE (changed in place: use a copy) into a private headless office, inserts a column before C
of sheet 1, writes ROWS result cells into it as one block (text, numbers and a date every tenth row,
like xls_edit --rows), and stores the file; prints the seconds each step took.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "xlsx_differential"))
from office import Office  # noqa: E402


def results(rows):
    return tuple((45000.0 + r % 365 if r % 10 == 9 else "客户%d" % (r % 10) if r % 2 == 0 else r * 1.5,)
                 for r in range(rows))


def main():
    path = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 65536
    with Office() as office:
        start = time.monotonic()
        doc = office.load(path)
        loaded = time.monotonic()
        sheet = doc.Sheets.getByIndex(0)
        doc.IsAdjustHeightEnabled = False  # as the program writes: no row height fitted to the cells
        sheet.Columns.insertByIndex(2, 1)
        sheet.getCellRangeByPosition(2, 0, 2, rows - 1).setDataArray(results(rows))
        doc.IsAdjustHeightEnabled = True
        edited = time.monotonic()
        doc.store()
        stored = time.monotonic()
        doc.close(True)
    print("load %.2f s, insert and write %.2f s, store %.2f s" % (loaded - start, edited - loaded, stored - edited))


if __name__ == "__main__":
    main()
