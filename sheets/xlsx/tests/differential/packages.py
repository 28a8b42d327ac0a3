"""Seeded .xlsx/.xlsm packages for comparing what programs make of them, written as Excel writes them.

packages.py FOLDER FIRST_SEED COUNT [--far-rows] writes case-<seed>.xlsx or .xlsm for each seed and cases.tsv,
one line per package with the edit a run would make of it (see edit_line), and what is expected of
the in-place writer: "write", "fallback" (it leaves the file to the office) or "fail" (no program
can make the edit). The same seed always gives the same package and edit.

Every package varies what a column insertion touches: column ranges with styles beside, across and
after the insertion point, row styles, merged cells, conditional formats of every kind with their
thresholds, validations (x14 lists too), hyperlinks, an auto-filter, panes, shared and array
formulas, references in every form (relative, absolute, whole rows and columns, other sheets with
quoted names, 3-D, structured, defined names), tables, charts, comments, drawings anchored to cells
and absolutely, strings with CR, LF, tabs, _xHHHH_ escapes, rich text and leading spaces, inline
strings, the 1904 date system, missing optional parts, the last column and the last row.
"""
import random
import sys
import urllib.parse
import zipfile
from xml.sax.saxutils import escape, quoteattr

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
NS = 'xmlns="%s" xmlns:r="%s"' % (MAIN, REL)
X14 = ('xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
       'xmlns:x14ac="http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac" mc:Ignorable="x14ac"')
CT = "application/vnd.openxmlformats-officedocument."
SHEET_NAMES = ["Data", "Other", "My Sheet", "表二", "It's", "Last"]
MAX_COL, MAX_ROW = 16384, 1048576
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6360000002000154a24f5d0000000049454e44ae426082")
# Number formats the styles hold: id -> code (ids below 164 are built in).
FORMATS = {164: "yyyy\\-mm\\-dd", 165: '#,##0.00" 元"', 166: "[$-804]yyyy\"年\"m\"月\"d\"日\"", 167: "0.0%"}
# Cell formats: index -> (numFmtId, fontId, fillId). 1, 2, 6, 7 show dates.
XFS = [(0, 0, 0), (14, 0, 0), (164, 0, 0), (10, 0, 0), (0, 1, 0), (0, 0, 2), (166, 0, 0), (22, 0, 0),
       (49, 0, 0), (165, 0, 0), (167, 1, 2)]
TEXTS = ["plain", " leading space", "trailing ", "line\r\nbreak", "only\nLF", "tab\there", "cr\ronly",
         "_x0041_ looks escaped", "中文文本", "<&>\"'", "=not a formula", "0123"]
# Result values as the run gives them: kind, value, office format code, locale.
RESULTS = [("n", "2.5", "", ""), ("n", "-1234.5678", "#,##0.00", "en-US"), ("n", "0.125", "0.00%", "en-US"),
           ("d", "45000.25", "", ""), ("d", "45000", "YYYY-MM-DD", "zh-CN"), ("d", "0.75", "HH:MM", "en-US"),
           ("d", "44000", '[$-804]YYYY"年"M"月"D"日"', "zh-CN"),
           ("b", "1", "", ""), ("b", "0", "", ""), ("t", "text", "", ""), ("t", "00123", "@", "en-US"),
           ("t", "two\nlines", "", ""), ("t", " 子表 ", "", ""), ("e", "", "", ""),
           ("n", "1e21", "0.00E+00", "en-US"), ("t", "=1+1", "", "")]


def col_name(n):
    s = ""
    while n:
        n, r = divmod(n - 1, 26)
        s = chr(65 + r) + s
    return s


def quoted(name):
    return "'%s'" % name.replace("'", "''") if any(not (c.isalnum() or c == "_") for c in name) else name


class Sheet:
    def __init__(self, name):
        self.name = name
        self.cells = {}  # (row, col) -> xml of the <c> element without its address
        self.rows = {}  # row -> attributes
        self.cols = []  # (min, max, attributes)
        self.after = {}  # element name -> xml, written in schema order
        self.rels = []  # (type, target, external)
        self.views = '<sheetView workbookViewId="0"/>'
        self.ext = []

    def styled_cell(self, r, c):
        """A cell as Excel writes it: one in a styled row or column carries a style of its own."""
        xml = self.cells[(r, c)]
        if xml.startswith(' s="') or ' s="' in xml.split(">")[0]:
            return xml
        covering = [a for lo, hi, a in self.cols if lo <= c <= hi and "style" in a]
        if "customFormat" in self.rows.get(r, ""):
            style = self.rows[r].split('s="')[1].split('"')[0]
        elif covering:
            style = covering[0].split('style="')[1].split('"')[0]
        else:
            return xml
        return ' s="%s"%s' % (style, xml)

    def rel(self, kind, target, external=False):
        self.rels.append((kind, target, external))
        return "rId%d" % len(self.rels)

    def xml(self):
        used = sorted(self.cells)
        last_col = max((c for _, c in used), default=1)
        last_row = max((r for r, _ in used), default=1)
        out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s %s>' % (NS, X14),
               '<dimension ref="A1:%s%d"/>' % (col_name(last_col), last_row),
               "<sheetViews>%s</sheetViews>" % self.views, '<sheetFormatPr defaultRowHeight="15"/>']
        if self.cols:
            out.append("<cols>%s</cols>" % "".join('<col min="%d" max="%d" %s/>' % c for c in self.cols))
        out.append("<sheetData>")
        for r in sorted(set(r for r, _ in used) | set(self.rows)):
            out.append('<row r="%d"%s>' % (r, self.rows.get(r, "")))
            out.extend('<c r="%s%d"%s' % (col_name(c), r, self.styled_cell(r, c)) for c in sorted(c for rr, c in used if rr == r))
            out.append("</row>")
        out.append("</sheetData>")
        for name in ("sheetProtection", "autoFilter", "mergeCells", "conditionalFormatting", "dataValidations",
                     "hyperlinks", "pageMargins", "drawing", "legacyDrawing", "tableParts"):
            out.append(self.after.get(name, ""))
        if self.ext:
            out.append("<extLst>%s</extLst>" % "".join(self.ext))
        return "".join(out) + "</worksheet>"


class Book:
    """One package, built from a seed."""

    def __init__(self, seed, far_rows):
        self.rng = rng = random.Random(seed)
        self.far_rows = far_rows
        self.seed = seed
        self.macros = rng.random() < 0.15
        self.date1904 = rng.random() < 0.15
        self.styled = rng.random() < 0.9
        self.shared_strings = []
        self.parts = {}
        self.types = {}
        self.names = []
        self.expect = "write"
        count = rng.choice([1, 2, 2, 3, 4])
        names = [SHEET_NAMES[0]] + rng.sample(SHEET_NAMES[1:], count - 1)
        rng.shuffle(names)
        self.sheets = [Sheet(n) for n in names]
        self.target = rng.randrange(count)
        self.edited = self.sheets[self.target]
        self.at = rng.choice([1, 1, 2, 2, 3, 3, 4, 5, 7, 10, 28])
        self.count = rng.choice([1, 1, 1, 2])
        self.width = rng.choice([1, 1, self.count, 2]) if self.count == 1 else self.count
        self.rows = rng.randrange(0, 22)  # of the edit's cells
        self.tables = 0
        self.book_rels = []  # relationships of the workbook beside its sheets and styles

    # --- cells ------------------------------------------------------------------------------------

    def style(self, wanted=None):
        if not self.styled:
            return ""
        s = wanted if wanted is not None else self.rng.choice([0, 0, 0, 1, 2, 3, 4, 5, 8, 9, 10])
        return ' s="%d"' % s if s else ""

    def string(self, text):
        if self.rng.random() < 0.3:
            return ' t="inlineStr"%s><is><t xml:space="preserve">%s</t></is></c>' % (self.style(), self.text_xml(text))
        self.shared_strings.append(text)
        return ' t="s"%s><v>%d</v></c>' % (self.style(), len(self.shared_strings) - 1)

    @staticmethod
    def text_xml(text):
        return escape(text).replace("\r", "&#13;")

    def value(self, sheet, r, c):
        kind = self.rng.choice("nnnssssbedf")
        if kind == "n":
            return '%s><v>%s</v></c>' % (self.style(), self.rng.choice(["1", "2.5", "-3", "1E+20", "0.1", "42"]))
        if kind == "s":
            return self.string(self.rng.choice(TEXTS))
        if kind == "b":
            return ' t="b"%s><v>%d</v></c>' % (self.style(), self.rng.randrange(2))
        if kind == "e":
            return ' t="e"><v>#N/A</v></c>'
        if kind == "d":
            return '%s><v>%d</v></c>' % (self.style(self.rng.choice([1, 2, 6, 7])), self.rng.randrange(1, 50000))
        return "><f>%s</f><v>0</v></c>" % escape(self.formula(sheet, r, c))

    def ref(self, r=None, c=None):
        rng = self.rng
        c = c or rng.randrange(1, 12)
        r = r or rng.randrange(1, 12)
        return "%s%s%s%d" % (rng.choice(["", "$"]), col_name(c), rng.choice(["", "$"]), r)

    def absolute(self):
        return "$%s$%d" % (col_name(self.rng.randrange(1, 12)), self.rng.randrange(1, 12))

    def formula(self, sheet, r, c):
        rng = self.rng
        other = rng.choice(self.sheets)
        qualifier = "" if other is sheet and rng.random() < 0.5 else quoted(other.name) + "!"
        forms = [
            lambda: "%s+%s" % (self.ref(), self.ref()),
            lambda: "SUM(%s:%s)" % (self.ref(rng.randrange(1, 12), rng.randrange(1, 4)),
                                    self.ref(rng.randrange(12, 30), rng.randrange(4, 14))),
            lambda: "SUM(%s%s:%s)" % (qualifier, col_name(rng.randrange(1, 8)), col_name(rng.randrange(8, 15))),
            lambda: "SUM($%s:$%s)" % (col_name(rng.randrange(1, 4)), col_name(rng.randrange(4, 9))),
            lambda: "SUM(%d:%d)" % (rng.randrange(1, 3), rng.randrange(3, 6)),
            lambda: "%s%s*2" % (qualifier, self.ref()),
            lambda: 'IF(%s>0,"C1",%s)&"x"' % (self.ref(), self.ref()),
            lambda: "VLOOKUP(%s,%s$A$1:$D$9,2,0)" % (self.ref(), qualifier),
            lambda: "COUNTA(%s$A:$A)+ROWS(%s1:3)" % (qualifier, qualifier),
            lambda: "SUM(A%d:XFD%d)" % (r, r),
            lambda: "COUNT(A1:A1048576)",
            lambda: "Keys",
            lambda: "LOG10(%s)+ATAN2(1,%s)" % (self.ref(), self.ref()),
        ]
        return rng.choice(forms)()

    def three_d(self, sheet):
        """A 3-D reference, which an insertion into one of the sheets it spans leaves as it is."""
        i, j = sorted(self.rng.sample(range(len(self.sheets)), 2))
        first, last = self.sheets[i].name, self.sheets[j].name
        spanned = quoted(first + ":" + last) if quoted(first) != first or quoted(last) != last else first + ":" + last
        sheet.cells[(self.rng.randrange(1, 12), 13)] = "><f>SUM(%s!%s)</f><v>0</v></c>" % (escape(spanned), self.ref())

    def expect_fallback(self):
        if self.expect == "write":
            self.expect = "fallback"

    def fill(self, sheet):
        rng = self.rng
        rows, cols = rng.randrange(3, 14), rng.randrange(2, 11)
        for r in range(1, rows + 1):
            for c in range(1, cols + 1):
                if rng.random() < 0.75:
                    sheet.cells[(r, c)] = self.value(sheet, r, c)
        if rng.random() < 0.5:  # rich text
            self.shared_strings.append(None)
            sheet.cells[(1, 1)] = ' t="s"><v>%d</v></c>' % (len(self.shared_strings) - 1)
        if len(self.sheets) > 2 and rng.random() < 0.1:
            self.three_d(sheet)
        if self.far_rows and rng.random() < 0.03:  # slow for the office: its store walks every row
            sheet.cells[(MAX_ROW, rng.randrange(1, 5))] = "><v>7</v></c>"
        if rng.random() < 0.08:
            column = MAX_COL - rng.randrange(0, 2)
            sheet.cells[(rng.randrange(1, 5), column)] = "><v>9</v></c>"
            if sheet is self.edited and column + self.count > MAX_COL:
                self.expect = "fail"  # no program pushes a cell off the sheet
        return rows, cols

    # --- the edited sheet's layout ----------------------------------------------------------------

    def columns(self, sheet):
        rng = self.rng
        if not self.styled:  # widths are counted in the default font's digits
            return
        start = 1
        for _ in range(rng.randrange(0, 4)):
            lo = start + rng.randrange(0, 3)
            hi = MAX_COL if rng.random() < 0.05 else rng.choice([lo, lo + rng.randrange(1, 5)])
            attrs = 'width="%s" customWidth="1"' % rng.choice(["4.5", "12", "20.25"])
            if self.styled and rng.random() < 0.6:
                attrs += ' style="%d"' % rng.choice([1, 2, 3, 6])
            if lo >= 15 and rng.random() < 0.5:  # hidden columns, right of the drawings
                attrs += ' hidden="1"'
            sheet.cols.append((lo, hi, attrs))
            if hi >= MAX_COL:
                break
            start = hi + 1

    def row_styles(self, sheet, rows):
        for r in [] if not self.styled else self.rng.sample(range(1, rows + 3), self.rng.randrange(0, 3)):
            sheet.rows[r] = ' s="%d" customFormat="1"' % self.rng.choice([1, 2, 3])
        if self.rng.random() < 0.3:
            sheet.rows[2] = sheet.rows.get(2, "") + ' ht="30" customHeight="1"'

    def merges(self, sheet):
        refs = []
        for r in self.rng.sample(range(15, 30, 3), self.rng.randrange(0, 3)):
            c = self.rng.randrange(1, 9)
            refs.append("%s%d:%s%d" % (col_name(c), r, col_name(c + self.rng.randrange(1, 4)), r + 1))
        if refs:
            sheet.after["mergeCells"] = '<mergeCells count="%d">%s</mergeCells>' % (
                len(refs), "".join('<mergeCell ref="%s"/>' % m for m in refs))

    def conditional_formats(self, sheet):
        rng = self.rng
        if not self.styled:
            return
        rules, priority = [], 0
        dxf = ' dxfId="0"' if self.styled else ""
        for _ in range(rng.randrange(0, 4)):
            priority += 1
            area = "%s1:%s%d" % (col_name(rng.randrange(1, 5)), col_name(rng.randrange(5, 9)), rng.randrange(4, 12))
            kind = rng.choice(["cellIs", "expression", "colorScale", "dataBar", "iconSet"])
            # Excel takes no relative reference in a threshold.
            threshold = lambda: rng.choice(['type="num" val="5"', 'type="percent" val="50"',
                                            'type="formula" val="%s"' % self.absolute(),
                                            'type="num" val="%s"' % self.absolute(), 'type="percentile" val="90"'])
            if kind == "cellIs":
                body = '<cfRule type="cellIs"%s priority="%d" operator="between"><formula>%s</formula>' \
                       '<formula>%s*2</formula></cfRule>' % (dxf, priority, self.ref(), self.ref())
            elif kind == "expression":
                body = '<cfRule type="expression"%s priority="%d"><formula>%s&gt;%s</formula></cfRule>' % (
                    dxf, priority, self.ref(), self.ref())
            elif kind == "colorScale":
                body = ('<cfRule type="colorScale" priority="%d"><colorScale><cfvo type="min"/><cfvo %s/>'
                        '<cfvo type="max"/><color rgb="FFF8696B"/><color rgb="FFFFEB84"/><color rgb="FF63BE7B"/>'
                        '</colorScale></cfRule>') % (priority, threshold())
            elif kind == "dataBar":
                body = ('<cfRule type="dataBar" priority="%d"><dataBar><cfvo %s/><cfvo type="max"/>'
                        '<color rgb="FF638EC6"/></dataBar></cfRule>') % (priority, threshold())
            else:
                body = ('<cfRule type="iconSet" priority="%d"><iconSet><cfvo type="percent" val="0"/><cfvo %s/>'
                        '<cfvo %s/></iconSet></cfRule>') % (priority, threshold(), threshold())
            rules.append('<conditionalFormatting sqref="%s">%s</conditionalFormatting>' % (area, body))
        if rng.random() < 0.25:  # a data bar as Excel 2010 writes it: its threshold a formula in both parts
            guid, ref = "{00000000-0000-0000-0000-0000000000%02d}" % rng.randrange(100), self.absolute()
            rules.append('<conditionalFormatting sqref="C2:D9"><cfRule type="dataBar" priority="%d"><dataBar>'
                         '<cfvo type="num" val="%s"/><cfvo type="max"/><color rgb="FF638EC6"/></dataBar><extLst>'
                         '<ext uri="{B025F937-C7B1-47D3-B67F-A62EFF666E3E}" xmlns:x14="http://schemas.microsoft.com/'
                         'office/spreadsheetml/2009/9/main"><x14:id>%s</x14:id></ext></extLst></cfRule>'
                         '</conditionalFormatting>' % (priority + 1, ref, guid))
            sheet.ext.append(
                '<ext uri="{78C0D931-6437-407d-A8EE-F0AAD7539E65}" '
                'xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
                '<x14:conditionalFormattings><x14:conditionalFormatting '
                'xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main"><x14:cfRule type="dataBar" '
                'id="%s"><x14:dataBar minLength="0" maxLength="100"><x14:cfvo type="num"><xm:f>%s</xm:f>'
                '</x14:cfvo><x14:cfvo type="autoMax"/></x14:dataBar></x14:cfRule><xm:sqref>C2:D9</xm:sqref>'
                '</x14:conditionalFormatting></x14:conditionalFormattings></ext>' % (guid, ref))
        sheet.after["conditionalFormatting"] = "".join(rules)

    def validations(self, sheet):
        """Validations on bands of rows of their own: a cell has one validation at most."""
        rng = self.rng
        items, band = [], iter([(1, 3), (4, 6), (7, 9)])
        for _ in range(rng.randrange(0, 3)):
            r1, r2 = next(band)
            area = "%s%d:%s%d" % (col_name(rng.randrange(1, 8)), r1, col_name(rng.randrange(8, 10)), r2)
            items.append(rng.choice([
                '<dataValidation type="list" allowBlank="1" sqref="%s"><formula1>$A$1:$A$5</formula1></dataValidation>',
                '<dataValidation type="whole" operator="lessThan" sqref="%%s"><formula1>%s*10</formula1>'
                '</dataValidation>' % self.ref(),
                '<dataValidation type="list" sqref="%s"><formula1>"a,b,c"</formula1></dataValidation>',
            ]) % area)
        if items:
            sheet.after["dataValidations"] = '<dataValidations count="%d">%s</dataValidations>' % (len(items), "".join(items))
        others = [s for s in self.sheets if s is not sheet]
        if others and rng.random() < 0.3:  # a list from another sheet, as Excel 2010 writes it
            source = quoted(rng.choice(others).name)
            sheet.ext.append(
                '<ext uri="{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}" '
                'xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
                '<x14:dataValidations count="1" xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
                '<x14:dataValidation type="list" allowBlank="1"><x14:formula1><xm:f>%s!$A$1:$A$4</xm:f>'
                '</x14:formula1><xm:sqref>%s11:%s12</xm:sqref></x14:dataValidation></x14:dataValidations></ext>'
                % (escape(source), col_name(rng.randrange(1, 6)), col_name(rng.randrange(6, 9))))

    def hyperlinks(self, sheet):
        links = []
        for r in self.rng.sample(range(1, 9), self.rng.randrange(0, 3)):
            cell = "%s%d" % (col_name(self.rng.randrange(1, 9)), r)
            if self.rng.random() < 0.5:
                target = quoted(self.rng.choice(self.sheets).name) + "!" + self.ref()
                links.append('<hyperlink ref="%s" location=%s display="go"/>' % (cell, quoteattr(target)))
            else:
                rid = sheet.rel("hyperlink", "https://example.com/%d" % self.seed, True)
                links.append('<hyperlink ref="%s" r:id="%s"/>' % (cell, rid))
        if links:
            sheet.after["hyperlinks"] = "<hyperlinks>%s</hyperlinks>" % "".join(links)

    def panes(self, sheet):
        x, y = self.rng.choice([0, 1, 2, 3]), self.rng.choice([0, 1])
        if x or y:
            top_left = "%s%d" % (col_name(x + 1), y + 1)
            sheet.views = ('<sheetView tabSelected="1" workbookViewId="0"><pane %s%stopLeftCell="%s" '
                           'activePane="bottomRight" state="frozen"/><selection pane="bottomRight" activeCell="%s" '
                           'sqref="%s"/></sheetView>') % ('xSplit="%d" ' % x if x else "", 'ySplit="%d" ' % y if y else "",
                                                          top_left, top_left, top_left)

    def auto_filter(self, sheet, cols):
        if self.rng.random() < 0.3:
            ref = "A1:%s9" % col_name(cols)
            sheet.after["autoFilter"] = ('<autoFilter ref="%s"><filterColumn colId="%d"><filters><filter val="1"/>'
                                         '</filters></filterColumn></autoFilter>') % (ref, cols - 1)
            self.names.append(('_xlnm._FilterDatabase', self.sheets.index(sheet), quoted(sheet.name) + "!$A$1:$%s$9" % col_name(cols), True))

    def shared_formulas(self, sheet, rows):
        rng = self.rng
        if rng.random() < 0.5:  # down a column
            c = rng.randrange(2, 12)
            last = rng.randrange(3, 8)
            sheet.cells[(2, c)] = '><f t="shared" ref="%s2:%s%d" si="0">%s+1</f><v>1</v></c>' % (
                col_name(c), col_name(c), last, self.ref(2, rng.randrange(1, 12)).replace("$", ""))
            for r in range(3, last + 1):
                sheet.cells[(r, c)] = '><f t="shared" si="0"/><v>1</v></c>'
        if rng.random() < 0.3:  # across columns: cut when the insertion falls inside it
            c, w, r = rng.randrange(1, 6), rng.randrange(1, 4), rows + 2
            sheet.cells[(r, c)] = '><f t="shared" ref="%s%d:%s%d" si="1">%s*2</f><v>1</v></c>' % (
                col_name(c), r, col_name(c + w), r, self.ref(1, c).replace("$", ""))
            for k in range(1, w + 1):
                sheet.cells[(r, c + k)] = '><f t="shared" si="1"/><v>1</v></c>'
            if sheet is self.edited and c < self.at <= c + w:
                self.expect_fallback()
        if rng.random() < 0.25:
            c, r = rng.randrange(1, 10), rows + 4
            sheet.cells[(r, c)] = '><f t="array" ref="%s%d:%s%d">%s:%s*2</f><v>1</v></c>' % (
                col_name(c), r, col_name(c), r + 1, self.ref(1, 2), self.ref(2, 2))
            sheet.cells[(r + 1, c)] = "><v>1</v></c>"
            moved = c + self.count if c >= self.at else c
            if sheet is self.edited and self.at <= moved < self.at + self.width and r <= self.rows < r + 1:
                self.expect = "fail"  # no program writes over a part of an array formula

    # --- parts beside the sheet ---------------------------------------------------------------------

    def table(self, sheet, index):
        rng = self.rng
        c1 = rng.choice([1, 4, 8, 12])
        c2 = c1 + rng.randrange(1, 3)
        r1, r2 = 30, 34
        name = "Table%d" % (self.tables + 1)
        self.tables += 1
        headers = ["Key", "Amount", "Note"][: c2 - c1 + 1]
        for i, h in enumerate(headers):
            sheet.cells[(r1, c1 + i)] = ' t="inlineStr"><is><t>%s</t></is></c>' % h
            for r in range(r1 + 1, r2 + 1):
                sheet.cells[(r, c1 + i)] = "><v>%d</v></c>" % (r * (i + 1))
        columns = "".join('<tableColumn id="%d" name="%s"/>' % (i + 1, h) for i, h in enumerate(headers))
        ref = "%s%d:%s%d" % (col_name(c1), r1, col_name(c2), r2)
        part = "xl/tables/table%d.xml" % self.tables
        self.parts[part] = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<table xmlns="%s" id="%d" '
                            'name="%s" displayName="%s" ref="%s"><autoFilter ref="%s"/><tableColumns count="%d">%s'
                            '</tableColumns><tableStyleInfo name="TableStyleMedium2" showRowStripes="1"/></table>') % (
            MAIN, self.tables, name, name, ref, ref, len(headers), columns)
        self.types["/" + part] = CT + "spreadsheetml.table+xml"
        rid = sheet.rel("table", "../tables/table%d.xml" % self.tables)
        sheet.after["tableParts"] = '<tableParts count="1"><tablePart r:id="%s"/></tableParts>' % rid
        sheet.cells[(r2 + 2, c1)] = "><f>SUM(%s[Amount])+%s[[#This Row],[Key]]</f><v>0</v></c>" % (name, name) \
            if len(headers) > 1 else "><f>SUM(%s[Key])</f><v>0</v></c>" % name
        if sheet is self.edited and c1 < self.at <= c2:
            self.expect_fallback()  # a table cut by the insertion

    def drawing(self, sheet, index):
        rng = self.rng
        anchors, n = [], index + 1
        rels = []
        if rng.random() < 0.6:  # a chart of a column of the edited sheet
            c = rng.randrange(2, 8)
            chart = "xl/charts/chart%d.xml" % n
            source = quoted(self.edited.name) + "!$%s$1:$%s$6" % (col_name(c), col_name(c))
            self.parts[chart] = (
                '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<c:chartSpace '
                'xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
                'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="%s"><c:chart>'
                '<c:plotArea><c:layout/><c:barChart><c:barDir val="col"/><c:grouping val="clustered"/>'
                '<c:ser><c:idx val="0"/><c:order val="0"/><c:val><c:numRef><c:f>%s</c:f></c:numRef></c:val></c:ser>'
                '<c:axId val="1"/><c:axId val="2"/></c:barChart><c:catAx><c:axId val="1"/><c:scaling/>'
                '<c:axPos val="b"/><c:crossAx val="2"/></c:catAx><c:valAx><c:axId val="2"/><c:scaling/>'
                '<c:axPos val="l"/><c:crossAx val="1"/></c:valAx></c:plotArea></c:chart></c:chartSpace>') % (
                REL, escape(source))
            self.types["/" + chart] = CT + "drawingml.chart+xml"
            rels.append(("chart", "../charts/chart%d.xml" % n))
            c1 = rng.randrange(0, 6)
            anchors.append('<xdr:twoCellAnchor><xdr:from><xdr:col>%d</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>14'
                           '</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>%d</xdr:col><xdr:colOff>0'
                           '</xdr:colOff><xdr:row>24</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to><xdr:graphicFrame '
                           'macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="2" name="Chart 1"/><xdr:cNvGraphicFramePr/>'
                           '</xdr:nvGraphicFramePr><xdr:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm>'
                           '<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">'
                           '<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="rId%d"/>'
                           '</a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/></xdr:twoCellAnchor>'
                           % (c1, c1 + 4, len(rels)))
        if rng.random() < 0.5:  # a text box, anchored to cells or absolutely
            edit_as = rng.choice(["", ' editAs="absolute"', ' editAs="oneCell"'])
            c1 = rng.randrange(0, 8)
            anchors.append('<xdr:twoCellAnchor%s><xdr:from><xdr:col>%d</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>26'
                           '</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>%d</xdr:col><xdr:colOff>0'
                           '</xdr:colOff><xdr:row>28</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to><xdr:sp macro="" '
                           'textlink=""><xdr:nvSpPr><xdr:cNvPr id="3" name="TextBox 2"/><xdr:cNvSpPr txBox="1"/>'
                           '</xdr:nvSpPr><xdr:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/></a:xfrm>'
                           '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></xdr:spPr><xdr:txBody><a:bodyPr/>'
                           '<a:p><a:r><a:t>note</a:t></a:r></a:p></xdr:txBody></xdr:sp><xdr:clientData/>'
                           '</xdr:twoCellAnchor>' % (edit_as, c1, c1 + 2))
        if not anchors:
            return
        part = "xl/drawings/drawing%d.xml" % n
        self.parts[part] = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<xdr:wsDr xmlns:xdr='
                            '"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" '
                            'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="%s">%s</xdr:wsDr>'
                            % (REL, "".join(anchors)))
        self.types["/" + part] = CT + "drawing+xml"
        if rels:
            self.parts["xl/drawings/_rels/drawing%d.xml.rels" % n] = relationships(rels)
        sheet.after["drawing"] = '<drawing r:id="%s"/>' % sheet.rel("drawing", "../drawings/drawing%d.xml" % n)

    def comments(self, sheet, index):
        cells = sorted(set((self.rng.randrange(1, 10), self.rng.randrange(1, 9)) for _ in range(self.rng.randrange(1, 3))))
        n = index + 1
        self.parts["xl/comments%d.xml" % n] = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<comments xmlns="%s"><authors><author>Ann'
            '</author></authors><commentList>%s</commentList></comments>') % (MAIN, "".join(
                '<comment ref="%s%d" authorId="0"><text><r><t xml:space="preserve">note %d&#13;\nline</t></r></text>'
                '</comment>' % (col_name(c), r, i) for i, (r, c) in enumerate(cells)))
        shapes = "".join(
            '<v:shape id="_x0000_s%d" type="#_x0000_t202" style="position:absolute;visibility:hidden" '
            'fillcolor="#ffffe1"><x:ClientData ObjectType="Note"><x:MoveWithCells/><x:SizeWithCells/>'
            '<x:Anchor>%d, 15, %d, 2, %d, 15, %d, 16</x:Anchor><x:AutoFill>False</x:AutoFill><x:Row>%d</x:Row>'
            '<x:Column>%d</x:Column></x:ClientData></v:shape>' % (1025 + i, c, r - 1, c + 2, r + 3, r - 1, c - 1)
            for i, (r, c) in enumerate(cells))
        self.parts["xl/drawings/vmlDrawing%d.vml" % n] = (
            '<xml xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office" '
            'xmlns:x="urn:schemas-microsoft-com:office:excel"><o:shapelayout v:ext="edit"><o:idmap v:ext="edit" '
            'data="1"/></o:shapelayout><v:shapetype id="_x0000_t202" coordsize="21600,21600" o:spt="202" '
            'path="m,l,21600r21600,l21600,xe"><v:path gradientshapeok="t" o:connecttype="rect"/></v:shapetype>'
            '%s</xml>' % shapes)
        self.types["/xl/comments%d.xml" % n] = CT + "spreadsheetml.comments+xml"
        sheet.rel("comments", "../comments%d.xml" % n)
        sheet.after["legacyDrawing"] = '<legacyDrawing r:id="%s"/>' % sheet.rel("vmlDrawing", "../drawings/vmlDrawing%d.vml" % n)

    def cell_image(self, sheet):
        """A picture in a cell as WPS keeps it: a part of the workbook naming no cell, and a formula."""
        place = (self.rng.randrange(1, 12), self.rng.randrange(1, 10))
        while place in sheet.cells:
            place = (place[0] + 1, place[1])
        sheet.cells[place] = ' t="str"><f>_xlfn.DISPIMG("ID_5F3A",1)</f><v>=DISPIMG("ID_5F3A",1)</v></c>'
        self.parts["xl/cellimages.xml"] = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<etc:cellImages xmlns:xdr="http://schemas.'
            'openxmlformats.org/drawingml/2006/spreadsheetDrawing" xmlns:r="%s" xmlns:a="http://schemas.openxmlformats'
            '.org/drawingml/2006/main" xmlns:etc="http://www.wps.cn/officeDocument/2017/etCustomData"><etc:cellImage>'
            '<xdr:pic><xdr:nvPicPr><xdr:cNvPr id="2" name="ID_5F3A"/><xdr:cNvPicPr/></xdr:nvPicPr><xdr:blipFill>'
            '<a:blip r:embed="rId1"/><a:stretch><a:fillRect/></a:stretch></xdr:blipFill><xdr:spPr><a:xfrm><a:off x="0" '
            'y="0"/><a:ext cx="9525" cy="9525"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></xdr:spPr>'
            '</xdr:pic></etc:cellImage></etc:cellImages>' % REL)
        self.parts["xl/_rels/cellimages.xml.rels"] = relationships([("image", "media/image1.png")])
        self.parts["xl/media/image1.png"] = PNG
        self.types["/xl/cellimages.xml"] = "application/vnd.wps-officedocument.cellimage+xml"
        self.book_rels.append(("http://www.wps.cn/officeDocument/2020/cellImage", "cellimages.xml"))

    def control(self, sheet, index):
        """A check box linked to a cell of the edited sheet, as Excel keeps a form control."""
        vml = "xl/drawings/vmlDrawing%d.vml" % (index + 1)
        link = "%s!$%s$%d" % (quoted(self.edited.name), col_name(self.rng.randrange(1, 9)), self.rng.randrange(1, 9))
        shape = ('<v:shape id="_x0000_s2049" type="#_x0000_t201" style="position:absolute"><x:ClientData '
                 'ObjectType="Checkbox"><x:Anchor>1, 0, 40, 0, 3, 0, 41, 0</x:Anchor><x:FmlaLink>%s</x:FmlaLink>'
                 '<x:FmlaMacro>[0]!Clicked</x:FmlaMacro></x:ClientData></v:shape>' % escape(link))
        if vml in self.parts:
            self.parts[vml] = self.parts[vml].replace("</xml>", shape + "</xml>")
            return
        self.parts[vml] = ('<xml xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:'
                           'office" xmlns:x="urn:schemas-microsoft-com:office:excel">%s</xml>' % shape)
        sheet.after["legacyDrawing"] = '<legacyDrawing r:id="%s"/>' % sheet.rel("vmlDrawing", "../drawings/vmlDrawing%d.vml" % (index + 1))

    # --- the package --------------------------------------------------------------------------------

    def build(self):
        rng = self.rng
        for i, sheet in enumerate(self.sheets):
            rows, cols = self.fill(sheet)
            self.shared_formulas(sheet, rows)
            if sheet is self.edited or rng.random() < 0.3:
                self.columns(sheet)
                self.row_styles(sheet, rows)
                self.merges(sheet)
                self.conditional_formats(sheet)
                self.validations(sheet)
                self.hyperlinks(sheet)
                self.panes(sheet)
                self.auto_filter(sheet, cols)
                if rng.random() < 0.35:
                    self.table(sheet, i)
                if rng.random() < 0.4:
                    self.drawing(sheet, i)
                if rng.random() < 0.35:
                    self.comments(sheet, i)
            if rng.random() < 0.1:
                self.control(sheet, i)
            sheet.after["pageMargins"] = ('<pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" '
                                          'footer="0.3"/>')
        if rng.random() < 0.1:
            self.cell_image(self.edited)
        if rng.random() < 0.05:
            self.edited.after["sheetProtection"] = '<sheetProtection sheet="1" objects="1" scenarios="1"/>'
            self.expect_fallback()
        target = quoted(self.edited.name)
        self.names += [("Keys", None, "%s!$A$1:$C$5" % target, False),
                       ("Rates", None, "%s!$B:$B,%s!$2:$2" % (target, target), False),
                       ("Const", None, "0.5", False)]
        if rng.random() < 0.4:
            self.names.append(("_xlnm.Print_Area", self.target, "%s!$A$1:$F$20" % target, False))
        return self.package()

    def package(self):
        files = {}
        overrides = dict(self.types)
        main = "sheet.macroEnabled.main+xml" if self.macros else "sheet.main+xml"
        overrides["/xl/workbook.xml"] = "application/vnd.ms-excel." + main if self.macros else CT + "spreadsheetml." + main
        book_rels = []
        for i, sheet in enumerate(self.sheets):
            files["xl/worksheets/sheet%d.xml" % (i + 1)] = sheet.xml()
            overrides["/xl/worksheets/sheet%d.xml" % (i + 1)] = CT + "spreadsheetml.worksheet+xml"
            book_rels.append(("worksheet", "worksheets/sheet%d.xml" % (i + 1)))
            if sheet.rels:
                files["xl/worksheets/_rels/sheet%d.xml.rels" % (i + 1)] = relationships(sheet.rels)
        if self.styled:
            files["xl/styles.xml"] = styles()
            overrides["/xl/styles.xml"] = CT + "spreadsheetml.styles+xml"
            book_rels.append(("styles", "styles.xml"))
        if self.shared_strings:
            files["xl/sharedStrings.xml"] = shared_strings(self.shared_strings)
            overrides["/xl/sharedStrings.xml"] = CT + "spreadsheetml.sharedStrings+xml"
            book_rels.append(("sharedStrings", "sharedStrings.xml"))
        files["xl/workbook.xml"] = self.workbook()
        files["xl/_rels/workbook.xml.rels"] = relationships(book_rels + self.book_rels)
        root = [("officeDocument", "xl/workbook.xml")]
        if self.rng.random() < 0.7:
            files["docProps/app.xml"] = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Properties xmlns='
                                         '"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
                                         '<Application>Microsoft Excel</Application></Properties>')
            overrides["/docProps/app.xml"] = CT + "extended-properties+xml"
            root.append(("extended-properties", "docProps/app.xml"))
        files["_rels/.rels"] = relationships(root)
        files.update(self.parts)
        files["[Content_Types].xml"] = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Types xmlns="http://schemas.openxmlformats.org/'
            'package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
            'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Default Extension="vml" '
            'ContentType="application/vnd.openxmlformats-officedocument.vmlDrawing"/><Default Extension="png" '
            'ContentType="image/png"/>%s</Types>') % "".join(
            '<Override PartName="%s" ContentType="%s"/>' % item for item in sorted(overrides.items()))
        return files

    def workbook(self):
        names = "".join('<definedName name="%s"%s%s>%s</definedName>' % (
            n, ' localSheetId="%d"' % local if local is not None else "", ' hidden="1"' if hidden else "", escape(v))
            for n, local, v, hidden in self.names)
        return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook %s><workbookPr%s/><bookViews>'
                '<workbookView activeTab="%d"/></bookViews><sheets>%s</sheets><definedNames>%s</definedNames>'
                '<calcPr calcId="191029"/></workbook>') % (
            NS, ' date1904="1"' if self.date1904 else "", self.target,
            "".join('<sheet name=%s sheetId="%d" r:id="rId%d"/>' % (quoteattr(s.name), i + 1, i + 1)
                    for i, s in enumerate(self.sheets)), names)

    def edit_line(self, name):
        rows = [[self.rng.choice(RESULTS) if self.rng.random() < 0.85 else ("", "", "", "") for _ in range(self.width)]
                for _ in range(self.rows)]
        cells = [":".join(urllib.parse.quote(part, safe="") for part in cell) for row in rows for cell in row]
        return "\t".join([name, self.expect, str(self.target + 1), self.edited.name, str(self.at), str(self.count),
                          str(self.at), str(self.width)] + cells)


def relationships(items):
    out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="%s">' % PKG_REL]
    for i, item in enumerate(items):
        kind, target = item[0], item[1]
        external = ' TargetMode="External"' if len(item) > 2 and item[2] else ""
        uri = kind if kind.startswith("http") else REL + "/" + kind
        out.append('<Relationship Id="rId%d" Type="%s" Target=%s%s/>' % (i + 1, uri, quoteattr(target), external))
    return "".join(out) + "</Relationships>"


def styles():
    formats = "".join('<numFmt numFmtId="%d" formatCode=%s/>' % (k, quoteattr(v)) for k, v in FORMATS.items())
    xfs = "".join('<xf numFmtId="%d" fontId="%d" fillId="%d" borderId="0" xfId="0"%s/>' % (
        n, f, fill, ' applyNumberFormat="1"' if n else "") for n, f, fill in XFS)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<styleSheet xmlns="%s"><numFmts count="%d">%s'
            '</numFmts><fonts count="2"><font><sz val="11"/><name val="Calibri"/></font><font><b/><sz val="11"/>'
            '<name val="Calibri"/></font></fonts><fills count="3"><fill><patternFill patternType="none"/></fill><fill>'
            '<patternFill patternType="gray125"/></fill><fill><patternFill patternType="solid"><fgColor rgb="FFFFFF00"/>'
            '</patternFill></fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border>'
            '</borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
            '<cellXfs count="%d">%s</cellXfs><cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/>'
            '</cellStyles><dxfs count="1"><dxf><font><b/></font></dxf></dxfs></styleSheet>') % (
        MAIN, len(FORMATS), formats, len(XFS), xfs)


def shared_strings(strings):
    items = []
    for s in strings:
        if s is None:
            items.append('<si><r><rPr><b/></rPr><t>Bold</t></r><r><t xml:space="preserve"> and plain&#13;\n</t></r></si>')
        else:
            items.append('<si><t xml:space="preserve">%s</t></si>' % Book.text_xml(s))
    return '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="%s" count="%d" uniqueCount="%d">%s</sst>' % (
        MAIN, len(items), len(items), "".join(items))


def write(folder, seed, far_rows=False):
    book = Book(seed, far_rows)
    files = book.build()
    name = "case-%d.%s" % (seed, "xlsm" if book.macros else "xlsx")
    with zipfile.ZipFile("%s/%s" % (folder, name), "w", zipfile.ZIP_DEFLATED) as z:
        for part in ["[Content_Types].xml"] + sorted(p for p in files if p != "[Content_Types].xml"):
            z.writestr(zipfile.ZipInfo(part, (2024, 1, 1, 0, 0, 0)), files[part], zipfile.ZIP_DEFLATED)
    return book.edit_line(name)


def main():
    folder, first, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(folder + "/cases.tsv", "w", encoding="utf-8") as out:
        for seed in range(first, first + count):
            out.write(write(folder, seed, "--far-rows" in sys.argv) + "\n")


if __name__ == "__main__":
    main()
