"""The record-by-record comparison of an .xls with the one the in-place writer made of it.

Read independently of the writer: the compound file with olefile, cells, formats, merged ranges,
column widths, names, hyperlinks and notes with xlrd, the Workbook stream's records by their
headers. Nothing but what the insertion touches may differ.
"""
import struct

import olefile
import xlrd

# Record types an insertion (or the written cells) may change, by where they are.
GLOBALS = {0x0085, 0x00FC, 0x003C, 0x00FF, 0x041E, 0x00E0, 0x087D, 0x087C, 0x0018, 0x01C1}
OTHER_SHEET = {0x020B, 0x0006, 0x0221, 0x01BE, 0x01B8, 0x005D, 0x01B6, 0x1051}
EDITED_SHEET = OTHER_SHEET | {
    0x00D7, 0x0208, 0x0200, 0x0201, 0x0203, 0x0204, 0x0205, 0x0207, 0x027E, 0x00BD, 0x00BE, 0x00FD,
    0x00D6, 0x04BC, 0x007D, 0x00E5, 0x001D, 0x0041, 0x001C, 0x0800, 0x01B0, 0x01B1, 0x0879, 0x087A,
    0x087B, 0x00EC, 0x003C, 0x009D, 0x009E, 0x087E, 0x001A, 0x0868, 0x015F, 0x00EF, 0x01C2}


def records(data):
    pos, out = 0, []
    while pos + 4 <= len(data):
        rt, size = struct.unpack_from("<HH", data, pos)
        out.append((rt, data[pos + 4:pos + 4 + size]))
        pos += 4 + size
    return out


def substreams(data):
    """Top-level substreams as lists of records (embedded charts stay inside their sheet)."""
    out, depth = [], 0
    for rt, body in records(data):
        if depth == 0:
            if rt != 0x0809:
                break
            out.append([])
        out[-1].append((rt, body))
        depth += rt == 0x0809
        depth -= rt == 0x000A
    return out


def container(original, edited):
    """Every stream and storage but Workbook as it was: content, class ids, times, state bits."""
    a, b = olefile.OleFileIO(original), olefile.OleFileIO(edited)
    problems = []
    names_a = sorted("/".join(e) for e in a.listdir(streams=True, storages=True))
    names_b = sorted("/".join(e) for e in b.listdir(streams=True, storages=True))
    if names_a != names_b:
        problems.append("streams and storages differ: %s / %s" % (names_a, names_b))
        return problems
    for name in names_a:
        da, db = a.direntries[a._find(name)], b.direntries[b._find(name)]
        meta = lambda d: (d.clsid, d.createTime, d.modifyTime, d.dwUserFlags, d.entry_type)
        if meta(da) != meta(db):
            problems.append("%s: class id, times or state bits differ" % name)
        if da.entry_type == olefile.STGTY_STREAM and name != "Workbook" and \
                a.openstream(name).read() != b.openstream(name).read():
            problems.append("%s: content differs" % name)
    if a.root.clsid != b.root.clsid:
        problems.append("the root's class id differs")
    return problems


def untouched_records(original, edited, sheet_index):
    """Record types the edit does not touch keep their sequence, substream by substream."""
    a = substreams(olefile.OleFileIO(original).openstream("Workbook").read())
    b = substreams(olefile.OleFileIO(edited).openstream("Workbook").read())
    if len(a) != len(b):
        return ["%d substreams became %d" % (len(a), len(b))]
    problems = []
    sheet_substream = sheet_index + 1  # sheets follow the globals in BOUNDSHEET order in these files
    for k, (sa, sb) in enumerate(zip(a, b)):
        touched = GLOBALS if k == 0 else EDITED_SHEET if k == sheet_substream else OTHER_SHEET
        ka = [r for r in sa if r[0] not in touched]
        kb = [r for r in sb if r[0] not in touched]
        if ka != kb:
            first = next((i for i, (x, y) in enumerate(zip(ka, kb)) if x != y), min(len(ka), len(kb)))
            got = hex(kb[first][0]) if first < len(kb) else "end"
            want = hex(ka[first][0]) if first < len(ka) else "end"
            problems.append("substream %d: untouched records differ at %d (%s / %s)" % (k, first, want, got))
    return problems


def shift(column, at, count):
    return column + count if column >= at else column


def cell_text(book, sheet, r, c):
    cell = sheet.cell(r, c)
    fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
    value = round(cell.value, 9) if isinstance(cell.value, float) else cell.value
    return cell.ctype, value, fmt


def cells(original, edited, sheet_index, at, count, written_rows):
    """Every cell where the insertion puts it, with its value, type and number format; the written
    column's rows aside."""
    a = xlrd.open_workbook(original, formatting_info=True)
    b = xlrd.open_workbook(edited, formatting_info=True)
    problems = []
    if a.nsheets != b.nsheets:
        return ["%d sheets became %d" % (a.nsheets, b.nsheets)]
    for k in range(a.nsheets):
        sa, sb = a.sheet_by_index(k), b.sheet_by_index(k)
        moved = k == sheet_index
        for r in range(sa.nrows):
            for c in range(sa.ncols):
                if sa.cell(r, c).ctype in (xlrd.XL_CELL_EMPTY, ) and sa.cell_xf_index(r, c) == 15:
                    continue
                tc = shift(c, at, count) if moved else c
                if moved and at <= tc < at + count and r < written_rows:
                    continue
                want = cell_text(a, sa, r, c)
                got = cell_text(b, sb, r, tc) if r < sb.nrows and tc < sb.ncols else None
                if want != got:
                    problems.append("sheet %d cell (%d,%d): %s / %s" % (k + 1, r, c, want, got))
                    if len(problems) > 5:
                        return problems
        if moved:
            want = sorted((r1, r2, shift(c1, at, count), shift(c2 - 1, at, count) + 1) for r1, r2, c1, c2 in sa.merged_cells)
            if want != sorted(sb.merged_cells):
                problems.append("sheet %d merged cells: %s / %s" % (k + 1, want[:3], sorted(sb.merged_cells)[:3]))
            notes_a = sorted((r, shift(c, at, count)) for r, c in sa.cell_note_map)
            if notes_a != sorted(sb.cell_note_map):
                problems.append("sheet %d notes moved wrongly" % (k + 1))
            links_a = sorted((h.frowx, shift(h.fcolx, at, count), h.desc) for h in sa.hyperlink_list)
            links_b = sorted((h.frowx, h.fcolx, h.desc) for h in sb.hyperlink_list)
            if links_a != links_b:
                problems.append("sheet %d hyperlinks moved wrongly" % (k + 1))
        elif sa.merged_cells != sb.merged_cells:
            problems.append("sheet %d merged cells changed" % (k + 1))
    return problems


def compare(original, edited, sheet_index, at, count, written_rows):
    """Problems found, as text; empty when nothing but the insertion's own changes differ."""
    return container(original, edited) + untouched_records(original, edited, sheet_index) + \
        cells(original, edited, sheet_index, at, count, written_rows)
