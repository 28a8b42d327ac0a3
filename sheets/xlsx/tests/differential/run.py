"""The differential test of the in-place writer against the office.

run.py XLSX_DIFFERENTIAL_EDIT WORK FIRST_SEED COUNT [--jobs N] [--far-rows] [--keep]

Makes COUNT packages from FIRST_SEED on (packages.py), has each edited by the in-place writer and by
the office (XLSX_DIFFERENTIAL_EDIT), and compares both results as openpyxl reads them (snapshot.py).
A case passes when both wrote and read the same, when the writer left the package to the office's
store where that was expected, or when neither could make the edit. Prints every other case with
its differences, then a summary of what ran and what fell back and why; exits 1 when a case failed.
WORK is emptied first; with --keep the packages and results stay in it. --jobs: offices working side
by side (2); --far-rows: packages with cells in the last row too (slow: the office's store walks every row).
"""
import collections
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import packages  # noqa: E402
import snapshot  # noqa: E402
import known  # noqa: E402


def judge(work, line, edit):
    name, expected, ours, ours_detail, theirs, theirs_detail = line.rstrip("\n").split("\t")
    if ours == "written" and theirs == "stored":
        mine = known.normalised(snapshot.snapshot(os.path.join(work, "ours-" + name)), edit, False)
        office = known.normalised(snapshot.snapshot(os.path.join(work, "theirs-" + name + ".office")), edit, True)
        notes = known.adjust(mine, office, snapshot.snapshot(os.path.join(work, "corpus", name)), edit)
        diff = snapshot.differences(mine, office)
        return ("different", diff) if diff else ("equal", notes)
    if ours == "fallback" and theirs == "stored":
        return ("fallback" if expected == "fallback" else "unexpected fallback"), [ours_detail]
    if ours != "written" and theirs == "failure" and expected != "write":
        return "both refused", []
    return "%s, office %s" % (ours, theirs), [ours_detail, theirs_detail]


def option(name, default):
    return int(sys.argv[sys.argv.index(name) + 1]) if name in sys.argv else default


def edited(edit, work, corpus, lines, jobs):
    """The results of the edits, made by `jobs` offices side by side."""
    chunks = [lines[i::jobs] for i in range(jobs)]
    runs = []
    for i, chunk in enumerate(chunks):
        cases = os.path.join(corpus, "cases-%d.tsv" % i)
        with open(cases, "w", encoding="utf-8") as out:
            out.write("".join(line + "\n" for line in chunk))
        runs.append(subprocess.Popen([edit, cases, work], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True))
    results = [line for run in runs for line in run.communicate()[0].splitlines()]
    with open(os.path.join(work, "results.tsv"), "w", encoding="utf-8") as out:
        out.write("".join(line + "\n" for line in results))
    return results


def edit_of(case_line):
    fields = case_line.split("\t")
    width = int(fields[7])
    return {"sheet": fields[3], "at": int(fields[4]), "count": int(fields[5]), "first": int(fields[6]),
            "width": width, "rows": (len(fields) - 8) // width if width else 0}


def office_major():
    """The installed LibreOffice's major version, from its Debian package."""
    try:
        version = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "libreoffice-calc"],
                                 capture_output=True, text=True).stdout
        return int(version.split(":")[-1].split(".")[0])
    except (OSError, ValueError):
        return 0


def main():
    if office_major() not in (0, 7):
        # What the office is known to do otherwise than Excel (known.py) was established on 7.4.
        print("skipped: the comparison is made for LibreOffice 7; this office is %d" % office_major())
        return 77
    edit, work, first, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    shutil.rmtree(work, ignore_errors=True)
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus)
    edits, lines = {}, []
    for seed in range(first, first + count):
        lines.append(packages.write(corpus, seed, "--far-rows" in sys.argv))
        edits[lines[-1].split("\t")[0]] = edit_of(lines[-1])
    with open(os.path.join(corpus, "cases.tsv"), "w", encoding="utf-8") as out:
        out.write("".join(line + "\n" for line in lines))
    results = edited(edit, work, corpus, lines, option("--jobs", 2))
    outcomes, reasons, failed, office_wrong = collections.Counter(), collections.Counter(), 0, []
    for line in results:
        verdict, details = judge(work, line, edits[line.split("\t")[0]])
        outcomes[verdict] += 1
        if verdict == "fallback":
            reasons[details[0].split(" (")[0]] += 1
        elif verdict == "equal" and details:
            office_wrong.append("%s: %s" % (line.split("\t")[0], details[0]))
        elif verdict not in ("equal", "both refused"):
            failed += 1
            print("%s: %s" % (line.split("\t")[0], verdict))
            for d in details:
                print("  " + d)
    print("%d cases from seed %d: %s" % (len(results), first, ", ".join("%d %s" % (n, v) for v, n in outcomes.most_common())))
    for reason, n in reasons.most_common():
        print("  fell back %d: %s" % (n, reason))
    if office_wrong:
        print("  the office moved formulas otherwise than Excel in %d of the equal cases, e.g. %s" % (
            len(office_wrong), office_wrong[0]))
    if "--keep" not in sys.argv:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed or len(results) != count else 0


if __name__ == "__main__":
    sys.exit(main())
