#!/usr/bin/python3
"""Compares a workbook stored after a run's placement with its original, kind by kind.

usage: fidelity_compare.py ORIGINAL STORED

The stored workbook has one column more than the original before column A of its first sheet,
holding the run's result. Every change beyond that column is printed as "  kind: detail" and the
exit status is 1; 0 when nothing else changed. References to the first sheet are shifted by one
column before comparing. .xlsx/.xlsm are read with openpyxl and their package parts, .xls with xlrd,
its BIFF records and its OLE storage (olefile); .ods is not compared.
Debian packages: python3-openpyxl, python3-xlrd, python3-olefile.
"""

import hashlib
import html
import re
import sys
import zipfile

KINDS = ["cells", "formulas", "number formats", "styles", "widths", "merged cells", "names",
         "conditional formats", "validations", "tables", "pivots", "charts", "drawings", "comments",
         "view settings", "sheet visibility", "VBA"]

# --- references ---------------------------------------------------------------------------------

REF = re.compile(r"""(?P<sheet>(?:'(?:[^']|'')+'|[A-Za-z_\u0080-\uffff][\w.\u0080-\uffff]*)!)?"""
                 r"""(?<![\w.$])(?P<c1>\$?[A-Z]{1,3})(?P<r1>\$?\d+)?(?::(?P<c2>\$?[A-Z]{1,3})(?P<r2>\$?\d+)?)?"""
                 r"""(?![\w(!])""")
STRING = re.compile(r'"(?:[^"]|"")*"')


def column_index(letters):
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n


def column_letters(n):
    s = ""
    while n:
        n, r = divmod(n - 1, 26)
        s = chr(65 + r) + s
    return s


def shift_column(token):
    dollar = "$" if token.startswith("$") else ""
    return dollar + column_letters(column_index(token.lstrip("$")) + 1)


def shift_refs(text, first_sheet, on_first_sheet):
    """text with every reference to the first sheet one column to the right."""
    if not isinstance(text, str):
        return text

    def one(m):
        sheet = m.group("sheet")
        if m.group("r1") is None and m.group("c2") is None:
            return m.group(0)  # a lone word, not a reference
        name = sheet[:-1].strip("'").replace("''", "'") if sheet else None
        if (name is None and not on_first_sheet) or (name is not None and name != first_sheet):
            return m.group(0)
        out = (sheet or "") + shift_column(m.group("c1")) + (m.group("r1") or "")
        if m.group("c2"):
            out += ":" + shift_column(m.group("c2")) + (m.group("r2") or "")
        return out

    parts, last = [], 0
    for s in STRING.finditer(text):
        parts.append(REF.sub(one, text[last:s.start()]))
        parts.append(s.group(0))
        last = s.end()
    parts.append(REF.sub(one, text[last:]))
    return "".join(parts)


def shift_range(text):
    """A range or space-separated ranges of the first sheet, one column to the right."""
    return ranges(" ".join(shift_refs(part, None, True) for part in str(text).split()))


def ranges(text):
    """Ranges by the cells they cover, however they are split ("A1:B1 A2" and "A1 B1:A2" alike)."""
    cells = set()
    for part in str(text).split():
        m = re.fullmatch(r"\$?([A-Z]+)\$?(\d+)(?::\$?([A-Z]+)\$?(\d+))?", part)
        if not m:
            return " ".join(sorted(str(text).split()))
        c1, r1 = column_index(m.group(1)), int(m.group(2))
        c2, r2 = (column_index(m.group(3)), int(m.group(4))) if m.group(3) else (c1, r1)
        if (c2 - c1 + 1) * (r2 - r1 + 1) > 100000:
            return " ".join(sorted(str(text).split()))
        cells.update((c, r) for c in range(c1, c2 + 1) for r in range(r1, r2 + 1))
    return "cells %d, %s..%s" % (len(cells), min(cells), max(cells)) + " #%x" % (hash(frozenset(cells)) & 0xffffff)


# --- reporting ----------------------------------------------------------------------------------

def same(a, b):
    if isinstance(a, float) and isinstance(b, (int, float)) or isinstance(b, float) and isinstance(a, (int, float)):
        return abs(a - b) <= 1e-12 * max(1.0, abs(a), abs(b))
    if isinstance(a, tuple) and isinstance(b, tuple) and len(a) == len(b):
        return all(same(x, y) for x, y in zip(a, b))
    return a == b


def number_format(code):
    """The same format however its literals are quoted or its codes cased: "$" and \\$ alike."""
    return (code or "General").replace('"', "").replace("\\", "").upper()


class Report:
    def __init__(self):
        self.lines = []

    def diff_maps(self, kind, where, before, after, limit=3):
        """Reports keys whose values differ between two dicts, with a count and examples."""
        keys = sorted(set(before) | set(after), key=str)
        changed = [k for k in keys if not same(before.get(k), after.get(k))]
        if not changed:
            return
        examples = "; ".join("%s: %s" % (k, change(before.get(k), after.get(k))) for k in changed[:limit])
        self.lines.append((kind, "%s%d changed (%s%s)" % (where, len(changed), examples,
                                                          ", ..." if len(changed) > limit else "")))

    def diff_lists(self, kind, where, before, after):
        if sorted(map(str, before)) != sorted(map(str, after)):
            gone = [x for x in before if x not in after]
            new = [x for x in after if x not in before]
            self.lines.append((kind, "%s%d -> %d (lost %s; new %s)" % (
                where, len(before), len(after), short(gone[:3]), short(new[:3]))))

    def add(self, kind, detail):
        self.lines.append((kind, detail))

    def print(self):
        for kind in KINDS:
            for k, detail in self.lines:
                if k == kind:
                    print("  %s: %s" % (kind, detail))
        return 1 if self.lines else 0


def change(a, b):
    if isinstance(a, dict) and isinstance(b, dict):
        return ", ".join("%s %s -> %s" % (k, short(a.get(k), 30), short(b.get(k), 30))
                         for k in a if not same(a.get(k), b.get(k)))
    return "%s -> %s" % (short(a), short(b))


def short(value, width=60):
    text = repr(value) if not isinstance(value, str) else value
    return text if len(text) <= width else text[:width - 3] + "..."


def where(index, name):
    return "sheet %d (%s): " % (index + 1, name)


# --- .xlsx / .xlsm ------------------------------------------------------------------------------

def xlsx_sheet_cells(ws, result_column):
    """Per kind, a dict from cell names in the original's coordinates to what the cell holds.
    result_column: the sheet is the stored first sheet, whose column A is the run's."""
    out = {"cells": {}, "formulas": {}, "number formats": {}, "styles": {}, "comments": {}}
    for (row, col), cell in ws._cells.items():
        if result_column:
            if col == 1:
                continue  # the run's result column
            col -= 1
        key = "%s%d" % (column_letters(col), row)
        value = cell.value
        if isinstance(value, str) and value.startswith("="):
            out["formulas"][key] = value
        elif value is not None:
            out["cells"][key] = value
        out["number formats"][key] = number_format(cell.number_format)
        out["styles"][key] = style_signature(cell)
        if cell.comment is not None:
            out["comments"][key] = (cell.comment.author, cell.comment.text)
    return out


def style_signature(cell):
    f, a, b, fill = cell.font, cell.alignment, cell.border, cell.fill
    # The office writes theme colours as plain rgb: only colours given the same way compare.
    color = lambda c: c.rgb if c is not None and c.type == "rgb" else None
    return {"font": f.name, "size": f.sz, "bold": bool(f.b), "italic": bool(f.i), "underline": f.u,
            "strike": bool(f.strike), "colour": color(f.color), "fill": fill.fill_type,
            "fill colour": color(getattr(fill, "fgColor", None)),
            "borders": (b.left.style, b.right.style, b.top.style, b.bottom.style),
            "horizontal": a.horizontal or "general", "vertical": a.vertical or "bottom",
            "wrap": bool(a.wrap_text), "indent": a.indent or 0, "rotation": a.text_rotation or 0,
            "locked": cell.protection.locked is not False, "hidden": bool(cell.protection.hidden)}


COLOURS = ("colour", "fill colour")


def comparable_colours(before, after):
    """Styles with a colour left out where one side has none in rgb (a theme or indexed colour)."""
    b, a = {}, {}
    for key in before:
        x, y = dict(before[key]), dict(after[key])
        for i in COLOURS:
            if x[i] is None or y[i] is None:
                x[i] = y[i] = None
        b[key], a[key] = x, y
    return b, a


def xlsx_widths(ws, result_column):
    widths = {}
    for dim in ws.column_dimensions.values():
        if dim.width is None or not (dim.customWidth or dim.hidden):
            continue
        for col in range(dim.min or 1, (dim.max or dim.min or 1) + 1):
            if result_column:
                if col == 1:
                    continue
                col -= 1
            widths[column_letters(col)] = (round(dim.width, 1), bool(dim.hidden))
    return widths


def compare_widths(report, place, before, after, default):
    changed = {}
    for col, (w, hidden) in before.items():
        new = after.get(col)
        tolerance = max(0.3, 0.02 * w)
        if new is None and default is not None:
            new, tolerance = (default, False), 0.6  # a default width the office no longer writes
        if new is None or new[1] != hidden or abs(new[0] - w) > tolerance:
            changed[col] = ((w, hidden), new)
    if changed:
        report.diff_maps("widths", place, {k: v[0] for k, v in changed.items()},
                         {k: v[1] for k, v in changed.items()})


def xlsx_view(ws):
    v = ws.sheet_view
    pane = v.pane
    return {"gridlines": v.showGridLines is not False and v.showGridLines != 0,
            "zoom": v.zoomScale or 100,
            "view": v.view or "normal",
            "frozen": (pane.topLeftCell, pane.xSplit or 0, pane.ySplit or 0)
            if pane is not None and pane.state in ("frozen", "frozenSplit") else None}


def sheet_xml(z, index):
    """The XML of the sheet at a position, through the workbook's relationships."""
    book = z.read("xl/workbook.xml").decode("utf-8", "replace")
    rels = z.read("xl/_rels/workbook.xml.rels").decode("utf-8", "replace")
    ids = re.findall(r'<sheet\b[^>]*\br:id="([^"]+)"', book)
    targets = {}
    for rel in re.findall(r"<Relationship\b[^>]*>", rels):
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', rel))
        targets[attrs.get("Id")] = attrs.get("Target", "")
    target = targets.get(ids[index], "") if index < len(ids) else ""
    name = target.lstrip("/") if target.startswith("/") else "xl/" + target
    return z.read(name).decode("utf-8", "replace") if name in z.namelist() else ""


def conditional_formats(xml, shift):
    """Ranges and rule types of a sheet's conditional formats, those of its extension list included."""
    out = []
    for block in re.findall(r"<conditionalFormatting\b.*?</conditionalFormatting>", xml, re.S):
        sqref = re.search(r'sqref="([^"]*)"', block)
        out.append((shift(sqref.group(1)) if sqref else None,
                    tuple(sorted(re.findall(r'<cfRule\b[^>]*type="(\w+)"', block)))))
    for block in re.findall(r"<x14:conditionalFormatting\b.*?</x14:conditionalFormatting>", xml, re.S):
        sqref = re.search(r"<xm:sqref>([^<]*)</xm:sqref>", block)
        out.append(("x14 " + (shift(sqref.group(1)) if sqref else ""),
                    tuple(sorted(re.findall(r'<x14:cfRule\b[^>]*type="(\w+)"', block)))))
    return out


def part_names(z, pattern):
    return sorted(n for n in z.namelist() if re.match(pattern, n))


def chart_summary(z, name, first_sheet):
    x = z.read(name).decode("utf-8", "replace")
    refs = [shift_refs(html.unescape(f), first_sheet, False) for f in re.findall(r"<c:f>([^<]*)</c:f>", x)]
    return {"series": x.count("<c:ser>"), "error bars": x.count("<c:errBars>"),
            "trendlines": x.count("<c:trendline>"), "refs": refs}


def chart_summary_stored(z, name):
    x = z.read(name).decode("utf-8", "replace")
    return {"series": x.count("<c:ser>"), "error bars": x.count("<c:errBars>"),
            "trendlines": x.count("<c:trendline>"),
            "refs": [html.unescape(f) for f in re.findall(r"<c:f>([^<]*)</c:f>", x)]}


def drawing_summary(z):
    out = {}
    for name in part_names(z, r"xl/drawings/drawing\d+\.xml$"):
        x = z.read(name).decode("utf-8", "replace")
        for tag in ("twoCellAnchor", "oneCellAnchor", "absoluteAnchor", "pic", "sp", "graphicFrame",
                    "cxnSp", "grpSp"):
            out[tag] = out.get(tag, 0) + len(re.findall(r"<xdr:%s\b" % tag, x))
    out["media"] = len(part_names(z, r"xl/media/"))
    out["vml shapes"] = sum(z.read(n).decode("utf-8", "replace").count("<v:shape ")
                            for n in part_names(z, r"xl/drawings/.*\.vml$"))
    out["cell images"] = len(part_names(z, r"xl/cellimages\.xml$"))
    return out


def pivot_summary(z):
    out = []
    for name in part_names(z, r"xl/pivotTables/pivotTable\d+\.xml$"):
        x = z.read(name).decode("utf-8", "replace")
        head = re.search(r"<pivotTableDefinition\b[^>]*>", x)
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', head.group(0))) if head else {}
        loc = re.search(r'<location ref="([^"]+)"', x)
        out.append((attrs.get("name"), loc.group(1) if loc else None,
                    tuple(sorted((k, v) for k, v in attrs.items()
                                 if k in ("dataCaption", "applyNumberFormats", "useAutoFormatting",
                                          "itemPrintTitles", "outline", "outlineData", "compact",
                                          "compactData", "rowHeaderCaption"))),
                    x.count("<pivotField"), x.count("<format ")))
    return out


def validations(ws, formula, shifted):
    """The cells of each rule (rules alike counted as one, however the office splits or joins them)."""
    cells = {}
    for dv in ws.data_validations.dataValidation:
        operator = dv.operator or "between"
        # A second bound counts only where the rule has one: "between" and "notBetween" of numbers.
        two = operator in ("between", "notBetween") and dv.type not in ("custom", "list")
        key = "%s %s %s %s" % (dv.type, operator, formula(dv.formula1), formula(dv.formula2) if two else "")
        text = " ".join(shift_refs(part, None, True) if shifted else part for part in str(dv.sqref).split())
        cells[key] = (cells.get(key, "") + " " + text).strip()
    return {k: ranges(v) for k, v in cells.items()}


def names(book):
    """(name, sheet position or None, text) of the defined names, in openpyxl 3.0 (Debian 12) and 3.1."""
    defined = book.defined_names
    if hasattr(defined, "definedName"):
        return [(d.name, None if d.localSheetId is None else int(d.localSheetId), d.attr_text)
                for d in defined.definedName]
    out = [(d.name, None, d.attr_text) for d in defined.values()]
    for i, ws in enumerate(book.worksheets):
        out += [(d.name, i, d.attr_text) for d in ws.defined_names.values()]
    return out


def compare_xlsx(original, stored):
    import openpyxl
    r = Report()
    zo, zs = zipfile.ZipFile(original), zipfile.ZipFile(stored)
    kw = dict(keep_vba=False)
    bo = openpyxl.load_workbook(original, **kw)
    bs = openpyxl.load_workbook(stored, **kw)
    vo = openpyxl.load_workbook(original, data_only=True)
    vs = openpyxl.load_workbook(stored, data_only=True)
    first = bo.worksheets[0].title
    r.diff_lists("sheet visibility", "", [(ws.title, ws.sheet_state) for ws in bo.worksheets],
                 [(ws.title, ws.sheet_state) for ws in bs.worksheets])
    for i, (wo, ws) in enumerate(zip(bo.worksheets, bs.worksheets)):
        place, is_first = where(i, wo.title), i == 0
        co, cs = xlsx_sheet_cells(wo, False), xlsx_sheet_cells(ws, is_first)
        co["formulas"] = {k: shift_refs(v, first, is_first) for k, v in co["formulas"].items()}
        # Cached values: formula results included.
        co["cells"] = xlsx_sheet_cells(vo.worksheets[i], False)["cells"]
        cs["cells"] = xlsx_sheet_cells(vs.worksheets[i], is_first)["cells"]
        for kind in ("cells", "formulas", "number formats", "styles", "comments"):
            before, after = co[kind], cs[kind]
            if kind in ("number formats", "styles"):
                keys = set(before) & set(after)
                before = {k: before[k] for k in keys}
                after = {k: after[k] for k in keys}
            if kind == "styles":
                before, after = comparable_colours(before, after)
            r.diff_maps(kind, place, before, after)
        fmt = ws.sheet_format
        default = fmt.defaultColWidth or (fmt.baseColWidth or 8) + 0.71
        compare_widths(r, place, xlsx_widths(wo, False), xlsx_widths(ws, is_first), default)
        shift = shift_range if is_first else ranges
        r.diff_lists("merged cells", place, [shift(m.coord) for m in wo.merged_cells.ranges],
                     [ranges(m.coord) for m in ws.merged_cells.ranges])
        xo, xs = sheet_xml(zo, i), sheet_xml(zs, i)
        r.diff_lists("conditional formats", place, conditional_formats(xo, shift), conditional_formats(xs, ranges))
        r.diff_maps("validations", place,
                    validations(wo, lambda t: shift_refs(t, first, is_first), is_first),
                    validations(ws, lambda t: t, False))
        r.diff_maps("validations", place + "extension ", {"rules": xo.count("<x14:dataValidation ")},
                    {"rules": xs.count("<x14:dataValidation ")})
        r.diff_lists("tables", place,
                     [(t.name, shift(t.ref), t.tableStyleInfo.name if t.tableStyleInfo else None)
                      for t in wo.tables.values()],
                     [(t.name, ranges(t.ref), t.tableStyleInfo.name if t.tableStyleInfo else None)
                      for t in ws.tables.values()])
        r.diff_maps("view settings", place, xlsx_view(wo), xlsx_view(ws))
    constants = lambda t: re.sub(r"\b(TRUE|FALSE)\(\)", r"\1", t or "")
    r.diff_lists("names", "", [(n, scope, constants(shift_refs(t, first, False))) for n, scope, t in names(bo)],
                 [(n, scope, constants(t)) for n, scope, t in names(bs)])
    r.diff_lists("pivots", "", pivot_summary(zo), pivot_summary(zs))
    charts_o = [chart_summary(zo, n, first) for n in part_names(zo, r"xl/charts/chart\d+\.xml$")]
    charts_s = [chart_summary_stored(zs, n) for n in part_names(zs, r"xl/charts/chart\d+\.xml$")]
    r.diff_lists("charts", "", charts_o, charts_s)
    r.diff_maps("drawings", "", drawing_summary(zo), drawing_summary(zs))
    vba = lambda z: hashlib.sha1(z.read("xl/vbaProject.bin")).hexdigest()[:12] if "xl/vbaProject.bin" in z.namelist() else None
    if vba(zo) != vba(zs):
        r.add("VBA", "xl/vbaProject.bin %s -> %s" % (vba(zo), vba(zs)))
    return r


# --- .xls ---------------------------------------------------------------------------------------

RECORDS = {
    "formulas": {0x0006: "FORMULA"},
    "conditional formats": {0x01B0: "CFHEADER", 0x01B1: "CF", 0x0879: "CFHEADER12", 0x087A: "CF12",
                            0x087B: "CFEX"},
    "validations": {0x01B2: "DVAL", 0x01BE: "DV"},
    "tables": {0x0871: "FEATHDR11", 0x0872: "FEAT11", 0x0877: "LIST12"},
    "pivots": {0x00B0: "SXVIEW", 0x00B1: "SXVD", 0x00C5: "SXDI", 0x0100: "SXVDEX", 0x0810: "SXVIEWEX9"},
    "charts": {0x1003: "SERIES", 0x105B: "SERAUXERRBAR", 0x104B: "SERAUXTREND"},
    "drawings": {0x005D: "OBJ", 0x01B6: "TXO", 0x01B8: "HLINK"},
    "comments": {0x001C: "NOTE"},
}


def biff_counts(data):
    """Per substream (globals first, then each sheet), counts of the records of interest."""
    import struct
    streams, depth, pos, current = [], 0, 0, None
    while pos + 4 <= len(data):
        rtype, length = struct.unpack_from("<HH", data, pos)
        body = data[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rtype == 0x0809:  # BOF
            depth += 1
            if depth == 1:
                current = {}
                streams.append(current)
            elif len(body) >= 4 and struct.unpack_from("<H", body, 2)[0] == 0x0020:
                current["chart"] = current.get("chart", 0) + 1
            continue
        if rtype == 0x000A:  # EOF
            depth = max(0, depth - 1)
            continue
        if current is None:
            continue
        for kind, types in RECORDS.items():
            if rtype in types:
                current[types[rtype]] = current.get(types[rtype], 0) + 1
    return streams


def ole_streams(path, prefix):
    import olefile
    ole = olefile.OleFileIO(path)
    return {"/".join(e): hashlib.sha1(ole.openstream(e).read()).hexdigest()[:12]
            for e in ole.listdir() if e[0].startswith(prefix)}


def workbook_stream(path):
    import olefile
    ole = olefile.OleFileIO(path)
    for name in ("Workbook", "Book"):
        if ole.exists(name):
            return ole.openstream(name).read()
    return b""


def xls_sheet_cells(book, sh, result_column):
    out = {"cells": {}, "number formats": {}, "styles": {}, "comments": {}}
    for row in range(sh.nrows):
        for col in range(sh.ncols):
            c = col
            if result_column:
                if col == 0:
                    continue
                c -= 1
            key = "%s%d" % (column_letters(c + 1), row + 1)
            cell = sh.cell(row, col)
            if cell.ctype not in (0, 6):
                out["cells"][key] = (cell.ctype, cell.value)
            xf = book.xf_list[cell.xf_index]
            out["number formats"][key] = number_format(book.format_map[xf.format_key].format_str)
            font = book.font_list[xf.font_index]
            out["styles"][key] = {
                "font": font.name, "size": font.height, "weight": font.weight, "italic": font.italic,
                "underline": font.underline_type, "colour": automatic(font.colour_index),
                "horizontal": xf.alignment.hor_align, "vertical": xf.alignment.vert_align,
                "wrap": xf.alignment.text_wrapped, "fill": xf.background.fill_pattern,
                "fill colour": xf.background.pattern_colour_index,
                "borders": (xf.border.left_line_style, xf.border.right_line_style,
                            xf.border.top_line_style, xf.border.bottom_line_style),
                "locked": xf.protection.cell_locked}
    for (row, col), note in sh.cell_note_map.items():
        c = col - 1 if result_column else col
        if result_column and col == 0:
            continue
        out["comments"]["%s%d" % (column_letters(c + 1), row + 1)] = (note.author, note.text)
    return out


def automatic(colour):
    return "auto" if colour in (8, 0x7FFF) else colour  # black and the system's text colour alike


def xls_widths(sh, result_column):
    widths = {}
    for col, info in sh.colinfo_map.items():
        if result_column:
            if col == 0:
                continue
            col -= 1
        widths[column_letters(col + 1)] = (round(info.width / 256.0, 1), bool(info.hidden))
    return widths


def xls_default_width(sh):
    if getattr(sh, "standardwidth", None):
        return round(sh.standardwidth / 256.0, 1)
    return (sh.defcolwidth if sh.defcolwidth is not None else 8) + 0.71


def xls_view(sh):
    return {"gridlines": bool(sh.show_grid_lines),
            "zoom": sh.scl_mag_factor or 100,
            "page break view": bool(sh.show_in_page_break_preview),
            "frozen": (sh.horz_split_pos, sh.vert_split_pos) if sh.panes_are_frozen else None}


def compare_xls(original, stored):
    import xlrd
    r = Report()
    bo = xlrd.open_workbook(original, formatting_info=True)
    bs = xlrd.open_workbook(stored, formatting_info=True)
    r.diff_lists("sheet visibility", "", [(s.name, s.visibility) for s in bo.sheets()],
                 [(s.name, s.visibility) for s in bs.sheets()])
    for i, (so, ss) in enumerate(zip(bo.sheets(), bs.sheets())):
        place, is_first = where(i, so.name), i == 0
        co, cs = xls_sheet_cells(bo, so, False), xls_sheet_cells(bs, ss, is_first)
        for kind in ("cells", "number formats", "styles", "comments"):
            before, after = co[kind], cs[kind]
            if kind in ("number formats", "styles"):
                keys = set(before) & set(after)
                before = {k: before[k] for k in keys}
                after = {k: after[k] for k in keys}
            r.diff_maps(kind, place, before, after)
        compare_widths(r, place, xls_widths(so, False), xls_widths(ss, is_first), xls_default_width(ss))
        shift = (lambda m: (m[0], m[1], m[2] + 1, m[3] + 1)) if is_first else (lambda m: m)
        r.diff_lists("merged cells", place, [shift(m) for m in so.merged_cells], list(ss.merged_cells))
        r.diff_maps("view settings", place, xls_view(so), xls_view(ss))
    r.diff_lists("names", "", sorted((n.name, n.scope) for n in bo.name_obj_list),
                 sorted((n.name, n.scope) for n in bs.name_obj_list))
    so, ss = biff_counts(workbook_stream(original)), biff_counts(workbook_stream(stored))
    for kind, types in RECORDS.items():
        for i in range(max(len(so), len(ss))):
            label = "workbook: " if i == 0 else where(i - 1, bo.sheets()[i - 1].name if i - 1 < bo.nsheets else "?")
            wanted = set(types.values()) | ({"chart"} if kind == "charts" else set())
            a = {k: v for k, v in (so[i] if i < len(so) else {}).items() if k in wanted}
            b = {k: v for k, v in (ss[i] if i < len(ss) else {}).items() if k in wanted}
            r.diff_maps(kind, label + "records ", a, b, limit=6)
    vo, vs = ole_streams(original, "_VBA_PROJECT_CUR"), ole_streams(stored, "_VBA_PROJECT_CUR")
    if vo != vs:
        changed = sorted(k for k in set(vo) | set(vs) if vo.get(k) != vs.get(k))
        r.add("VBA", "%d of %d streams changed (%s)" % (len(changed), len(vo), short(changed[:4], 100)))
    return r


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    original, stored = sys.argv[1], sys.argv[2]
    ext = original.rsplit(".", 1)[-1].lower()
    if ext in ("xlsx", "xlsm"):
        report = compare_xlsx(original, stored)
    elif ext == "xls":
        report = compare_xls(original, stored)
    else:
        print("  not compared: no reader for .%s" % ext)
        return 3
    return report.print()


if __name__ == "__main__":
    sys.exit(main())
