"""A workbook as the office sees it, and the office's own column insertion, for the .xls comparison.

snapshot(doc) holds cells (formulas in the office's own text), merged ranges, conditional formats,
validations, names and chart ranges; differences(a, b) lists what differs between two snapshots.
"""
import uno

# The result written from row 1 down: kind and value as xlsx_edit takes them.
RESULT = ["t:R1", "n:2.5", "d:45000.25", "b:1", "t:00123", "t:=1+1"]
MAX_ROWS, MAX_COLS = 2000, 100


def used_area(sheet):
    cursor = sheet.createCursor()
    cursor.gotoEndOfUsedArea(False)
    a = cursor.RangeAddress
    return min(a.EndRow, MAX_ROWS - 1), min(a.EndColumn, MAX_COLS - 1)


def cells(sheet):
    """Cells by (row, column); error results, which read as None, are kept as errors."""
    rows, cols = used_area(sheet)
    area = sheet.getCellRangeByPosition(0, 0, cols, rows)
    out = {}
    for r, (formulas, values) in enumerate(zip(area.getFormulaArray(), area.getDataArray())):
        for c, (formula, value) in enumerate(zip(formulas, values)):
            if formula in ("=TRUE()", "=FALSE()"):  # how booleans load
                out[(r, c)] = ("value", 1.0 if formula == "=TRUE()" else 0.0)
            elif formula.startswith("="):
                out[(r, c)] = ("formula", formula)
            elif value is None:
                out[(r, c)] = ("error", formula)
            elif isinstance(value, str) and value != "":
                out[(r, c)] = ("text", value)
            elif formula != "":
                out[(r, c)] = ("value", round(value, 9))
    return out


def format_groups(sheet):
    """Ranges of cells with equal attributes: merged origins and validations split them."""
    rows, cols = used_area(sheet)
    for group in sheet.getCellRangeByPosition(0, 0, cols, rows).getUniqueCellFormatRanges():
        addresses = group.getRangeAddresses()
        if addresses:
            yield addresses


def merged(sheet):
    out = set()
    for addresses in format_groups(sheet):
        first = addresses[0]
        cursor = sheet.createCursorByRange(sheet.getCellByPosition(first.StartColumn, first.StartRow))
        cursor.collapseToMergedArea()
        m = cursor.RangeAddress
        height, width = m.EndRow - m.StartRow, m.EndColumn - m.StartColumn
        if (m.StartRow, m.StartColumn) != (first.StartRow, first.StartColumn) or (height, width) == (0, 0):
            continue
        for a in addresses:
            for r in range(a.StartRow, a.EndRow + 1):
                for c in range(a.StartColumn, a.EndColumn + 1):
                    out.add((r, c, r + height, c + width))
    return out


def conditional_formats(sheet):
    out = set()
    try:
        formats = sheet.ConditionalFormats.getConditionalFormats()
    except Exception:
        return out
    for f in formats:
        ranges = f.Range.RangeAddressesAsString
        for i in range(f.getCount()):
            e = f.getByIndex(i)
            formula = getattr(e, "Formula1", "") if hasattr(e, "Formula1") else ""
            out.add((ranges, i, formula, getattr(e, "Formula2", "")))
    return out


def validations(sheet):
    out = set()
    for addresses in format_groups(sheet):
        first = addresses[0]
        v = sheet.getCellByPosition(first.StartColumn, first.StartRow).Validation
        if v.Type.value == "ANY":
            continue
        for a in addresses:
            out.add((a.StartRow, a.StartColumn, a.EndRow, a.EndColumn, v.Type.value, v.getFormula1(), v.getFormula2()))
    return out


def charts(sheet):
    out = set()
    for name in sheet.Charts.ElementNames:
        ranges = sheet.Charts.getByName(name).getRanges()
        out.add(tuple((a.Sheet, a.StartColumn, a.StartRow, a.EndColumn, a.EndRow) for a in ranges))
    return out


def snapshot(doc):
    out = {"names": {n: doc.NamedRanges.getByName(n).getContent() for n in doc.NamedRanges.ElementNames}}
    for i in range(doc.Sheets.Count):
        s = doc.Sheets.getByIndex(i)
        out[i] = {"cells": cells(s), "merged": merged(s), "conditional formats": conditional_formats(s),
                  "validations": validations(s), "charts": charts(s)}
    return out


def office_insertion(doc, column):
    sheet = doc.Sheets.getByIndex(0)
    sheet.Columns.insertByIndex(column - 1, 1)
    formats = doc.NumberFormats
    locale = uno.createUnoStruct("com.sun.star.lang.Locale")
    for row, value in enumerate(RESULT):
        cell = sheet.getCellByPosition(column - 1, row)
        kind, body = value[0], value[2:]
        if kind == "t":
            cell.setString(body)
        elif kind == "n":
            cell.setValue(float(body))
        elif kind == "d":
            cell.setValue(float(body))
            cell.NumberFormat = formats.getStandardFormat(uno.getConstantByName("com.sun.star.util.NumberFormat.DATETIME"), locale)
        elif kind == "b":
            cell.setValue(1.0 if body == "1" else 0.0)
            cell.NumberFormat = formats.getStandardFormat(uno.getConstantByName("com.sun.star.util.NumberFormat.LOGICAL"), locale)


def differences(ours, theirs):
    out = []
    for key in theirs:
        if key == "names":
            if ours[key] != theirs[key]:
                out.append("names")
            continue
        for kind in theirs[key]:
            a, b = ours[key][kind], theirs[key][kind]
            if a != b:
                if isinstance(a, dict):
                    diff = [k for k in set(a) | set(b) if a.get(k) != b.get(k)]
                    detail = "; ".join("%s: %s / %s" % (k, a.get(k), b.get(k)) for k in sorted(diff)[:3])
                else:
                    detail = "%s / %s" % (sorted(a - b)[:3], sorted(b - a)[:3])
                out.append("sheet %d %s (%s)" % (key + 1, kind, detail))
    return out
