"""A newcomer's first commands on stores khard and khal name: none ends in a silent zero."""

import unittest

from peers import Sandbox

NO_FOLDER = "tidewell: No folder is chosen: name one with --folder (see 'tidewell folders').\n"
NO_FIELD = ("tidewell: No field is chosen yet: pass --fields, or save a selection with "
            "'tidewell fields'.\n")
NO_ANSWER = "No answer to the question (standard input is closed); pass --yes."
RUN = ["replace", "--search", "555", "--replace", "777"]
PHONES = ["--fields", "phone", "--area-codes-only"]


class FirstContactTest(Sandbox):
    def setUp(self):
        super().setUp()
        # vdirsyncer's layout, with khard naming the address book and khal the calendar.
        self.mirror = self.root / "home" / ".local" / "share" / "vdirsyncer"
        (self.mirror / "contacts").mkdir(parents=True)
        (self.mirror / "calendars").mkdir()
        self.store.joinpath("contacts").rename(self.mirror / "contacts" / "default")
        self.store.joinpath("calendar").rename(self.mirror / "calendars" / "personal")
        self.configure("khard/khard.conf",
                       f"[addressbooks]\n[[default]]\npath = {self.mirror}/contacts/default\n")
        self.configure("khal/config", f"[calendars]\n[[personal]]\n"
                       f"path = {self.mirror}/calendars/personal\ntype = calendar\n")
        self.empty = self.root / "empty"
        self.empty.mkdir()

    def test_each_silence_now_says_what_happened(self):
        rows = [  # (what, command line, stdin, exit status, stderr holds, stdout holds)
            ("no folder chosen", [*RUN, "--yes"], "", 2, NO_FOLDER, None),
            ("no field chosen", [*RUN, "--folder", "default", "--yes"], "", 2, NO_FIELD, None),
            ("a preview never asks",  # the way back from the run below
             ["replace", "--search", "777", "--replace", "555", "--folder", "contacts/default",
              *PHONES, "--dry-run"], "", 0, "", "Would update 31 items in 1 folder\n"),
            ("declined", [*RUN, "--folder", "contacts/default", *PHONES], "n\n", 1,
             "Nothing was changed.\n", None),
            ("no answer", [*RUN, "--folder", "contacts/default", *PHONES], "", 2, NO_ANSWER,
             None),
            ("undo, no answer", ["undo"], "", 2, NO_ANSWER, None),
            ("nothing matched", ["replace", "--search", "zzq", "--replace", "x", "--folder", "all",
                                 "--fields", "all", "--yes"], "", 0,
             "Nothing matched 'zzq' in 58 items of 2 folders.\n", "Updated 0 items in 2 folders"),
            ("nothing matched, --fail-if-none",
             ["replace", "--search", "zzq", "--replace", "x", "--folder", "all", "--fields",
              "all", "--yes", "--fail-if-none"], "", 1, "Nothing matched 'zzq' in 58 items", None),
            ("an empty --store", ["--store", str(self.empty), "folders"], "", 2,
             f"tidewell: No address books or calendars in {self.empty}.\n", None),
            ("a name copied from a change line",
             ["show", "MobileTelephoneNumber", "mobile phone"], "", 0, "", "MobilePhone: 0\n"),
            ("a caption two kinds share", ["show", "subject"], "", 0, "",
             "AppointmentSubject: 0\nTaskSubject: 0\n"),
            ("nothing to forget", ["stores", "--forget", str(self.empty)], "", 2,
             f"'{self.empty}' is no remembered store", None),
            ("the empty store was not remembered", ["stores", "--forget-all"], "", 0, "",
             "No store is remembered.\n"),
        ]
        # One run to undo, so that the undo's question is the one left unanswered.
        self.tidewell(*RUN, "--folder", "contacts/default", *PHONES, "--yes", status=0)
        for what, command, stdin, status, err_holds, out_holds in rows:
            with self.subTest(what):
                before = self.snapshot(self.mirror)
                _, out, err = self.tidewell(*command, stdin=stdin, status=status)
                self.assertIn(err_holds, err)
                if out_holds is not None:
                    self.assertIn(out_holds, out)
                self.assertEqual(self.snapshot(self.mirror), before)

    def test_values_no_field_stands_for_are_counted_by_property(self):
        alarm = ("BEGIN:VEVENT\r\nUID:{0}\r\nDTSTAMP:20260101T000000Z\r\n"
                 "DTSTART:20260301T090000Z\r\nSUMMARY:s\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                 "TRIGGER:-PT5M\r\nDESCRIPTION:remind\r\nEND:VALARM\r\nEND:VEVENT\r\n")
        (self.mirror / "calendars" / "personal" / "zz-alarms.ics").write_text(
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n" + alarm.format("a")
            + alarm.format("b") + "END:VCALENDAR\r\n", newline="")
        (self.mirror / "contacts" / "default" / "zz-urls.vcf").write_text(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u\r\nFN:Two Pages\r\nURL;TYPE=work:http://a\r\n"
            "URL;TYPE=work:http://b\r\nEND:VCARD\r\n", newline="")
        run = ["replace", "--search", "zzq", "--replace", "x", "--folder", "all", "--fields",
               "all", "--dry-run"]
        err = self.tidewell(*run)[2].splitlines()
        self.assertEqual([line for line in err if line.startswith("Not searched")],
                         ["Not searched: 1 URL value, 2 DESCRIPTION values of alarms; "
                          "--verbose lists them"])


if __name__ == "__main__":
    unittest.main()
