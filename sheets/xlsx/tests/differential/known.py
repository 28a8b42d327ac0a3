"""What the office does otherwise than Excel whatever the edit, taken out before two snapshots are
compared, so that what is left is what the two writers made differently of the same edit.

Each rule names the office's behaviour it stands for; adjust(ours, theirs, original, edit) applies them.
"""
import re

ERRORS = ("#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A")
# Built-in formats as openpyxl names them, and the codes the office writes for them.
FORMATS = {"MM-DD-YY": "M/D/YYYY", "M/D/YY H:MM": "M/D/YYYY H:MM", "H:MM:SS": "HH:MM:SS"}
LOCALE = re.compile(r"^\[\$-[0-9A-F]+\]")
NUMBER = re.compile(r"-?\d+(\.\d+)?(E[+-]?\d+)?")
REF = re.compile(r"(?P<sheet>(?:'(?:[^']|'')+'|[A-Za-z_\u0080-\uffff][\w.\u0080-\uffff]*)!)?(?<![\w.$])"
                 r"(?P<c1>\$?[A-Z]{1,3})(?P<r1>\$?\d+)?(?::(?P<c2>\$?[A-Z]{1,3})(?P<r2>\$?\d+)?)?(?![\w(!])")
STRING = re.compile(r'"(?:[^"]|"")*"')


def cell(value):
    kind = value[0]
    if kind == "f" and value[1][1:] in ERRORS:  # the office keeps an error value as a formula
        return ("e", value[1][1:])
    if kind == "s":  # the office reads a carriage return as a line feed
        return ("s", value[1].replace("\r\n", "\n").replace("\r", "\n"))
    if kind == "d" and value[1].startswith("1899-12-30T"):  # a time of day: a date before 1904 in a 1904 book
        return ("d", value[1][len("1899-12-30T"):])
    return value


def number_format(code):
    """The office adds its locale to codes ([$-804]) and writes built-in formats as codes of its own.
    It gives a boolean it reads a format that shows TRUE and FALSE, which stays when a number is
    written over it (Excel shows a boolean by its type)."""
    code = LOCALE.sub("", code)
    return "GENERAL" if code == "TRUE;TRUE;FALSE" else FORMATS.get(code, code)


def threshold(kind, value):
    """The office writes a number threshold given by a formula as a formula one, and gives min and max
    a value of 0."""
    if kind in ("min", "max"):
        return (kind, "")
    if kind == "num" and not NUMBER.fullmatch(value):
        return ("formula", value)
    return (kind, value)


def normalised(snap, edit, office):
    for name, sheet in snap.items():
        if name == "workbook":
            continue
        sheet["cells"] = {k: cell(v) for k, v in sheet["cells"].items()}
        sheet["comments"] = {k: v.replace("\r", "") for k, v in sheet["comments"].items()}
        # The office gives a formula the format of what it refers to.
        sheet["formats"] = {k: number_format(v) for k, v in sheet["formats"].items()
                            if number_format(v) != "GENERAL"
                            and sheet["cells"].get(k, ("",))[0] not in ("b", "f", "array")}
        # A text shows alike in every format: the office gives a text it writes "@".
        sheet["formats"] = {k: v for k, v in sheet["formats"].items() if sheet["cells"].get(k, ("",))[0] != "s"}
        if name == edit["sheet"]:
            # The office gives an empty cell it writes a format of a cell near it now and then, and drops
            # the comment of a cell it writes (Excel keeps it, as the package writer does).
            sheet["formats"] = {(r, c): v for (r, c), v in sheet["formats"].items()
                                if (r, c) in sheet["cells"] or not written(edit, r, c)}
            sheet["comments"] = {k: v for k, v in sheet["comments"].items() if not written(edit, *k)}
        sheet["conditional formats"] = sorted(rule[:4] + (tuple(threshold(*t) for t in rule[4]),)
                                              for rule in sheet["conditional formats"])
        # The office keeps no hyperlink on an empty cell.
        sheet["hyperlinks"] = [h for h in sheet["hyperlinks"] if cell_of(h[0]) in sheet["cells"]]
        if office and name == edit["sheet"] and sheet["panes"]:
            sheet["panes"] = frozen_as_excel(sheet["panes"], edit)
    return snap


def adjust(ours, theirs, original, edit):
    """Cross-checks with the original and this test's own reference shifter where the office is known
    to go wrong. Returns what the office got wrong that the writer got right, one line each."""
    notes = []
    for name in ours:
        if name == "workbook" or name not in theirs:
            continue
        # The office's store mangles the column ranges of a sheet that has one reaching the last column,
        # edited or not (it drops some, and the widths of others).
        if ours[name].pop("columns to the end", None):
            ours[name]["columns"] = theirs[name]["columns"] = {}
        theirs[name].pop("columns to the end", None)
        # The office leaves the formulas of the edited sheet's validations as they were and moves those
        # of other sheets as if they were on it: the original's are moved by this test's own shifter.
        expected = sorted((moved_range(v[0], name, edit), v[1], moved(v[2], name, edit), moved(v[3], name, edit))
                          for v in original.get(name, {}).get("validations", []))
        if [v[:2] for v in expected] == [v[:2] for v in theirs[name]["validations"]]:
            theirs[name]["validations"] = expected
        # The office keeps a chart where it was on the page, though it moves with its cells in Excel:
        # anchors that move are compared with the original's moved by this test.
        theirs[name]["anchors"] = sorted([a for a in theirs[name]["anchors"] if a[0]] + [
            a[:1] + (moved_corner(a[1], name, edit),) + a[2:]
            for a in original.get(name, {}).get("anchors", []) if not a[0]])
        notes += formulas_the_office_moved_wrongly(ours[name]["cells"], theirs[name]["cells"],
                                                   original.get(name, {}).get("cells", {}), name, edit)
    return notes


def formulas_the_office_moved_wrongly(ours, theirs, original, sheet, edit):
    """Formulas where the office and the writer differ and this test's shifter, given the original,
    agrees with the writer (the office moves some formulas of shared groups twice)."""
    notes = []
    for (r, c), value in ours.items():
        other = theirs.get((r, c))
        if value[0] != "f" or other is None or other == value:
            continue
        before = c - edit["count"] if sheet == edit["sheet"] and c >= edit["at"] + edit["count"] else c
        source = original.get((r, before))
        if source and source[0] == "f" and moved(source[1], sheet, edit) == value[1]:
            theirs[(r, c)] = value
            notes.append("%s %s%d: the office wrote %s for %s" % (sheet, letters_of(c), r, other[1], value[1]))
    return notes


def moved_corner(corner, sheet, edit):
    """A drawing's first corner (0-based column, row) moved right past the insertion."""
    if sheet != edit["sheet"] or not corner or corner[0] + 1 < edit["at"]:
        return corner
    return (corner[0] + edit["count"], corner[1])


def moved(formula, sheet, edit):
    """A formula of `sheet` with its references to the edited sheet moved right past the insertion."""
    target = edit["sheet"].upper()

    def one(m):
        qualifier = m.group("sheet")
        name = qualifier[:-1].strip("'").replace("''", "'") if qualifier else sheet
        if m.group("r1") is None and m.group("c2") is None or name.upper() != target:
            return m.group(0)
        out = (qualifier or "") + column(m.group("c1"), edit) + (m.group("r1") or "")
        return out + (":" + column(m.group("c2"), edit) + (m.group("r2") or "") if m.group("c2") else "")

    parts, last = [], 0
    for s in STRING.finditer(formula):
        parts += [REF.sub(one, formula[last:s.start()]), s.group(0)]
        last = s.end()
    return "".join(parts) + REF.sub(one, formula[last:])


def column(token, edit):
    dollar, letters = ("$", token[1:]) if token.startswith("$") else ("", token)
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return dollar + letters_of(n + edit["count"] if n >= edit["at"] else n)


def moved_range(ranges, sheet, edit):
    """A validation's cells on the edited sheet move right; the inserted columns take none."""
    if sheet != edit["sheet"]:
        return ranges
    at, count, out = edit["at"], edit["count"], []
    for part in ranges.split():
        (c1, r1), (c2, r2) = (cell_of(a)[::-1] for a in part.split(":"))
        if c1 < at <= c2:
            out += ["%s%d:%s%d" % (letters_of(c1), r1, letters_of(at - 1), r2),
                    "%s%d:%s%d" % (letters_of(at + count), r1, letters_of(c2 + count), r2)]
        else:
            shift = count if c1 >= at else 0
            out.append("%s%d:%s%d" % (letters_of(c1 + shift), r1, letters_of(c2 + shift), r2))
    return canonical(out)


def canonical(parts):
    """The rectangles snapshot.cells_of makes of the same cells."""
    import snapshot
    return snapshot.cells_of(" ".join(parts))


def written(edit, row, column):
    return row <= edit["rows"] and edit["first"] <= column < edit["first"] + edit["width"]


def cell_of(address):
    m = re.fullmatch(r"\$?([A-Z]+)\$?(\d+)", address)
    n = 0
    for ch in m.group(1):
        n = n * 26 + ord(ch) - 64
    return (int(m.group(2)), n)


def letters_of(n):
    out = ""
    while n:
        n, r = divmod(n - 1, 26)
        out = chr(65 + r) + out
    return out


def frozen_as_excel(top_left, edit):
    """Excel's frozen columns grow by the columns inserted among them; the office's stay as many."""
    row, col = cell_of(top_left)
    return "%s%d" % (letters_of(col + edit["count"] if edit["at"] < col else col), row)
