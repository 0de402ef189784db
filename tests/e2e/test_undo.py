"""Undo end to end: a replace over a copy of the demo store or of the corpus, then `runs` and
`undo` read the journal back. The store writes each changed line in the form it had (folding,
escapes, quoted-printable), so after a run and its undo every file is byte for byte as before but
for its REV, LAST-MODIFIED and DTSTAMP lines.
"""

import json
import os
import re
import shutil
import unittest
from pathlib import Path

import vobject

from peers import AREA_CODES, SOURCE_DIR, Sandbox

CORPUS_DIR = Path(os.environ.get("TIDEWELL_CORPUS_DIR") or SOURCE_DIR / "tests" / "data" / "corpus")
STAMP = re.compile(rb"(REV|LAST-MODIFIED|DTSTAMP)[;:]", re.IGNORECASE)
# A new time is a new revision of an event or task: SEQUENCE counts it, undone or not.
REVISION = re.compile(rb"(REV|LAST-MODIFIED|DTSTAMP|SEQUENCE)[;:]", re.IGNORECASE)
SERIES = re.compile(rb"^(RRULE|RDATE|EXDATE|RECURRENCE-ID)[;:]", re.MULTILINE)
# Escapes that only spell a character another way; "\;" and "\n" keep their meaning.
SPELLING = re.compile(rb"\\([\\,:])")


def without_stamps(data):
    return [line for line in data.splitlines(keepends=True) if not STAMP.match(line)]


def content_lines(data):
    """The unfolded content lines but stamps and blanks, as (name and parameters, value)."""
    lines = []
    for physical in (line.rstrip(b"\r") for line in data.split(b"\n")):
        if lines and physical[:1] in (b" ", b"\t"):
            lines[-1] += physical[1:]
        elif lines and lines[-1].endswith(b"=") and b"QUOTED-PRINTABLE" in lines[-1].upper():
            lines[-1] = lines[-1][:-1] + physical
        else:
            lines.append(physical)
    read = []
    for line in lines:
        if STAMP.match(line) or not line.strip():
            continue
        quoted = False
        for at, byte in enumerate(line):
            if byte == ord('"'):
                quoted = not quoted
            elif byte == ord(":") and not quoted:
                read.append((line[:at], SPELLING.sub(rb"\1", line[at + 1:])))
                break
        else:
            read.append((line, b""))
    return read


class UndoTest(Sandbox):
    def run_everywhere(self, *folders, search="e", replace="E", store=None):
        """Every field selected, case sensitive, and one run over `folders`: (status, out, err)."""
        self.prepare("--select-all", "--appointments", "all", "--tasks", "all", search=search,
                     replace=replace, case="1", folders=folders, store=store)
        return self.tidewell("replace", "--yes")

    def replace_everywhere(self, *folders, **settings):
        """run_everywhere, which must handle every item; returns its stdout."""
        status, out, err = self.run_everywhere(*folders, **settings)
        self.assertEqual(status, 0, out + err)
        return out

    def assert_as_before(self, before):
        """Every file holds the bytes it held before but for its stamp lines."""
        for path, data in before.items():
            with self.subTest(file=path.name):
                self.assertEqual(without_stamps(path.read_bytes()), without_stamps(data))

    def undo_records(self):
        return [r for r in self.log() if r["undo"]]

    def test_undo_restores_the_demo_store_and_undoing_the_undo_gives_back_the_run(self):
        before = self.snapshot()
        summary = self.replace_everywhere("contacts", "calendar", "tasks")
        result = self.snapshot()
        items = int(re.search(r"Updated (\d+) items", summary).group(1))
        names = {r["message"][len("FieldName: "):] for r in self.undo_records()
                 if r["message"].startswith("FieldName: ")}
        self.assertTrue({"Body", "CompanyName", "Email1Address", "BusinessAddressStreet",
                         "Subject", "Location", "Companies", "Mileage"} <= names, names)
        fields = len(self.undo_records()) // 5

        run_id, time, what, count = self.tidewell_ok("runs").rstrip("\n").split("\t")
        self.assertRegex(run_id, r"^\d{8}T\d{6}\.\d{3}Z-\d+$")
        self.assertEqual((what, count), (
            "Looking for 'e' replacing with 'E'; Case sensitive: 1",
            f"{fields} fields in {items} items"))

        restored = f"Restored {fields} fields in {items} items; skipped 0.\n"
        status, out, err = self.tidewell("undo", "--yes")
        self.assertEqual((status, out), (0, restored), err)
        self.assert_as_before(before)

        newest, undone = [line.split("\t") for line in self.tidewell("runs")[1].splitlines()]
        self.assertEqual(newest[2:], [f"Undo of the run of {time}", count])
        self.assertEqual(undone, [run_id, time, what, count + ", undone"])
        status, out, err = self.tidewell("undo", newest[0], "--yes")
        self.assertEqual((status, out), (0, restored), err)
        self.assert_as_before(result)

    def test_undo_restores_the_corpus_and_leaves_unreadable_files_alone(self):
        store = self.root / "corpus-store"
        folder = store / "corpus"
        folder.mkdir(parents=True)
        for path in sorted(CORPUS_DIR.rglob("*")):
            if path.suffix in (".vcf", ".ics"):
                shutil.copyfile(path, folder / path.name)
        before = self.snapshot(store)
        status, _, err = self.run_everywhere("corpus", store=store)
        refused = {Path(m.group(1)).name for r in self.log("errors.jsonl")
                   if (m := re.search(r"Cannot read (\S+):", r["message"]))}
        self.assertEqual(status, 3, err)
        self.assertTrue(err.endswith(f"\n{len(refused)} items could not be changed; see the "
                                     "reports above.\n"), err)
        changed = sum(p.read_bytes() != data for p, data in before.items())

        out = self.tidewell_ok("undo", "--yes")
        self.assertRegex(out, r"^Restored \d+ fields in \d+ items; skipped 0\.\n$")
        self.assert_as_before(before)
        self.assertTrue(refused)
        for name in refused:
            self.assertEqual((folder / name).read_bytes(), before[folder / name], name)
        print(f"\ncorpus: {len(before)} files, {len(refused)} refused by the store, {changed} "
              "changed by the run, all as before byte for byte")

    maxDiff = None

    def khal_reads(self, folder):
        """The UIDs khal lists from `folder`, and what it says about files it cannot read."""
        out, err = self.khal(folder, "list", "--once", "--format", "{uid}", "--day-format", "",
                             "1900-01-01", "2040-12-31")
        return {line for line in out.splitlines() if line.strip()}, self.peer_complaints(err)

    def test_a_date_run_moves_whole_series_that_khal_still_reads_and_undo_moves_them_back(self):
        store = self.root / "series-store"
        folder = store / "series"
        shutil.copytree(self.store / "calendar", folder)
        for path in sorted((CORPUS_DIR / "khal").glob("*.ics")):
            if SERIES.search(path.read_bytes()):
                shutil.copyfile(path, folder / path.name)
        # Series khal already refuses are no measure of what a run keeps.
        _, complaints = self.khal_reads(folder)
        for path in list(folder.iterdir()):
            if any(path.name in line for line in complaints):
                path.unlink()
        read, complaints = self.khal_reads(folder)
        before = self.snapshot(store)
        self.assertGreater(sum(bool(SERIES.search(data)) for data in before.values()), 10)

        for search, replace in (("2026-", "2027-"), ("2014-", "2015-")):
            self.prepare("--clear-all", "--appointments", "all", "--tasks", "all", search=search,
                         replace=replace, case="1", folders=("series",), store=store)
            self.tidewell_ok("replace", "--yes")
            now_read, now_complaints = self.khal_reads(folder)
            self.assertEqual(now_read, read, search)
            # A year later a weekly series starts on another weekday: an exclusion moved with
            # it may name no occurrence, which khal notes and reads on.
            self.assertEqual([c for c in now_complaints if c not in complaints
                              and not re.search(r"excluded instance .* not found", c)], [])
        for path, data in before.items():
            if path.read_bytes() != data:
                vobject.readOne(path.read_text(encoding="utf-8"))
        moved = (folder / "4b1f0d6e-93a2-4c57-8e0b-7d2c5a9f1e36.ics").read_bytes()
        for line in (b"RRULE:FREQ=WEEKLY;UNTIL=20270629T133000Z;BYDAY=MO",
                     b"EXDATE;TZID=America/New_York:20270525T093000",
                     b"RECURRENCE-ID;TZID=America/New_York:20270216T093000", b"SEQUENCE:4"):
            self.assertIn(line, moved)

        newest_first = [line.split("\t")[0] for line in self.tidewell_ok("runs").splitlines()]
        for run in newest_first:
            self.tidewell_ok("undo", run, "--yes")
        for path, data in before.items():
            with self.subTest(file=path.name):
                self.assertEqual([line for line in path.read_bytes().splitlines(keepends=True)
                                  if not REVISION.match(line)],
                                 [line for line in data.splitlines(keepends=True)
                                  if not REVISION.match(line)])
        self.assertEqual(self.khal_reads(folder), (read, complaints))

    def test_a_field_edited_elsewhere_is_skipped_and_keeps_its_value(self):
        before = self.snapshot()
        self.replace_everywhere("contacts")
        entry = [r["message"] for r in self.undo_records()]
        at = next(i for i in range(0, len(entry), 5) if entry[i + 3] == "FieldName: CompanyName")
        item = entry[at + 2][len("ItemEntryId: "):]
        path = self.store / item

        def edited(lines):
            return [(name, b"Edited Elsewhere Ltd")
                    if name.split(b";")[0].split(b".")[-1].upper() == b"ORG" else (name, value)
                    for name, value in lines]
        run_result = content_lines(path.read_bytes())
        self.assertNotEqual(edited(run_result), run_result)
        path.write_bytes(b"".join(name + b":" + value + b"\r\n"
                                  for name, value in edited(run_result)))
        fields = len(entry) // 5

        status, out, err = self.tidewell("undo", "--yes")
        self.assertEqual(status, 1, err)
        self.assertRegex(out.splitlines()[0], rf"^Restored {fields - 1} fields in \d+ items; "
                                              r"skipped 1\.$")
        self.assertEqual(out.splitlines()[1:], [f"CompanyName of {item}: changed since the run"])
        # The other program's value stays; every other field of the item is back.
        self.assertEqual(content_lines(path.read_bytes()), edited(content_lines(before.pop(path))))
        self.assert_as_before(before)

    def test_area_codes_come_back_whichever_phone_rule_is_set_now(self):
        before = self.snapshot()
        self.prepare("--clear-all", "--phone", "--special", AREA_CODES, search="555",
                     replace="777")
        self.tidewell_ok("replace", "--yes")
        self.tidewell_ok("fields", "--special", "None")
        self.assertNotEqual(self.snapshot(), before)
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)

    def test_a_journal_cut_by_a_crash_still_undoes_every_whole_entry(self):
        before = self.snapshot()
        self.replace_everywhere("contacts")
        journal = self.root / "state" / "Marrowby" / "activity.jsonl"
        lines = journal.read_bytes().splitlines(keepends=True)
        last = max(i for i, line in enumerate(lines) if b'"FieldValue: ' in line)
        journal.write_bytes(b"".join(lines[:last]) + lines[last][:len(lines[last]) // 2])
        cut = json.loads(lines[last - 2])["message"][len("ItemEntryId: "):]
        field = json.loads(lines[last - 1])["message"][len("FieldName: "):]
        old = json.loads(lines[last])["message"][len("FieldValue: "):]
        spelt = old.replace("\\", "\\\\").replace("\n", "\\n")
        written, old = spelt.replace("e", "E").encode(), spelt.encode()

        status, out, err = self.tidewell("undo", "--yes")
        self.assertEqual(status, 1, err)
        self.assertIn("1 line was cut off", err)
        self.assertEqual(out.splitlines()[1:],
                         [f"{field} of {cut}: its journal entry is incomplete (4 of 5 records)"])
        # Only the cut entry's field still holds what the run wrote (in each line that shows
        # it: an address keeps its label in step).
        path = self.store / cut
        original = content_lines(before[path])
        left = [line for line in content_lines(path.read_bytes()) if line not in original]
        self.assertTrue(left)
        for name, value in left:
            self.assertIn(written, value)
            self.assertIn((name, value.replace(written, old)), original)
        del before[path]
        self.assert_as_before(before)

    def test_naming_runs_and_refusing(self):
        status, _, err = self.tidewell("--store", str(self.store), "undo", "--yes")
        self.assertEqual(status, 2)
        self.assertIn("The journal holds no run to undo.", err)
        before = self.snapshot()
        self.replace_everywhere("tasks")
        self.replace_everywhere("calendar", search="a", replace="A")
        runs = [line.split("\t") for line in self.tidewell_ok("runs").splitlines()]
        self.assertEqual([run[2] for run in runs], [
            "Looking for 'a' replacing with 'A'; Case sensitive: 1",
            "Looking for 'e' replacing with 'E'; Case sensitive: 1"])
        after = self.snapshot()
        for command, stdin, status, message in [
                (["undo"], "n\n", 0, "Undo the run of " + runs[0][1]),
                (["undo", "3", "--yes"], "", 2, "Unknown run '3'"),
                (["undo", runs[0][1], "--yes"], "", 2, "Unknown run '" + runs[0][1] + "'"),
                (["undo", "1", "2"], "", 2, "takes no argument '2'")]:
            with self.subTest(command=command):
                got, out, err = self.tidewell(*command, stdin=stdin)
                self.assertEqual((got, out), (status, ""), err)
                self.assertIn(message, err)
                self.assertEqual(self.snapshot(), after)
        # By id, the older run first; then a bare undo takes the newest run not undone yet, and
        # no id changed meanwhile.
        for command in (["undo", runs[1][0], "--yes"], ["undo"]):
            status, out, err = self.tidewell(*command, stdin="y\n")
            self.assertEqual(status, 0, out + err)
        ids = [line.split("\t")[0] for line in self.tidewell_ok("runs").splitlines()]
        self.assertEqual(ids[2:], [runs[0][0], runs[1][0]])
        self.assertEqual(len(set(ids)), 4)
        status, _, err = self.tidewell("undo", "--yes")
        self.assertEqual(status, 2)
        self.assertIn("The journal holds no run to undo.", err)
        self.assert_as_before(before)


if __name__ == "__main__":
    unittest.main()
