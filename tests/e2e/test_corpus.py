"""The corpus (real files of many programs) after runs over it: vobject still reads every file it
read before, and khard, khal and todoman list each changed value as the run wrote it."""

import json
import logging
import shutil
import unittest

import vobject

from peers import CORPUS_DIR, Sandbox

# vobject logs each time zone it does not know as an error.
logging.getLogger().setLevel(logging.CRITICAL)

# Characters a text value must escape, and one beyond ASCII.
SUFFIX = " ~edited, \u00fc; ok"
TASK = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//x//y//EN\nBEGIN:VTODO\n{}END:VTODO\nEND:VCALENDAR\n"


class CorpusTest(Sandbox):
    def setUp(self):
        super().setUp()
        self.corpus = self.root / "corpus"
        for path in CORPUS_DIR.rglob("*"):
            if path.suffix in (".vcf", ".ics"):
                (self.corpus / path.stem).mkdir(parents=True)
                shutil.copyfile(path, self.corpus / path.stem / path.name)

    def vobject_reads(self):
        read = set()
        for path in self.corpus.glob("*/*"):
            try:
                with open(path, encoding="utf-8", newline="") as data:
                    list(vobject.readComponents(data))
                read.add(path)
            except Exception:
                pass
        return read

    def listed(self, *args, separator="\t", skip=0):
        """The rows a peer lists, split at `separator`, sorted."""
        out, _ = self.run_peer(*args)
        return sorted(tuple(line.split(separator)) for line in out.splitlines()[skip:])

    def assert_listed_with_suffix(self, before, after, column, at_least):
        unsuffixed = sorted(row[:column] + (row[column].removesuffix(SUFFIX),) + row[column + 1:]
                            for row in after)
        self.assertEqual(unsuffixed, before)
        self.assertGreaterEqual(sum(row[column].endswith(SUFFIX) for row in after), at_least)

    def test_peers_read_every_file_with_the_values_the_run_wrote(self):
        read = self.vobject_reads()
        self.assertGreater(len(read), len(list(self.corpus.glob("*/*"))) / 2)
        # khard gives up on a book at the first file that vobject cannot read.
        self.configure("khard/khard.conf", "[addressbooks]\n" + "".join(
            f"[[{p.parent.name}]]\npath = {p.parent}\n" for p in read if p.suffix == ".vcf"))
        self.configure("khal/config", "[calendars]\n" + "".join(
            f"[[{p.parent.name}]]\npath = {p.parent}\ntype = calendar\n"
            for p in self.corpus.glob("*/*.ics"))
            + "[locale]\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n")
        emails = ("khard", "email", "--parsable")
        titles = ("khal", "list", "--format", "{calendar}@@{title}", "--day-format", "",
                  "1970-01-01", "2040-12-31")
        emails_before = self.listed(*emails, skip=1)
        titles_before = self.listed(*titles, separator="@@")

        # Three files no program reads are refused, each alone.
        self.tidewell("--store", str(self.corpus), "replace", "--yes", "--regex", "--search",
                      "^(.+)$", "--replace", "$1" + SUFFIX, "--folder", "all", "--fields",
                      "EmailAddress,Email2Address,Email3Address,AppointmentSubject", status=3)
        self.assertLessEqual(read, self.vobject_reads())
        self.assert_listed_with_suffix(emails_before, self.listed(*emails, skip=1), 0, 5)
        self.assert_listed_with_suffix(titles_before, self.listed(*titles, separator="@@"), 1, 30)

    def test_todoman_reads_each_new_summary_and_due_time(self):
        tasks = self.root / "tasks"
        (tasks / "date").mkdir(parents=True)
        shutil.copyfile(CORPUS_DIR / "vobject" / "vobject-vtodo.ics", tasks / "date" / "t.ics")
        for folder, lines in (("utc", "UID:utc-1\nDTSTAMP:20240101T000000Z\nSUMMARY:Pay the rent\n"
                                      "DUE:20240301T150000Z\n"),
                              ("zoned", "UID:zoned-1\nSUMMARY:Call Berlin\n"
                                        "DUE;TZID=Europe/Berlin:20240301T170000\n")):
            (tasks / folder).mkdir()
            (tasks / folder / "t.ics").write_text(TASK.format(lines))
        store = ("--store", str(tasks), "replace", "--yes", "--fields")
        self.tidewell_ok(*store, "TaskSubject", "--folder", "all", "--regex", "--search", "^(.+)$",
                         "--replace", "$1" + SUFFIX)
        # The due times as shown (in the zone they name), each moved, and the seconds todoman
        # must read back.
        for folder, old, new, seconds in (("date", "2007-05-01", "2007-05-08", 1178582400),
                                          ("utc", "2024-03-01 15", "2024-03-02 15", 1709391600),
                                          ("zoned", "2024-03-01 17", "2024-03-01 18", 1709312400)):
            with self.subTest(folder):
                self.tidewell_ok(*store, "TaskDueDate", "--folder", folder, "--search", old,
                                 "--replace", new)
                out, _ = self.todoman(f"{tasks}/{folder}", "--porcelain", "list", "--status",
                                      "ANY")
                [task] = json.loads(out)
                self.assertTrue(task["summary"].endswith(SUFFIX), task)
                self.assertEqual(task["due"], seconds)


if __name__ == "__main__":
    unittest.main()
