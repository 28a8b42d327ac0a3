"""Compares the .xls in-place writer with the office's own column insertion.

xls_compare.py XLS_EDIT FOLDER [--columns 1,2,4] [--strict]

For every .xls of FOLDER (copied to a temporary folder; the originals are only read) and every
insertion column: one copy gets a column inserted on sheet 1 and a short result written by
XLS_EDIT; the office loads another copy and inserts the same column and writes the same cells.
Both are compared as the office sees them (cells with formulas in the office's own text, merged
ranges, conditional formats, validations, names, chart ranges), and the written file record by
record with its original (records.py). A file the writer leaves to the office must be unchanged
byte for byte. Prints one line per file and column and a last line "N of M comparisons equal";
with --strict the exit code is 1 when any is not.
"""
import functools
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "xlsx_differential"))

from differential import RESULT, differences, office_insertion, snapshot  # noqa: E402
from office import Office  # noqa: E402
import records  # noqa: E402

print = functools.partial(print, flush=True)


def by_cell(validations):
    """Validation groups (row, column, row, column, kind, formulas) as one entry a cell."""
    out = {}
    for v in validations:
        for r in range(v[0], v[2] + 1):
            for c in range(v[1], v[3] + 1):
                out[(r, c)] = tuple(v[4:])
    return out


def without_copied(validations, c):
    """The office gives a new column every attribute of its left neighbour, validations among them;
    the program's own office path clears them again, and the writer gives it none. A validation
    the new column keeps is one whose range goes on right of it."""
    cells = by_cell(validations)
    return {(r, k): v for (r, k), v in cells.items() if k != c or cells.get((r, c + 1)) == v}


def one(office, edit, source, work, column):
    name = os.path.basename(source)
    ours, theirs = os.path.join(work, "ours-" + name), os.path.join(work, "theirs-" + name)
    shutil.copy(source, ours)
    shutil.copy(source, theirs)
    run = subprocess.run([edit, ours, "1", str(column), "1"] + RESULT, capture_output=True, text=True)
    if run.returncode == 3:
        same = open(source, "rb").read() == open(ours, "rb").read()
        return same, "left to the office (%s)%s" % (run.stdout.strip(), "" if same else ", BUT CHANGED")
    if run.returncode != 0:
        return False, (run.stdout + run.stderr).strip()
    problems = records.compare(source, ours, 0, column - 1, 1, len(RESULT))
    a, b = office.load(ours), office.load(theirs)
    try:
        office_insertion(b, column)
        ours_now, theirs_now = snapshot(a), snapshot(b)
        ours_now[0]["validations"] = by_cell(ours_now[0]["validations"])
        theirs_now[0]["validations"] = without_copied(theirs_now[0]["validations"], column - 1)
        problems += differences(ours_now, theirs_now)
    finally:
        a.close(True)
        b.close(True)
    return not problems, "equal" if not problems else "; ".join(problems)


def main():
    edit, folder = sys.argv[1], sys.argv[2]
    columns = [1, 2, 4]
    if "--columns" in sys.argv:
        columns = [int(c) for c in sys.argv[sys.argv.index("--columns") + 1].split(",")]
    files = sorted(f for f in os.listdir(folder) if f.lower().endswith(".xls"))
    work = tempfile.mkdtemp(prefix="xls-diff-")
    equal = total = 0
    try:
        with Office() as office:
            for name in files:
                for column in columns:
                    ok, what = one(office, edit, os.path.join(folder, name), work, column)
                    total += 1
                    equal += ok
                    print("%s column %d: %s" % (name, column, what))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d of %d comparisons equal (files left to the office unchanged count as equal)" % (equal, total))
    if "--strict" in sys.argv and equal != total:
        sys.exit(1)


if __name__ == "__main__":
    main()
