"""The journal under stress: two runs at once, a torn line, a run killed between the records of one
entry or stopped by a signal, and runs that look alike. Each case ends with every run undone and
every file as before but for its stamp lines.
"""

import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import time
import unittest
from pathlib import Path

from peers import BINARY_DIR, Sandbox, content_lines
from test_crash import crash_test

RUN_ID = re.compile(r"^\d{8}T\d{6}\.\d{3}Z-\d+$")


class JournalTest(Sandbox):
    def setUp(self):
        super().setUp()
        # What `runs` and `undo` look in: every store a test makes runs over.
        self.stores = ["--store", str(self.store)]

    def runs(self):
        _, out, err = self.tidewell(*self.stores, "runs", status=0)
        return [line.split("\t") for line in out.splitlines()], err

    def undo_all(self):
        """Bare undos until none is left; each must restore all it names."""
        for _ in range(20):
            status, out, err = self.tidewell(*self.stores, "undo", "--yes")
            if status == 2:
                self.assertIn("The journal holds no run to undo.", err)
                return
            self.assertEqual(status, 0, out + err)
            self.assertRegex(out, r"skipped 0\.\n$")
        self.fail("undo never ran out of runs")

    def big_store(self, name, contacts=300):
        store = self.root / name
        crash_test.make_store(store, contacts=contacts, events=20, tasks=20, seed=3)
        self.stores += ["--store", str(store)]
        return store

    def settings_home(self, name, store, search, replace):
        """A settings folder of its own for one of two runs that share the journal."""
        env = dict(self.env, XDG_CONFIG_HOME=str(self.root / name))
        tidewell = crash_test.Tidewell(BINARY_DIR / "tidewell", self.root / name, env)
        tidewell.env.update(XDG_STATE_HOME=self.env["XDG_STATE_HOME"],
                            XDG_CONFIG_HOME=str(self.root / name))
        crash_test.configure(tidewell, store, search, replace, 1)
        return tidewell.env

    def start(self, env, *args):
        return subprocess.Popen([str(BINARY_DIR / "tidewell"), "replace", "--yes", *args],
                                env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def test_two_runs_started_together_stay_apart_and_undo_whole(self):
        one = self.big_store("one")
        two = self.big_store("two")
        for setup, stores in (("one store", (one, one)), ("two stores", (one, two))):
            with self.subTest(setup=setup):
                before = {**self.snapshot(one), **self.snapshot(two)}
                envs = [self.settings_home(f"{setup}-a", stores[0], "e", "E"),
                        self.settings_home(f"{setup}-b", stores[1], "a", "4")]
                made = len(self.runs()[0])
                runs = [self.start(env) for env in envs]
                errs = [run.communicate(timeout=300)[1] for run in runs]
                self.assertEqual([run.returncode for run in runs], [0, 0], errs)
                listed, err = self.runs()
                self.assertEqual(err, "")
                self.assertEqual(len(listed), made + 2)
                self.assertEqual({run[2] for run in listed[:2]}, {
                    "Looking for 'e' replacing with 'E'; Case sensitive: 1",
                    "Looking for 'a' replacing with '4'; Case sensitive: 1"})
                self.assertTrue(all(RUN_ID.match(run[0]) and "incomplete" not in run[3]
                                    for run in listed))
                self.assertNotEqual({**self.snapshot(one), **self.snapshot(two)}, before)
                self.undo_all()
                self.assert_as_before(before)

    def test_a_second_run_waits_for_the_lock_or_gives_up_and_a_torn_line_swallows_no_run(self):
        self.prepare("--select-all", search="e", replace="E", case="1")
        before = self.snapshot()
        self.state.mkdir(parents=True)
        (self.state / "activity.jsonl").write_text('{"time":"2026-12-06T19:44:17.884Z')
        with open(self.state / "activity.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            lock.write(f"{os.getpid()}\n")
            lock.flush()
            status, out, err = self.tidewell("replace", "--yes", "--no-wait")
            self.assertEqual((status, out), (2, ""))
            self.assertEqual(err, f"tidewell: Another Tidewell run (pid {os.getpid()}) is in "
                                  "progress.\n")
            waiting = self.start(self.env)
            time.sleep(1)
            self.assertIsNone(waiting.poll())
            self.assertEqual(self.snapshot(), before)
        out, err = waiting.communicate(timeout=120)
        self.assertEqual(waiting.returncode, 0, err)
        self.assertEqual(err, f"Waiting for another Tidewell run (pid {os.getpid()}) to "
                              "finish...\n")
        # The run after the torn last line is whole.
        listed, err = self.runs()
        self.assertEqual(len(listed), 1)
        self.assertIn("1 line was cut off", err)
        self.assertNotIn("skipped", err)
        # The lock of a process that is gone never blocks.
        dead = subprocess.Popen(["sleep", "0"])
        dead.wait()
        (self.state / "activity.lock").write_text(f"{dead.pid}\n")
        self.undo_all()
        self.assert_as_before(before)
        self.assertEqual(len(self.runs()[0]), 2)

    def test_an_entry_cut_short_is_skipped_by_name_unless_its_item_was_never_saved(self):
        self.prepare("--select-all", search="e", replace="E", case="1")
        before = self.snapshot()
        self.tidewell_ok("replace", "--yes")
        ran, state = self.snapshot(), self.root / "ran-state"
        shutil.copytree(self.state, state)
        lines = (state / "activity.jsonl").read_bytes().splitlines(keepends=True)
        last = max(i for i, line in enumerate(lines) if b'"FieldValue: ' in line)
        item, field, old = (json.loads(lines[at])["message"].split(": ", 1)[1]
                            for at in (last - 2, last - 1, last))
        path = self.store / item
        # As a kill leaves it: the last entry stops after its third record, its item never
        # saved; or the item was saved and the entry's last line is torn.
        for saved, kept in ((False, lines[:last - 1]),
                            (True, lines[:last] + [lines[last][:len(lines[last]) // 2]])):
            with self.subTest(saved=saved):
                for p, data in ran.items():
                    p.write_bytes(data)
                shutil.rmtree(self.state)
                shutil.copytree(state, self.state)
                (self.state / "activity.jsonl").write_bytes(b"".join(kept))
                # A killed run never indexes itself; an index that knew its lines would
                # call the cut a damaged history.
                (self.state / "activity.index").unlink()
                if not saved:
                    path.write_bytes(before[path])
                    stamp = time.time() - 3600 * 24
                    os.utime(path, (stamp, stamp))
                status, out, err = self.tidewell("undo", "--yes")
                if not saved:
                    self.assertEqual((status, out.endswith("skipped 0.\n")), (0, True), out + err)
                    self.assert_as_before(before)
                    continue
                self.assertEqual(status, 1, err)
                self.assertIn("1 line was cut off", err)
                self.assertEqual(out.splitlines()[1:], [
                    f"{field} of {item}: its journal entry is incomplete (4 of 5 records)"])
                # Only the cut entry's field still holds what the run wrote (in each line that
                # shows it: an address keeps its label in step).
                spelt = old.replace("\\", "\\\\").replace("\n", "\\n")
                written, old_bytes = spelt.replace("e", "E").encode(), spelt.encode()
                original = content_lines(before[path])
                left = [line for line in content_lines(path.read_bytes()) if line not in original]
                self.assertTrue(left)
                for name, value in left:
                    self.assertIn(written, value)
                    self.assertIn((name, value.replace(written, old_bytes)), original)
                self.assert_as_before({p: data for p, data in before.items() if p != path})

    def test_identical_runs_over_different_folders_are_two_runs(self):
        self.prepare("--select-all", "--appointments", "all", search="e", replace="E", case="1")
        before = self.snapshot()
        # What saves cut off by a kill left: the run removes it, and only it.
        dead = subprocess.Popen(["sleep", "0"])
        dead.wait()
        contacts = self.store / "contacts"
        names = {f".a.vcf.{dead.pid}-0.tmp": False, f".b.vcf.{os.getpid()}-3.tmp": True,
                 ".notes.tmp": True, f"c.vcf.{dead.pid}-0.tmp": True}
        for name in names:
            (contacts / name).write_text("x")
            os.utime(contacts / name, (1, 1))
        self.tidewell_ok("replace", "--yes")
        self.assertEqual({name: (contacts / name).exists() for name in names}, names)
        contacts_done = self.snapshot()
        self.tidewell_ok("set", "--folder", "calendar")
        self.tidewell_ok("replace", "--yes")
        listed, _ = self.runs()
        self.assertEqual(len(listed), 2)
        self.assertEqual(listed[0][2], listed[1][2])
        shown = self.tidewell_ok("runs", "--show", listed[0][0]).splitlines()
        self.assertTrue(shown)
        for line in shown:
            folder, _, _, old, new = line.split("\t")
            # A body is listed as the text a reader sees, not as its RTF.
            self.assertEqual((folder, new), ("Calendar", old.replace("e", "E")), line)
            self.assertNotIn("\\rtf", old + new)
            self.assertNotEqual(old, new)
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(contacts_done)
        self.undo_all()
        self.assert_as_before(before)

    def test_a_signal_stops_the_run_after_an_item_and_undo_takes_it_back(self):
        store = self.big_store("signalled", contacts=3000)
        for signo, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(signal=signo.name):
                env = self.settings_home(f"settings-{signo.name}", store, "e", "E")
                before = self.snapshot(store)
                journal = self.state / "activity.jsonl"
                start = journal.stat().st_size if journal.exists() else 0
                run = self.start(env)
                while run.poll() is None and (
                        not journal.exists() or journal.stat().st_size < start + 200_000):
                    time.sleep(0.01)
                run.send_signal(signo)
                out, err = run.communicate(timeout=120)
                self.assertEqual(run.returncode, status, err)
                # Notes of the items read come first; the stop is the last word.
                stopped = re.search(r"^Stopped after (\d+) items; `tidewell undo` takes this run "
                                    r"back\.\n\Z", err, re.MULTILINE)
                self.assertTrue(stopped, err)
                # Every item the run journalled it saved: the stop falls between items. (An
                # event and its override share a file, so files are no count of items.)
                run_id = self.log()[-1]["run"]
                saved = {r["message"] for r in self.log()
                         if r["undo"] and r["run"] == run_id and r["message"].startswith("ItemEntryId: ")}
                self.assertEqual(len(saved), int(stopped.group(1)))
                changed = sum(p.read_bytes() != data for p, data in before.items())
                self.assertTrue(0 < changed <= len(saved) < 3000, (changed, len(saved)))
                self.undo_all()
                self.assert_as_before(before)

    def test_a_full_journal_disk_ends_the_run_at_the_first_save_without_its_records(self):
        store = self.big_store("full", contacts=300)
        state = self.root / "state"
        state.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", str(state)],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest(f"no small file system for the journal: {mounted.stderr.strip()}")
        self.addCleanup(subprocess.run, ["umount", str(state)], check=True)
        before = self.snapshot(store)
        _, out, err = self.tidewell(
            "--store", str(store), "replace", "--yes", "--search", "e", "--replace", "E",
            "--case", "--fields", "all", "--folder", "contacts", "--folder", "calendar",
            "--folder", "tasks", status=1)
        # The journal's own reports come first; the refused save ends the run, its item as it
        # was: the report is the last word and names it in the heading before it.
        self.assertRegex(err, r"Tidewell\.UndoSave: .*No space left on device\n")
        refused = re.search(r"^Item \S+ \((.+)\):\nTidewell\.cmdConvert: Error occurred\.  "
                            r"LastLineNumber: \d+  Folder: \w+  (?:Contact: .*  )?Reason: The undo "
                            r"journal could not be written \(No space left on device\); the item "
                            r"was left as it was\.\n\Z", err, re.MULTILINE)
        self.assertTrue(refused, err[-2000:])
        self.assertEqual(err.count("Tidewell.cmdConvert"), 1)
        path = Path(refused.group(1))
        self.assertEqual(path.read_bytes(), before[path])
        subprocess.run(["mount", "-o", "remount,size=64m", str(state)], check=True)
        status, out, err = self.tidewell("--store", str(store), "undo", "--yes")
        self.assertIn(status, (0, 1), out + err)
        self.assert_as_before(before)


if __name__ == "__main__":
    unittest.main()
