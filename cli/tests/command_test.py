"""`pellucor run` and `pellucor undo` as a script uses them: the real program on workbooks made
here, its results read back by an independent reader (openpyxl)."""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import openpyxl

PROGRAM = sys.argv.pop(1)


def make_table(path, rows):
    book = openpyxl.Workbook()
    for row in rows:
        book.active.append(row)
    book.save(path)


def cells(path, column):
    sheet = openpyxl.load_workbook(path).worksheets[0]
    return [c.value for c in sheet[column]]


def contents(path):
    with open(path, "rb") as f:
        return f.read()


class Command(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pellucor-cli-")
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.dir, "data"))
        self.parent = self.path("parent.xlsx")
        make_table(self.parent, [[f"k{i}", i * 10] for i in range(1, 21)])

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def child(self, name, keys):
        make_table(self.path(name), [[k, "x"] for k in keys])
        return self.path(name)

    def pellucor(self, *args, env=None):
        return subprocess.run([PROGRAM, *args], capture_output=True, text=True, env=env or self.env, timeout=300)

    def lookup(self, *more):
        return self.pellucor("run", "--parent", self.parent, "--value", "B", *more)

    def test_a_folder_of_children_with_one_bad_file(self):
        folder = self.path("branches")
        os.mkdir(folder)
        shutil.move(self.parent, os.path.join(folder, "parent.xlsx"))
        self.parent = os.path.join(folder, "parent.xlsx")
        a = self.child("branches/a.xlsx", ["k2", "k5", "none", "K7"])
        b = self.child("branches/c.xlsx", ["k20"])
        bad = self.path("branches/b.xlsx")
        with open(bad, "wb") as f:
            f.write(b"no workbook")
        done = self.lookup("--child", folder, "--into-child-column", "C", "--json")
        self.assertEqual(done.returncode, 1, done.stderr)
        report = json.loads(done.stdout)
        self.assertEqual([os.path.basename(r["child"]) for r in report["runs"]], ["a.xlsx", "b.xlsx", "c.xlsx"])
        self.assertEqual([r["status"] for r in report["runs"]], ["done", "failed", "done"])
        self.assertEqual((report["finished"], report["failed"], report["notRun"]), (2, 1, 0))
        first = report["runs"][0]
        counts = first["counts"]
        self.assertEqual((counts["childRows"], counts["matched"], counts["keyNotInParent"]), (4, 2, 2))
        self.assertEqual(counts["nearMisses"]["examples"],
                         [{"childRow": 4, "parentRow": 7, "childKey": "K7", "parentKey": "k7", "differences": ["case"]}])
        self.assertEqual(first["destination"], {"file": "a.xlsx", "sheet": "1", "columns": "C"})
        self.assertEqual(len(first["backups"]), 1)
        self.assertEqual(cells(a, "C"), [20, 50, None, None])
        self.assertEqual(cells(a, "B"), ["x", "x", "x", "x"])
        self.assertEqual(cells(b, "C"), [200])
        self.assertEqual(contents(bad), b"no workbook")
        self.assertEqual(cells(self.parent, "B")[:2], [10, 20])

        # --stop-on-error leaves the children after the failing one alone
        before = contents(b)
        stopped = self.lookup("--child", bad, "--child", b, "--stop-on-error")
        self.assertEqual(stopped.returncode, 1)
        self.assertEqual(contents(b), before)
        self.assertIn("共 2 个子表：0 个完成，1 个失败，1 个未运行", stopped.stdout)

    def test_refused_before_anything_is_opened(self):
        child = self.child("child.xlsx", ["k1"])
        before = contents(child)
        for args, option in [
            (["--child", child, "--value", "9"], "--value"),
            (["--child", self.path("missing.xlsx")], "--child"),
            (["--child", child, "--into-workbook", self.path("missing.xlsx")], "--into-workbook"),
            (["--child", child, "--into-new-workbook", child.replace(".xlsx", "") + ".xlsx"], "--into-new-workbook"),
            (["--child", self.path("*.xls")], "--child"),
        ]:
            refused = self.pellucor("run", "--parent", self.parent, *args)
            self.assertEqual(refused.returncode, 2, args)
            self.assertIn(f"pellucor: {option}：", refused.stderr)
            self.assertIn(f"pellucor: {option}: ", refused.stderr)
            self.assertEqual(refused.stdout, "")
        self.assertEqual(contents(child), before)
        self.assertEqual(self.pellucor("--help").returncode, 0)

    def test_into_a_new_workbook_and_into_another(self):
        child = self.child("child.xlsx", ["k3", "k4"])
        before = contents(child)
        new = self.path("result.xlsx")
        done = self.lookup("--child", child, "--into-new-workbook", new, "--also-value", "A")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("操作完成", done.stdout)
        self.assertEqual((cells(new, "A"), cells(new, "B")), ([30, 40], ["k3", "k4"]))
        self.assertEqual(contents(child), before)

        third = self.path("third.xlsx")
        make_table(third, [["a", "b"]])
        done = self.lookup("--child", child, "--into-workbook", third, "--column", "B")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(cells(third, "B"), [30, 40])
        self.assertEqual(cells(third, "C"), ["b", None])

        # a run that fails leaves no new workbook behind
        failing = self.path("failing.xlsx")
        self.pellucor("run", "--parent", self.parent, "--child", child, "--parent-sheet", "5",
                      "--into-new-workbook", failing)
        self.assertFalse(os.path.exists(failing))

    def test_without_a_display_the_office_runs_headless(self):
        csv_parent = self.path("parent.csv")
        with open(csv_parent, "w") as f:
            f.write("".join(f"k{i},{i * 10}\n" for i in range(1, 21)))
        child = self.child("child.xlsx", ["k7", "k8"])
        env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        done = self.pellucor("run", "--parent", csv_parent, "--child", child, "--value", "B", env=env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(cells(child, "A"), [70, 80])

    def test_interrupt_stores_nothing(self):
        big = self.path("big.csv")
        with open(big, "w") as f:
            f.write("".join(f"k{i},{i}\n" for i in range(300000)))
        child = self.child("child.xlsx", ["k1"])
        before = contents(child)
        run = subprocess.Popen([PROGRAM, "run", "--parent", big, "--child", child, "--value", "B"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.env)
        time.sleep(1.5)
        run.send_signal(signal.SIGINT)
        out, err = run.communicate(timeout=120)
        self.assertEqual(run.returncode, 1, out + err)
        self.assertIn("已取消", out)
        self.assertEqual(contents(child), before)

    def test_sheets_by_name(self):
        book = openpyxl.Workbook()
        book.active.title = "说明"
        sheet = book.create_sheet("数据")
        for row in [["k2"], ["k9"]]:
            sheet.append(row)
        child = self.path("child.xlsx")
        book.save(child)
        done = self.lookup("--child", child, "--child-sheet", "数据", "--parent-sheet", "Sheet")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual([c.value for c in openpyxl.load_workbook(child)["数据"]["A"]], [20, 90])
        missing = self.lookup("--child", child, "--parent-sheet", "二月")
        self.assertEqual(missing.returncode, 2)
        self.assertIn("pellucor: --parent-sheet：没有名为“二月”的工作表", missing.stderr)
        other = self.lookup("--child", child, "--child-sheet", "二月")
        self.assertEqual(other.returncode, 1)
        self.assertIn("失败：没有名为“二月”的工作表", other.stdout)

    def test_undo(self):
        child = self.child("child.xlsx", ["k1"])
        before = contents(child)
        self.assertEqual(self.lookup("--child", child).returncode, 0)
        listed = self.pellucor("undo", "--list")
        self.assertEqual(listed.returncode, 0)
        self.assertIn("child.xlsx", listed.stdout)
        run_name = listed.stdout.split()[0]
        self.assertEqual(self.pellucor("undo", "no-such-run").returncode, 2)
        undone = self.pellucor("undo", run_name)
        self.assertEqual(undone.returncode, 0, undone.stdout + undone.stderr)
        self.assertEqual(contents(child), before)
        self.assertEqual(self.pellucor("undo", run_name).returncode, 1)


if __name__ == "__main__":
    unittest.main()
