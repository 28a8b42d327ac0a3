"""Makes .xls workbooks with the office for the comparison: make_corpus.py FOLDER [--seed S] [--count N]

Each workbook is drawn from the seed (the same seed makes the same workbooks); the first is a tiny
one, whose workbook stream sits in the compound file's mini stream. The others have two or three sheets,
the first with numbers, texts, dates, times and booleans over a few hundred rows, formulas on its
own sheet (filled down, so that the office writes them as shared formulas) and on the others
(3-D references, whole columns), array formulas, defined names, print ranges, merged cells,
conditional formats and validations with relative references, hyperlinks, notes, an auto-filter,
frozen panes, column widths and page breaks, and charts of its ranges; each feature is present or
not, and placed, by the draw.
"""
import os
import random
import sys

import uno
from com.sun.star.awt import Rectangle
from com.sun.star.table import CellAddress, CellRangeAddress

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "xlsx_differential"))
from office import Office, props, url  # noqa: E402

NAMES = ["Data", "子表", "My Sheet", "Other", "父表"]


def quoted(name):
    return "'%s'" % name if " " in name or not name.isascii() else name


def col(c):
    return chr(ord("A") + c)


def values(rng, rows, cols):
    out = []
    for r in range(rows):
        line = []
        for c in range(cols):
            kind = (c + rng.randrange(3)) % 5
            if kind == 0:
                line.append(float(rng.randrange(1, 10000)) / (1 if rng.random() < 0.7 else 4))
            elif kind == 1:
                line.append(rng.choice(["客户", "Key", "Wert", "东京", "x"]) + str(rng.randrange(300)))
            elif kind == 2:
                line.append(float(40000 + rng.randrange(3000)))
            elif kind == 3:
                line.append(rng.random())
            else:
                line.append("")
        out.append(tuple(line))
    return tuple(out)


def formats(doc, sheet, rows, rng):
    nf = doc.NumberFormats
    locale = uno.createUnoStruct("com.sun.star.lang.Locale")
    date = nf.getStandardFormat(uno.getConstantByName("com.sun.star.util.NumberFormat.DATE"), locale)
    time = nf.getStandardFormat(uno.getConstantByName("com.sun.star.util.NumberFormat.TIME"), locale)
    for c in range(6):
        target = sheet.getCellRangeByPosition(c, 0, c, rows - 1)
        if (c + rng.randrange(2)) % 5 == 2:
            target.NumberFormat = date
        elif c % 5 == 3 and rng.random() < 0.5:
            target.NumberFormat = time


def formulas(sheet, rows, rng):
    kind = rng.randrange(3)
    for r in range(rows):
        n = r + 1
        f = ["=A%d*2+C%d" % (n, n), "=IF(ISNUMBER(A%d);A%d;0)+$C$1" % (n, n), "=SUM($A$1:A%d)" % n][kind]
        sheet.getCellByPosition(7, r).setFormula(f)
    sheet.getCellRangeByName("I1").setFormula("=SUM(A:A)+COUNTA(B1:F%d)" % rows)
    sheet.getCellRangeByName("I2").setFormula("=VLOOKUP(B3;B1:D%d;2;0)" % rows)
    if rng.random() < 0.5:
        sheet.getCellRangeByName("J1:J3").setArrayFormula("=A1:A3*2")


def other_sheet(sheet, first, rng):
    q = "$'%s'" % first if " " in first or not first.isascii() else "$" + first
    cells = ["=%s.B2&%s.C3" % (q, q), "=SUM(%s.A1:D20)" % q, "=SUM(%s.A:A)" % q, "=%s.$E$5*2" % q,
             "=COUNT(%s.C1:C10)+%s.H1" % (q, q)]
    for r, f in enumerate(cells[:rng.randrange(2, len(cells) + 1)]):
        sheet.getCellByPosition(0, r).setFormula(f)
    sheet.getCellByPosition(1, 0).setValue(rng.randrange(100))


def names(doc, sheet_name, rows, rng):
    q = "$'%s'" % sheet_name if " " in sheet_name or not sheet_name.isascii() else "$" + sheet_name
    doc.NamedRanges.addNewByName("Keys", "%s.$A$1:$A$%d" % (q, rows), CellAddress(0, 0, 0), 0)
    doc.NamedRanges.addNewByName("Right", "%s.$D$2:$F$9" % q, CellAddress(0, 0, 0), 0)
    if rng.random() < 0.5:
        doc.NamedRanges.addNewByName("Cols", "%s.$B:$C" % q, CellAddress(0, 0, 0), 0)


def layout(doc, sheet, rows, rng):
    for _ in range(rng.randrange(1, 4)):
        c, r = rng.randrange(0, 6), rng.randrange(rows - 3)
        sheet.getCellRangeByPosition(c, r, c + rng.randrange(1, 3), r + 1).merge(True)
    columns = sheet.Columns
    for c in range(rng.randrange(1, 6)):
        columns.getByIndex(c).Width = 1500 + 400 * rng.randrange(6)
    if rng.random() < 0.3:
        columns.getByIndex(rng.randrange(1, 6)).IsStartOfNewPage = True


def conditional(sheet, rows, rng):
    target = sheet.getCellRangeByPosition(rng.randrange(4), 0, 4, rows - 1)
    cf = target.ConditionalFormat
    op = uno.Enum("com.sun.star.sheet.ConditionOperator", rng.choice(["GREATER", "FORMULA"]))
    formula = "$A1>100" if op.value == "FORMULA" else "$C$1"
    cf.addNew(props(Operator=op, Formula1=formula, StyleName="Accent"))
    target.ConditionalFormat = cf


def validation(sheet, rows, rng):
    c = rng.randrange(1, 5)
    target = sheet.getCellRangeByPosition(c, 1, c, min(rows - 1, 30))
    v = target.Validation
    if rng.random() < 0.5:
        v.Type = uno.Enum("com.sun.star.sheet.ValidationType", "LIST")
        v.setFormula1("$A$1:$A$10")
    else:
        v.Type = uno.Enum("com.sun.star.sheet.ValidationType", "CUSTOM")
        v.setFormula1("%s2>0" % col(max(0, c - 1)))
    target.Validation = v


def extras(doc, sheet, other_name, rows, rng):
    if rng.random() < 0.6:
        cell = sheet.getCellRangeByName("K%d" % (rng.randrange(1, 10)))
        field = doc.createInstance("com.sun.star.text.TextField.URL")
        field.URL = rng.choice(["#%s.B2" % other_name, "#%s.D5" % sheet.Name, "https://example.com/x"])
        field.Representation = "link"
        cell.insertTextContent(cell.createTextCursor(), field, False)
    for _ in range(rng.randrange(0, 3)):
        sheet.Annotations.insertNew(CellAddress(0, rng.randrange(6), rng.randrange(10)), "批注 note")
    if rng.random() < 0.5:
        area = sheet.getCellRangeByPosition(0, 0, 5, rows - 1).RangeAddress
        doc.DatabaseRanges.addNewByName("filter", area)
        doc.DatabaseRanges.getByName("filter").AutoFilter = True
    if rng.random() < 0.5:
        doc.CurrentController.freezeAtPosition(rng.randrange(0, 3), 1)
    if rng.random() < 0.4:
        sheet.setPrintAreas((CellRangeAddress(0, 0, 0, 5, rows - 1),))
        sheet.setTitleColumns(CellRangeAddress(0, 0, 0, 1, 0))
        sheet.PrintTitleColumns = True
    if rng.random() < 0.6:
        sheet.Charts.addNewByName("Chart1", Rectangle(1000 * rng.randrange(1, 8), 3000, 8000, 5000),
                                  (CellRangeAddress(0, 0, 0, rng.randrange(1, 5), 9),), False, False)
        # Mostly anchored to a cell, as Excel makes charts; now and then to the page.
        if rng.random() < 0.8:
            page = sheet.DrawPage
            chart = page.getByIndex(page.Count - 1)
            chart.Anchor = sheet.getCellByPosition(rng.randrange(1, 8), 3)


def tiny(office, path, rng):
    """A workbook small enough to sit in the compound file's mini stream."""
    doc = office.new()
    sheet = doc.Sheets.getByIndex(0)
    sheet.getCellRangeByPosition(0, 0, 1, 2).setDataArray(((1.0, "a"), (2.0, "b"), (float(rng.randrange(9)), "")))
    sheet.getCellRangeByName("C1").setFormula("=A1+B2")
    doc.storeToURL(url(path), props(FilterName="MS Excel 97"))
    doc.close(True)


def workbook(office, path, rng):
    doc = office.new()
    sheets = doc.Sheets
    chosen = rng.sample(NAMES, rng.randrange(2, 4))
    sheets.getByIndex(0).Name = chosen[0]
    for k, name in enumerate(chosen[1:]):
        sheets.insertNewByName(name, k + 1)
    first = sheets.getByIndex(0)
    rows = rng.choice([20, 60, 200, 700, 2500])
    first.getCellRangeByPosition(0, 0, 5, rows - 1).setDataArray(values(rng, rows, 6))
    formats(doc, first, rows, rng)
    formulas(first, rows, rng)
    other_sheet(sheets.getByIndex(1), chosen[0], rng)
    if len(chosen) == 3 and rng.random() < 0.5:  # a 3-D range over the first two sheets
        sheets.getByIndex(2).getCellByPosition(0, 0).setFormula("=SUM($%s.A1:$%s.A1)" % (quoted(chosen[0]), quoted(chosen[1])))
    names(doc, chosen[0], rows, rng)
    layout(doc, first, rows, rng)
    if rng.random() < 0.7:
        conditional(first, rows, rng)
    if rng.random() < 0.7:
        validation(first, rows, rng)
    extras(doc, first, chosen[1], rows, rng)
    doc.storeToURL(url(path), props(FilterName="MS Excel 97"))
    doc.close(True)


def main():
    folder = sys.argv[1]
    seed = int(sys.argv[sys.argv.index("--seed") + 1]) if "--seed" in sys.argv else 1
    count = int(sys.argv[sys.argv.index("--count") + 1]) if "--count" in sys.argv else 8
    os.makedirs(folder, exist_ok=True)
    with Office() as office:
        for k in range(count):
            rng = random.Random("%d-%d" % (seed, k))
            (tiny if k == 0 else workbook)(office, os.path.join(folder, "gen-%d-%02d.xls" % (seed, k)), rng)


if __name__ == "__main__":
    main()
