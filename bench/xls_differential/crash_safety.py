"""Kills the .xls writer at random points of its work: crash_safety.py XLS_EDIT FILE [--trials N] [--seed S]

The file (copied; the original is only read) gets a column before C of sheet 1 and a result in
every row (xls_edit --rows). One uninterrupted run gives the complete new file; then each trial
starts the writer on a fresh copy and kills it (SIGKILL) after a random time up to 1.6 times one
run's length, so that some kills come after the file was replaced. Afterwards the copy must be the original or the complete new file, byte for byte.
Prints the count of each outcome and of the temporary files a killed writer left beside the copy.
"""
import glob
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def rows_of(path):
    import xlrd
    return xlrd.open_workbook(path, on_demand=True).sheet_by_index(0).nrows


def main():
    edit, source = sys.argv[1], sys.argv[2]
    trials = int(sys.argv[sys.argv.index("--trials") + 1]) if "--trials" in sys.argv else 120
    rng = random.Random(int(sys.argv[sys.argv.index("--seed") + 1]) if "--seed" in sys.argv else 1)
    work = tempfile.mkdtemp(prefix="xls-crash-")
    target = os.path.join(work, "book.xls")
    command = [edit, target, "1", "3", "1", "--rows", str(rows_of(source))]
    original = open(source, "rb").read()
    shutil.copy(source, target)
    start = time.monotonic()
    subprocess.run(command, check=True, capture_output=True)
    length = time.monotonic() - start
    complete = open(target, "rb").read()
    outcomes = {"original": 0, "new": 0, "other": 0}
    leftovers = 0
    for _ in range(trials):
        shutil.copy(source, target)
        run = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, length * 1.6))
        run.send_signal(signal.SIGKILL)
        run.wait()
        now = open(target, "rb").read()
        outcomes["original" if now == original else "new" if now == complete else "other"] += 1
        for stale in glob.glob(os.path.join(work, ".pellucor-*")):
            leftovers += 1
            os.remove(stale)
    shutil.rmtree(work, ignore_errors=True)
    print("one run %.2f s; %d trials: %d original, %d complete new file, %d other; %d temporary files left" %
          (length, trials, outcomes["original"], outcomes["new"], outcomes["other"], leftovers))
    sys.exit(1 if outcomes["other"] else 0)


if __name__ == "__main__":
    main()
