"""Writes a large .xlsx without the office: make_large.py FILE ROWS
Sheet 子表 with a number key in A, a text value in B (shared strings) and a formula in C, like a
child table; enough to time an in-place edit on the largest sheets."""
import sys
import zipfile

NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" ' \
     'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"


def sheet(rows):
    yield '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s>' % NS
    yield '<dimension ref="A1:C%d"/><sheetData>' % rows
    for r in range(1, rows + 1):
        yield ('<row r="%d" spans="1:3"><c r="A%d"><v>%d</v></c><c r="B%d" t="s"><v>%d</v></c>'
               '<c r="C%d"><f>A%d*2</f><v>%d</v></c></row>' % (r, r, r * 7 % 100003, r, r % 1000, r, r, r * 7 % 100003 * 2))
    yield '</sheetData><autoFilter ref="A1:C%d"/></worksheet>' % rows


def main():
    path, rows = sys.argv[1], int(sys.argv[2])
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>')
        z.writestr("_rels/.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%sofficeDocument" Target="xl/workbook.xml"/></Relationships>' % REL)
        z.writestr("xl/workbook.xml", '<workbook %s><sheets><sheet name="子表" sheetId="1" r:id="rId1"/></sheets><definedNames><definedName name="_xlnm._FilterDatabase" localSheetId="0" hidden="1">子表!$A$1:$C$%d</definedName></definedNames><calcPr calcId="191029"/></workbook>' % (NS, rows))
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%sworksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="%ssharedStrings" Target="sharedStrings.xml"/><Relationship Id="rId3" Type="%sstyles" Target="styles.xml"/></Relationships>' % (REL, REL, REL))
        z.writestr("xl/styles.xml", '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><fonts count="1"><font/></fonts><fills count="1"><fill/></fills><borders count="1"><border/></borders><cellStyleXfs count="1"><xf/></cellStyleXfs><cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs></styleSheet>')
        z.writestr("xl/sharedStrings.xml", '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="%d" uniqueCount="1000">%s</sst>' % (rows, "".join("<si><t>客户%d</t></si>" % i for i in range(1000))))
        with z.open("xl/worksheets/sheet1.xml", "w") as f:
            chunk = []
            for piece in sheet(rows):
                chunk.append(piece)
                if len(chunk) >= 10000:
                    f.write("".join(chunk).encode())
                    chunk = []
            f.write("".join(chunk).encode())


if __name__ == "__main__":
    main()
