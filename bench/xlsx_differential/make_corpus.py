"""Makes .xlsx workbooks with the office for the comparison: make_corpus.py FOLDER"""
import os
import sys

import uno
from com.sun.star.table import CellRangeAddress, CellAddress
from com.sun.star.awt import Rectangle

from office import Office, props, url


def cell(sheet, name, value):
    c = sheet.getCellRangeByName(name)
    if isinstance(value, str) and value.startswith("="):
        c.setFormula(value)
    elif isinstance(value, str):
        c.setString(value)
    else:
        c.setValue(value)


def rich(office, path):
    doc = office.new()
    sheets = doc.Sheets
    sheets.insertNewByName("Other", 1)
    sheets.insertNewByName("My Sheet", 2)
    data = sheets.getByIndex(0)
    sheets.getByIndex(0).Name = "Data"
    for r in range(1, 9):
        cell(data, "A%d" % r, "K%d" % r)
        cell(data, "B%d" % r, r * 10)
        cell(data, "C%d" % r, r * 1.5)
        cell(data, "D%d" % r, "=B%d+C%d" % (r, r))
        cell(data, "E%d" % r, "=SUM($B$1:C%d)" % r)
    cell(data, "F1", "=SUM(B:B)+LOG10(C1)")
    cell(data, "F2", "=VLOOKUP(\"K3\";A1:D8;4;0)")
    cell(data, "F3", "=COUNTIF($A$1:$A$8;\"K*\")&\"C1\"")
    other = sheets.getByIndex(1)
    cell(other, "A1", "=Data.B2+Data.$C$3")
    cell(other, "A2", "=SUM(Data.B1:D8)")
    cell(other, "A3", "=SUM(Data.A:A)+SUM($'My Sheet'.A1:B2)")
    cell(other, "A4", "=Data.D5*2")
    my = sheets.getByIndex(2)
    cell(my, "A1", 5)
    cell(my, "B1", "=Data.C1")
    data.getCellRangeByName("B10:C11").merge(True)
    data.getCellRangeByName("E10:E11").merge(True)
    # conditional format on C1:D8
    cf = data.getCellRangeByName("C1:D8").ConditionalFormat
    cf.addNew(props(Operator=uno.Enum("com.sun.star.sheet.ConditionOperator", "GREATER"), Formula1="$B1", StyleName="Accent"))
    data.getCellRangeByName("C1:D8").ConditionalFormat = cf
    # validation on B1:B8 with a list from column A
    rng = data.getCellRangeByName("B1:B8")
    v = rng.Validation
    v.Type = uno.Enum("com.sun.star.sheet.ValidationType", "DECIMAL")
    v.setOperator(uno.Enum("com.sun.star.sheet.ConditionOperator", "LESS"))
    v.setFormula1("$C$1*100")
    rng.Validation = v
    # names
    doc.NamedRanges.addNewByName("Keys", "$Data.$A$1:$A$8", CellAddress(0, 0, 0), 0)
    doc.NamedRanges.addNewByName("Totals", "$Data.$D$1:$E$8", CellAddress(0, 0, 0), 0)
    # a chart of B1:C8
    charts = data.Charts
    charts.addNewByName("Chart1", Rectangle(1000, 8000, 10000, 6000),
                        (CellRangeAddress(0, 1, 0, 2, 7),), False, False)
    # a hyperlink and a comment
    text = data.getCellRangeByName("G1")
    field = doc.createInstance("com.sun.star.text.TextField.URL")
    field.URL = "#Other.A1"
    field.Representation = "go"
    text.insertTextContent(text.createTextCursor(), field, False)
    data.Annotations.insertNew(CellAddress(0, 3, 1), "a note on D2")
    # an auto-filter and frozen columns
    fr = data.getCellRangeByName("A1:E8")
    db = doc.DatabaseRanges
    db.addNewByName("filter", fr.RangeAddress)
    db.getByName("filter").AutoFilter = True
    doc.CurrentController.freezeAtPosition(1, 1)
    doc.storeToURL(url(path), props(FilterName="Calc MS Excel 2007 XML"))
    doc.close(True)


def plain(office, path, rows):
    doc = office.new()
    sheet = doc.Sheets.getByIndex(0)
    sheet.getCellRangeByName("A1:C%d" % rows).setDataArray(
        tuple((float(r), "T%d" % r, float(r) * 2) for r in range(1, rows + 1)))
    doc.storeToURL(url(path), props(FilterName="Calc MS Excel 2007 XML"))
    doc.close(True)


if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    with Office() as office:
        rich(office, os.path.join(folder, "rich.xlsx"))
        plain(office, os.path.join(folder, "plain.xlsx"), 50)
