"""What a reader independent of both writers sees in an .xlsx/.xlsm package: openpyxl for cells, formulas,
formats, merged cells, conditional formats, validations, hyperlinks, auto-filters, panes, column widths,
names, tables, charts and comments; the package's XML for what openpyxl does not read (row and column
styles as Excel applies them, Excel 2010 extensions, drawing anchors).

snapshot(path) gives {aspect: value} per sheet and for the workbook; differences(a, b) lists where two
snapshots differ, one line per aspect. Debian package: python3-openpyxl.
"""
import datetime
import posixpath
import re
import warnings
import zipfile
import xml.etree.ElementTree as ET

import openpyxl

warnings.simplefilter("ignore")  # openpyxl's notes on the extensions it leaves out

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
      "p": "http://schemas.openxmlformats.org/package/2006/relationships",
      "x14": "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main",
      "xm": "http://schemas.microsoft.com/office/excel/2006/main",
      "xdr": "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing"}
WINDOW_ROWS, WINDOW_COLS = 60, 40  # formats and widths are compared in this corner of a sheet
ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")
STRING = re.compile(r'"(?:[^"]|"")*"')


def text(value):
    """A string as Excel reads it: _xHHHH_ stands for a character."""
    return ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), value)


WHOLE_ROWS = re.compile(r"(?<![\w$])\$?A(\$?\d+):\$?XFD(\$?\d+)(?![\w(])")
ONE_CELL = re.compile(r"(?<![\w$])(\$?[A-Z]{1,3}\$?\d+):\1(?![\w(])")  # A1:A1 is A1
WHOLE_COLUMNS = re.compile(r"(?<![\w$])(\$?[A-Z]{1,3})\$?1:(\$?[A-Z]{1,3})\$?1048576(?![\w(])")


def formula(value):
    """A formula however its functions and references are cased, its sheet names quoted or its whole rows
    and columns written (A1:XFD1 is 1:1, A1:A1048576 is A:A)."""
    parts, last = [], 0
    for s in STRING.finditer(value):
        parts.append(plain_part(value[last:s.start()]))
        parts.append(s.group(0))
        last = s.end()
    parts.append(plain_part(value[last:]))
    return "".join(parts)


def plain_part(text):
    text = text.upper().replace("_XLFN.", "").replace(" ", "")
    text = WHOLE_ROWS.sub(r"\1:\2", WHOLE_COLUMNS.sub(r"\1:\2", text))
    text = ONE_CELL.sub(r"\1", text)
    return re.sub(r"(?<!['\w])'([\w\u0080-\uffff.]+)'!", r"\1!", text)


def number_format(code):
    return (code or "General").replace('"', "").replace("\\", "").upper()


def cell_value(cell, arrays):
    v = cell.value
    if cell.coordinate in arrays:
        return ("array", arrays[cell.coordinate].get("ref"), formula(v))
    if v in ("=TRUE()", "=FALSE()"):  # how the office keeps a boolean
        return ("b", v == "=TRUE()")
    if cell.data_type == "f" or isinstance(v, str) and v.startswith("=") and cell.data_type != "s":
        return ("f", formula(v))
    if isinstance(v, bool):
        return ("b", v)
    if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
        return ("d", v.isoformat())
    if isinstance(v, (int, float)):
        return ("n", float("%.12g" % v))
    if cell.data_type == "e":
        return ("e", v)
    return ("s", text(v))


# --- the package's own XML -------------------------------------------------------------------------

class Package:
    def __init__(self, path):
        self.zip = zipfile.ZipFile(path)
        self.names = set(self.zip.namelist())

    def xml(self, part):
        return ET.fromstring(self.zip.read(part)) if part in self.names else None

    def rels(self, part):
        folder, name = posixpath.split(part)
        root = self.xml(posixpath.join(folder, "_rels", name + ".rels"))
        out = {}
        for rel in [] if root is None else root.findall("p:Relationship", NS):
            target = rel.get("Target")
            if rel.get("TargetMode") != "External":
                target = posixpath.normpath(posixpath.join(folder, target)).lstrip("/") \
                    if not target.startswith("/") else target[1:]
            out[rel.get("Id")] = (rel.get("Type").rsplit("/", 1)[-1], target)
        return out

    def sheet_parts(self):
        book = "xl/workbook.xml"
        for rel in self.xml("_rels/.rels").findall("p:Relationship", NS):
            if rel.get("Type").endswith("/officeDocument"):
                book = rel.get("Target").lstrip("/")
        rels = self.rels(book)
        return [rels[s.get("{%s}id" % NS["r"])][1] for s in self.xml(book).find("m:sheets", NS)]


def row_and_column_styles(root, styles):
    """Number formats rows (with customFormat) and column ranges give the cells they do not hold."""
    rows = {}
    for row in root.iter("{%s}row" % NS["m"]):
        if row.get("customFormat") in ("1", "true") and row.get("s") is not None:
            rows[int(row.get("r"))] = styles[int(row.get("s"))]
    cols = []
    for col in root.iter("{%s}col" % NS["m"]):
        if col.get("style") is not None:
            cols.append((int(col.get("min")), int(col.get("max")), styles[int(col.get("style"))]))
    return rows, cols


def covered(ws):
    out = set()
    for m in ws.merged_cells.ranges:
        out |= {(r, c) for r in range(m.min_row, m.max_row + 1) for c in range(m.min_col, m.max_col + 1)}
        out.discard((m.min_row, m.min_col))
    return out


def cells_in(root):
    out = set()
    for c in root.iter("{%s}c" % NS["m"]):
        row, column = openpyxl.utils.cell.coordinate_to_tuple(c.get("r"))
        out.add((row, column))
    return out


def extended_validations(root):
    """Excel 2010 validations (lists from other sheets), as the plain ones are compared."""
    out = []
    for item in root.iter("{%s}dataValidation" % NS["x14"]):
        formulas = [formula(f.text or "") for f in item.iter("{%s}f" % NS["xm"])] + ["", ""]
        out.append((cells_of(item.find("xm:sqref", NS).text), item.get("type", ""), formulas[0],
                    formulas[1] if item.get("operator") in ("between", "notBetween") else ""))
    return out


def anchors(package, sheet_part):
    out = []
    for kind, target in package.rels(sheet_part).values():
        root = package.xml(target) if kind == "drawing" else None
        for anchor in [] if root is None else root:
            # Where it starts and whether it stays put; its other corner the office computes from its size.
            start = anchor.find("xdr:from", NS)
            corner = (int(start.find("xdr:col", NS).text), int(start.find("xdr:row", NS).text)) if start is not None else ()
            content = [e.tag.rsplit("}", 1)[-1] for e in anchor if e.tag.rsplit("}", 1)[-1] in ("sp", "pic", "graphicFrame")]
            out.append((anchor.get("editAs") == "absolute", corner, tuple(content)))
    return sorted(out)


# --- the snapshot ------------------------------------------------------------------------------------

def sheet_snapshot(ws, package, part, styles):
    root = package.xml(part)
    rows, cols = row_and_column_styles(root, styles)
    out = {"cells": {}, "formats": {}, "comments": {}}
    spilled = array_results(ws)
    for (r, c), cell in ws._cells.items():
        made_up = cell.hyperlink is not None and cell.value in (cell.hyperlink.target, cell.hyperlink.location)
        if cell.value is not None and (r, c) not in spilled and not made_up:
            out["cells"][(r, c)] = cell_value(cell, ws.formula_attributes)
        if cell.comment is not None:
            out["comments"][(r, c)] = cell.comment.text.replace("\r", "")
    written = cells_in(root)  # openpyxl makes up the cells of merged ranges
    hidden = covered(ws)  # what shows is the first cell of a merged range
    for r in range(1, WINDOW_ROWS):
        for c in range(1, WINDOW_COLS):
            if (r, c) in hidden:
                continue
            cell = ws._cells.get((r, c)) if (r, c) in written else None
            code = cell.number_format if cell is not None else rows.get(r) or next(
                (s for lo, hi, s in cols if lo <= c <= hi), "General")
            if number_format(code) != "GENERAL":
                out["formats"][(r, c)] = number_format(code)
    out["merged"] = sorted(str(m) for m in ws.merged_cells.ranges)
    out["conditional formats"] = sorted(
        (cells_of(cf.sqref), rule.type, rule.operator or "", tuple(formula(f) for f in rule.formula or ()),
         tuple((v.type, formula(str(v.val)) if v.val is not None else "") for v in cfvos(rule)))
        for cf in ws.conditional_formatting for rule in cf.rules)
    out["validations"] = sorted(
        [(cells_of(v.sqref), v.type or "", formula(v.formula1 or ""),
          formula(v.formula2 or "") if v.operator in ("between", "notBetween") else "")
         for v in ws.data_validations.dataValidation] + extended_validations(root))
    out["hyperlinks"] = sorted((h.ref, h.target or "", formula(h.location or "")) for h in ws._hyperlinks)
    out["auto-filter"] = (ws.auto_filter.ref or "", sorted(f.colId for f in ws.auto_filter.filterColumn))
    out["panes"] = ws.freeze_panes
    out["columns"] = {c: (width(d), bool(d.hidden)) for c, d in columns(ws).items()
                      if c < WINDOW_COLS and (width(d) or d.hidden)}
    out["columns to the end"] = columns_to_the_end(ws)
    out["tables"] = sorted((t.name, t.ref, tuple(c.name for c in t.tableColumns)) for t in ws.tables.values())
    out["charts"] = sorted(tuple(s.val.numRef.f for s in chart.series if s.val and s.val.numRef)
                           for chart in ws._charts)
    out["anchors"] = anchors(package, part)
    return out


def array_results(ws):
    """The cells of array formulas but their first, which hold results the office computes anew."""
    out = set()
    for coordinate, attributes in ws.formula_attributes.items():
        if attributes.get("t") == "array" and ":" in attributes.get("ref", ""):
            (c1, r1, c2, r2) = openpyxl.utils.range_boundaries(attributes["ref"])
            out |= {(r, c) for r in range(r1, r2 + 1) for c in range(c1, c2 + 1)}
            out.discard(openpyxl.utils.cell.coordinate_to_tuple(coordinate))
    return out


def cells_of(sqref):
    """A range list by the cells it covers, however it is split or ordered: rectangles of adjacent
    columns with the same rows, "C1:D9 F1:F3"."""
    spans = {}
    for part in str(sqref).split():
        c1, r1, c2, r2 = openpyxl.utils.range_boundaries(part)
        for c in range(c1 or 1, (c2 or 16384) + 1):
            spans.setdefault(c, []).append((r1 or 1, r2 or 1048576))
    rows = {}
    for c, items in spans.items():
        merged = []
        for a, b in sorted(items):
            if merged and a <= merged[-1][1] + 1:
                merged[-1][1] = max(merged[-1][1], b)
            else:
                merged.append([a, b])
        rows[c] = tuple(map(tuple, merged))
    out, columns = [], sorted(rows)
    for i, c in enumerate(columns):
        if i and columns[i - 1] == c - 1 and rows[columns[i - 1]] == rows[c]:
            out[-1][1] = c
        else:
            out.append([c, c, rows[c]])
    letter = openpyxl.utils.get_column_letter
    return " ".join("%s%d:%s%d" % (letter(a), r1, letter(b), r2) for a, b, spans in out for r1, r2 in spans)


def cfvos(rule):
    for holder in (rule.colorScale, rule.dataBar, rule.iconSet):
        if holder is not None:
            return holder.cfvo
    return ()


def columns_to_the_end(ws):
    """Where the column ranges that run on without a gap to the last column begin, if any do."""
    ranges = sorted((d.min, d.max) for d in ws.column_dimensions.values() if d.min and d.max)
    if not ranges or ranges[-1][1] != 16384:
        return None
    start = ranges[-1][0]
    for lo, hi in reversed(ranges[:-1]):
        if hi != start - 1:
            break
        start = lo
    return start


def width(dimension):
    """A column's width; None for the default, which the office writes as 8.54 and Excel as 8.43."""
    w = round(dimension.width or 0, 2)
    return None if not w or 8.43 <= w <= 8.55 else w


def columns(ws):
    """Width and hidden state per column, from the ranges openpyxl keeps by their first column."""
    out = {}
    for d in ws.column_dimensions.values():
        lo = d.min or openpyxl.utils.column_index_from_string(d.index)
        for c in range(lo, min(d.max or lo, WINDOW_COLS) + 1):
            out[c] = d
    return out


def defined_names(wb):
    """Every defined name, the sheets' own included: openpyxl 3.0 keeps them in one list, 3.1 by scope."""
    if hasattr(wb.defined_names, "definedName"):
        return list(wb.defined_names.definedName)
    names = list(wb.defined_names.values())
    for i, ws in enumerate(wb.worksheets):
        for n in ws.defined_names.values():
            if n.localSheetId is None:
                n.localSheetId = i
            names.append(n)
    return names


def snapshot(path):
    package = Package(path)
    with open(path, "rb") as f:
        wb = openpyxl.load_workbook(f)
    styles = [s.number_format for s in cell_formats(wb)]
    out = {"workbook": {"epoch": wb.epoch.year, "sheets": wb.sheetnames,
                        "names": sorted((n.name, n.localSheetId or -1, formula(n.attr_text or ""))
                                        for n in defined_names(wb))}}
    for ws, part in zip(wb.worksheets, package.sheet_parts()):
        out[ws.title] = sheet_snapshot(ws, package, part, styles)
    return out


def cell_formats(wb):
    class Format:
        def __init__(self, style):
            self.number_format = wb._number_formats[style.numFmtId - 164] if style.numFmtId >= 164 else \
                openpyxl.styles.numbers.BUILTIN_FORMATS.get(style.numFmtId, "General")
    return [Format(s) for s in wb._cell_styles]


def differences(a, b, limit=3):
    out = []
    for where in sorted(set(a) | set(b)):
        x, y = a.get(where, {}), b.get(where, {})
        for aspect in sorted(set(x) | set(y)):
            p, q = x.get(aspect), y.get(aspect)
            if p == q:
                continue
            if isinstance(p, dict) and isinstance(q, dict):
                keys = sorted((k for k in set(p) | set(q) if p.get(k) != q.get(k)), key=str)
                detail = "; ".join("%s: %s / %s" % (k, p.get(k), q.get(k)) for k in keys[:limit])
                out.append("%s %s: %d differ (%s)" % (where, aspect, len(keys), detail))
            elif isinstance(p, list) and isinstance(q, list):
                out.append("%s %s: only in the first %s; only in the second %s" % (
                    where, aspect, short([i for i in p if i not in q]), short([i for i in q if i not in p])))
            else:
                out.append("%s %s: %s / %s" % (where, aspect, short(p), short(q)))
    return out


def short(value, width=300):
    s = repr(value)
    return s if len(s) <= width else s[:width] + "..."
