"""Kills an in-place write of a large .xlsx at random moments and checks what is left.

crash_safety.py XLSX_EDIT [--rows 200000] [--trials 100] [--seed 1]

Makes a workbook of ROWS rows (make_large.py) and the result of one uninterrupted edit of it (a column
inserted before C of its sheet and ROWS result cells written, xlsx_edit --rows), and checks that the
office opens both. Then, TRIALS times, on a fresh copy of the workbook: starts the same edit, kills it
with SIGKILL after a random time (half the trials anywhere in the write, half in its last fifth, where
the new file is written and renamed), and checks that the workbook is byte for byte the original or
the complete new one; then writes again into the folder and checks that no temporary file of ours
(.pellucor-*) is left. Prints one line per trial and a summary. Needs /usr/bin/python3 with
python3-uno (the office check); the user's own office is never touched.
"""
import argparse
import glob
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def edit(tool, path, rows):
    return [tool, path, "1", "3", "1", "--rows", str(rows)]


def temporaries(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, ".pellucor-*")))


def opens_in_office(paths):
    sys.path.insert(0, HERE)
    from office import Office  # python3-uno
    with Office() as office:
        for path in paths:
            document = office.load(path)
            rows = document.Sheets.getByIndex(0).createCursor()
            rows.gotoEndOfUsedArea(False)
            print("  %s opens in the office: %d rows, %d columns" % (
                os.path.basename(path), rows.RangeAddress.EndRow + 1, rows.RangeAddress.EndColumn + 1))
            document.close(True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--rows", type=int, default=200000)
    parser.add_argument("--trials", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="xlsx-crash-")
    original, new = os.path.join(work, "original.xlsx"), os.path.join(work, "new.xlsx")
    subprocess.run([sys.executable, os.path.join(HERE, "make_large.py"), original, str(args.rows)], check=True)
    shutil.copy(original, new)
    start = time.monotonic()
    subprocess.run(edit(args.tool, new, args.rows), check=True, stdout=subprocess.DEVNULL)
    duration = time.monotonic() - start
    print("%d rows: the write takes %.2f s" % (args.rows, duration))
    opens_in_office([original, new])
    before, after = digest(original), digest(new)
    folder = os.path.join(work, "trial")
    os.makedirs(folder)
    outcomes = {"original": 0, "new": 0, "other": 0}
    left = 0
    for trial in range(args.trials):
        book = os.path.join(folder, "book.xlsx")
        shutil.copy(original, book)
        delay = rng.uniform(0, duration) if trial % 2 == 0 else rng.uniform(0.8 * duration, 1.05 * duration)
        process = subprocess.Popen(edit(args.tool, book, args.rows), stdout=subprocess.DEVNULL)
        time.sleep(delay)
        process.send_signal(signal.SIGKILL)
        process.wait()
        state = {before: "original", after: "new"}.get(digest(book), "other")
        outcomes[state] += 1
        stale = temporaries(folder)
        left += bool(stale)
        shutil.copy(original, book)
        subprocess.run(edit(args.tool, book, args.rows), check=True, stdout=subprocess.DEVNULL)
        remaining = temporaries(folder)
        print("trial %3d: killed after %.2f s: %s; temporary files left: %s; after the next write: %s" % (
            trial + 1, delay, state, ", ".join(stale) or "none", ", ".join(remaining) or "none"))
        if state == "other" or remaining:
            print("FAILED: the workbook is neither the original nor the new one, or a temporary file stayed")
            return 1
    print("%d trials: the workbook was the original %d times and the complete new one %d times, never anything "
          "else; %d kills left a temporary file, every one removed by the next write" % (
              args.trials, outcomes["original"], outcomes["new"], left))
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
