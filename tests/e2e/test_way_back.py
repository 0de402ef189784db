"""The way back: each case ends with every file as before, or the tool naming what it lost."""

import shutil
import subprocess

from peers import BINARY_DIR, Sandbox


class WayBackTest(Sandbox):
    def replace(self, *folders, search="e", replace="E", store=None):
        self.prepare_every_field(search, replace, folders=folders, store=store)
        return self.tidewell_ok("replace", "--yes")

    def runs(self):
        return [line.split("\t") for line in self.tidewell_ok("runs").splitlines()]

    def test_an_undo_killed_at_a_rename_is_finished_by_a_plain_undo(self):
        before = self.snapshot()
        self.replace("contacts", "calendar", "tasks")
        killed = subprocess.run(
            ["strace", "-f", "-o", "/dev/null", "-e", "inject=renameat:signal=KILL:when=10",
             str(BINARY_DIR / "tidewell"), "undo", "--yes"], env=self.env, capture_output=True)
        self.assertNotEqual(killed.returncode, 0)
        self.assertRegex(self.runs()[1][3], r", partly undone \(\d+ of \d+ fields\)$")
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)
        self.tidewell("undo", "--yes", status=2)

    def test_an_undo_opens_the_stores_of_its_run_whatever_store_is_named(self):
        before = self.snapshot()
        self.replace("contacts", search="555", replace="777", store=self.store / "contacts")
        moved = self.root / "moved"
        shutil.move(self.store / "contacts", moved)
        _, _, err = self.tidewell("--store", str(self.store), "undo", "--yes", status=1)
        self.assertIn(f"This run changed items in {self.store / 'contacts'}, which could not be "
                      f"opened: No such store: {self.store / 'contacts'}", err)
        shutil.move(moved, self.store / "contacts")
        self.tidewell_ok("--store", str(self.store), "undo", "--yes")
        self.assert_as_before(before)

    def test_runs_that_changed_nothing_or_could_not_change_an_item(self):
        before = self.snapshot()
        self.replace("contacts", search="555", replace="777")
        whole = self.runs()[0][3]
        # A run that changed nothing is never taken by a plain undo.
        self.replace("contacts", search="no such text", replace="x")
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)
        _, _, err = self.tidewell("undo", "--yes", status=2)
        self.assertEqual(err, "tidewell: The journal holds no run to undo.\n")
        # An item the run could not change is neither counted nor skipped.
        locked = next(p for p in self.items("contacts") if b"555" in p.read_bytes())
        locked.chmod(0o444)
        self.prepare("--select-all", search="555", replace="777", case="1")
        self.assertEqual(self.tidewell("replace", "--yes")[0], 3)
        self.assertNotEqual(self.runs()[0][3], whole)
        locked.chmod(0o644)
        locked.write_bytes(locked.read_bytes().replace(b"555", b"556"))
        self.assertEqual(self.tidewell_ok("undo", "--yes").count("\n"), 1)

    def test_a_damaged_history_is_named_by_runs_show_and_undo(self):
        self.configure("Marrowby/Marrowby.ini", "[Journal]\nSegmentBytes=1\n")
        for cut in ("half", "nul"):
            with self.subTest(cut=cut):
                self.replace("contacts", "calendar", search="5", replace="6")
                self.replace("tasks", search="no such text", replace="x")  # rotates the first
                run = self.runs()[1][0]
                segment = self.state / f"activity-{run}.jsonl"
                data = segment.read_bytes()
                middle = len(data) // 2
                segment.write_bytes(data[:middle] if cut == "half" else
                                    data[:middle] + b"\0" * 4096 + data[middle + 4096:])
                listed = [r for r in self.runs() if r[0] == run][0][3]
                self.assertRegex(listed, r"damaged \(\d+ records unreadable\)")
                for command, said in (("runs", 2), ("undo", 1)):
                    done = self.tidewell(command, *(("--show", run) if said == 2 else (run, "--yes")))
                    self.assertEqual(done[0], 3)
                    self.assertIn("records of this run could not be read", done[said])
