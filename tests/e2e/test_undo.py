"""Undo end to end: a replace over a copy of the demo store or of the corpus, then `runs` and
`undo` read the journal back. The store writes each changed line in the form it had (folding,
escapes, quoted-printable), so after a run and its undo every file is byte for byte as before but
for its REV, LAST-MODIFIED and DTSTAMP lines.
"""

import re
import shutil
import unittest
from pathlib import Path

from peers import CORPUS_DIR, REVISION, Sandbox

SERIES = re.compile(rb"^(RRULE|RDATE|EXDATE|RECURRENCE-ID)[;:]", re.MULTILINE)


def calendar(*lines):
    return b"".join(line + b"\r\n" for line in (
        b"BEGIN:VCALENDAR", b"VERSION:2.0", b"PRODID:-//x//y//EN", b"BEGIN:VEVENT", b"UID:u-1",
        b"DTSTAMP:20240101T000000Z", b"DTSTART:20240301T090000Z", *lines, b"END:VEVENT",
        b"END:VCALENDAR"))


def card21(*lines):
    return b"".join(line + b"\r\n" for line in (
        b"BEGIN:VCARD", b"VERSION:2.1", b"N:M\xfcller;J\xfcrgen", b"FN:J\xfcrgen M\xfcller", *lines,
        b"REV:20240101T000000Z", b"END:VCARD"))


# Lines whose form a run must change: a file, the search and replacement, and bytes the run's
# file must hold, quoted-printable soft breaks aside (the form it keeps, or a character set switch).
FORMS = [
    ("latin1.vcf", card21(b"TEL;WORK;VOICE:+49 555 1234", b"ORG:B\xe4ckerei 555",
                          b"NOTE:Stra\xdfe 555"),
     "555", "\u20ac\u65e5", [b"FN:J\xfcrgen M\xfcller\r\n", b"ORG;CHARSET=UTF-8:"]),
    ("refold.ics", calendar(b"SUMMARY:Preseason Game #3.Packers at Jacksonville Jaguars.  State "
                            b"TV. Lo", b" ss-7-9."),
     "a", "\u00e4\u20ac", []),
    ("qp.ics", calendar(b"DESCRIPTION;ENCODING=QUOTED-PRINTABLE:First line=0ASecond word line=0A=",
                        b"Third=20line"),
     "word", "w\u00f6 rd", [b"DESCRIPTION;ENCODING=QUOTED-PRINTABLE:First line=0ASecond w=C3=B6 rd "
                            b"line=0AThird=20line"]),
    ("qp.vcf", card21(b"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Erste Zeile=0D=0A"
                      b"Stra=DFe=", b" und Zeile"),
     "Zeile", "Zeile\u20ac",
     [b"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Erste Zeile=E2=82=AC=0D=0AStra"]),
]


class UndoTest(Sandbox):
    def replace_everywhere(self, *folders, search="e", replace="E", store=None, status=0):
        """Every field selected, case sensitive, and one run over `folders`, which must end with
        `status`: its stdout and stderr."""
        self.prepare_every_field(search, replace, folders=folders, store=store)
        return self.tidewell("replace", "--yes", status=status)[1:]

    def undo_records(self):
        return [r for r in self.log() if r["undo"]]

    def test_undo_restores_the_demo_store_and_undoing_the_undo_gives_back_the_run(self):
        before = self.snapshot()
        summary, _ = self.replace_everywhere("contacts", "calendar", "tasks")
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
        self.assertEqual(self.tidewell_ok("undo", "--yes"), restored)
        self.assert_as_before(before)

        newest, undone = [line.split("\t") for line in self.tidewell("runs")[1].splitlines()]
        # The list shows local time (UTC here); the undo names the run by its journal time.
        self.assertRegex(newest[2], rf"^Undo of the run of {time[:19]}(\.\d+)?Z$")
        self.assertEqual(newest[3], count)
        self.assertEqual(undone, [run_id, time, what, count + ", undone"])
        self.assertEqual(self.tidewell_ok("undo", newest[0], "--yes"), restored)
        self.assert_as_before(result)

    def test_undo_restores_the_corpus_and_leaves_unreadable_files_alone(self):
        # A replacement of another length moves folds, and one Latin-1 cannot hold changes
        # character sets: both come back.
        for search, replace in (("e", "E"), ("a", "\u00e4\u20ac")):
            with self.subTest(search):
                store = self.root / ("corpus-store-" + search)
                folder = store / "corpus"
                folder.mkdir(parents=True)
                for path in sorted(CORPUS_DIR.rglob("*")):
                    if path.suffix in (".vcf", ".ics"):
                        shutil.copyfile(path, folder / path.name)
                before = self.snapshot(store)
                _, err = self.replace_everywhere("corpus", search=search, replace=replace,
                                                 store=store, status=3)
                refused = {Path(m.group(1)).name for r in self.log("errors.jsonl")
                           if (m := re.search(r"Cannot read (\S+):", r["message"]))}
                self.assertTrue(err.endswith(f"\n{len(refused)} items could not be changed; see "
                                             "the reports above.\n"), err)

                out = self.tidewell_ok("undo", "--yes")
                self.assertRegex(out, r"^Restored \d+ fields in \d+ items; skipped 0\.\n$")
                self.assert_as_before(before)
                self.assertTrue(refused)
                for name in refused:
                    self.assertEqual((folder / name).read_bytes(), before[folder / name], name)

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
        self.assertNotEqual(self.snapshot(store), before)

        newest_first = [line.split("\t")[0] for line in self.tidewell_ok("runs").splitlines()]
        for run in newest_first:
            self.tidewell_ok("undo", run, "--yes")
        self.assert_as_before(before, REVISION)
        self.assertEqual(self.khal_reads(folder), (read, complaints))

    def test_a_run_keeps_quoted_printable_and_its_undo_gives_back_each_line_as_it_was(self):
        for name, data, search, replace, kept in FORMS:
            with self.subTest(name):
                store = self.root / name
                (store / "f").mkdir(parents=True)
                (store / "f" / name).write_bytes(data)
                before = self.snapshot(store)
                self.replace_everywhere("f", search=search, replace=replace, store=store)
                changed = (store / "f" / name).read_bytes()
                self.assertNotEqual(changed, data)
                for part in kept:
                    self.assertIn(part, changed.replace(b"=\r\n", b""))
                self.tidewell_ok("undo", "--yes")
                self.assert_as_before(before)

    def test_naming_runs_and_refusing(self):
        before = self.snapshot()
        self.replace_everywhere("tasks")
        self.replace_everywhere("calendar", search="a", replace="A")
        runs = [line.split("\t") for line in self.tidewell_ok("runs").splitlines()]
        self.assertEqual([run[2] for run in runs], [
            "Looking for 'a' replacing with 'A'; Case sensitive: 1",
            "Looking for 'e' replacing with 'E'; Case sensitive: 1"])
        after = self.snapshot()
        for command, stdin, status, message in [
                # Local time in the list is UTC here, to the second.
                (["undo"], "n\n", 1, "Undo the run of " + runs[0][1][:19]),
                (["undo", "3", "--yes"], "", 2, "Unknown run '3'"),
                (["undo", runs[0][1], "--yes"], "", 2, "Unknown run '" + runs[0][1] + "'")]:
            with self.subTest(command=command):
                got, out, err = self.tidewell(*command, stdin=stdin)
                self.assertEqual((got, out), (status, ""), err)
                self.assertIn(message, err)
                self.assertEqual(self.snapshot(), after)
        # By id, the older run first; then a bare undo takes the newest run not undone yet, and
        # no id changed meanwhile.
        for command in (["undo", runs[1][0], "--yes"], ["undo"]):
            self.tidewell(*command, stdin="y\n", status=0)
        ids = [line.split("\t")[0] for line in self.tidewell_ok("runs").splitlines()]
        self.assertEqual(ids[2:], [runs[0][0], runs[1][0]])
        self.assertEqual(len(set(ids)), 4)
        self.assert_as_before(before)


if __name__ == "__main__":
    unittest.main()
