"""replace as one command: the page's settings for this run only, a preview that writes nothing,
the change lines, and what is refused before anything is read or written."""

import shutil
import unittest

from peers import AREA_CODES, DEMO_STORE, Sandbox

LAST_LINE = "{} items could not be changed; see the reports above.\n"


class OneCommandTest(Sandbox):
    def disk(self):
        """Every file of the store, the config and the state folders, and every folder."""
        return {p: (p.read_bytes() if p.is_file() else None)
                for top in (self.store, self.root / "config", self.root / "state") if top.exists()
                for p in [top, *top.rglob("*")]}

    def test_a_preview_writes_nothing_and_the_run_after_it_lists_the_same_changes(self):
        (self.store / "contacts" / "zz-broken.vcf").write_text("no card here\n")
        # Saved settings, logs and an error report that the preview must leave as they are.
        self.prepare("--clear-all", "--email", search="northwind-traders", replace="northwind")
        self.assertEqual(self.tidewell("replace", "--yes")[0], 3)
        self.assertTrue((self.state / "errors.jsonl").exists())
        before, log_before = self.disk(), self.log()

        run = ["replace", "--yes", "--search", "555", "--replace", "777", "--fields", "phone,tasks",
               "--folder", "Contacts", "--folder", "tasks"]
        _, preview, err = self.tidewell(*run, "--dry-run", status=3)
        self.assertTrue(err.endswith(LAST_LINE.format(1)), err)
        self.assertIn("zz-broken.vcf", err)
        self.assertEqual(self.disk(), before)

        lines = preview.splitlines()
        self.assertEqual(lines[0], "Folder: Contacts")
        self.assertIn("Folder: Tasks", lines)
        changes = [line.split("\t") for line in lines if "\t" in line]
        self.assertIn(["Contacts", "Mike Russo", "MobileTelephoneNumber", "(555) 204-8816",
                       "(777) 204-8816"], changes)
        items = len({(c[0], c[1]) for c in changes})
        self.assertEqual(lines[-1], f"Would update {items} items in 2 folders")

        _, real, err = self.tidewell(*run, "--verbose", status=3)
        self.assertTrue(err.endswith(LAST_LINE.format(1)), err)
        self.assertEqual(real, preview.replace("\nWould update ", "\nUpdated "))
        changed = {p for p, data in before.items()
                   if data is not None and p.is_relative_to(self.store) and p.read_bytes() != data}
        self.assertEqual(len(changed), items)
        undo = [r for r in self.log()[len(log_before):] if r["undo"]]
        self.assertEqual(len(undo), 5 * len(changes))

    def test_one_command_runs_as_the_three_commands_and_leaves_the_settings_alone(self):
        twin = self.root / "twin"
        shutil.copytree(DEMO_STORE, twin)
        self.prepare("--clear-all", "--phone", "--special", AREA_CODES, search="555",
                     replace="777", store=twin)
        three = self.tidewell_ok("replace", "--yes")
        three_log = self.log()

        self.tidewell_ok("fields", "--select-all")
        self.tidewell_ok("set", "--search", "Acme", "--replace", "Z", "--case", "1")
        saved, shown = self.ini.read_bytes(), self.tidewell_ok("show")
        one = self.tidewell_ok("--store", str(self.store), "replace", "--yes", "--search", "555",
                               "--replace", "777", "--fields", "phone", "--area-codes-only",
                               "--folder", "contacts")
        self.assertEqual(one, three)
        self.assertEqual(self.ini.read_bytes(), saved)
        self.assertEqual(self.tidewell_ok("show"), shown)
        self.assertIn(str(twin), self.tidewell_ok("folders"))

        def entries(records):
            return [(r["procedure"], r["message"].replace(str(twin), "STORE")
                     .replace(str(self.store), "STORE"), r["undo"]) for r in records]
        self.assertEqual(entries(self.log()[len(three_log):]), entries(three_log))
        for path in self.items("contacts"):
            theirs = (twin / "contacts" / path.name).read_text(encoding="utf-8").splitlines()
            ours = path.read_text(encoding="utf-8").splitlines()
            self.assertEqual([x for x in ours if not x.startswith("REV")],
                             [x for x in theirs if not x.startswith("REV")], path.name)

    def test_folders_by_entry_id_or_by_a_name_only_one_folder_has(self):
        for entry, name in (("work", "Team Calendar"), ("work2", "team calendar"),
                            ("misc", "Odds")):
            shutil.copytree(self.store / "calendar", self.store / entry)
            (self.store / entry / "displayname").write_text(name + "\n")
        store = str(self.store)
        rows = [  # (folder given, exit status, the folder line printed or the one-line refusal)
            ("tasks", 0, "Folder: Tasks"),
            ("ODDS", 0, "Folder: Odds"),
            ("Contacts", 0, "Folder: Contacts"),
            ("team CALENDAR", 2, f"tidewell: 2 folders are named 'team CALENDAR': "
                                 f"'work@{store}', 'work2@{store}'; name one as ENTRYID@STOREID "
                                 f"(see 'tidewell folders').\n"),
            ("work", 0, "Folder: Team Calendar"),
            ("nowhere", 2, "tidewell: Unknown folder 'nowhere' (see 'tidewell folders').\n"),
        ]
        for given, status, shown in rows:
            with self.subTest(given):
                _, out, err = self.tidewell("--store", store, "replace", "--dry-run", "--yes",
                                            "--search", "zzz", "--replace", "y",
                                            "--fields", "phone", "--folder", given, status=status)
                self.assertEqual(out.splitlines()[0] if status == 0 else err, shown)

    def test_what_is_refused_before_anything_is_read_or_written(self):
        self.prepare("--clear-all", "--phone", search="555", replace="777")
        a_file = self.root / "a-file"
        a_file.write_text("")
        pattern = "tidewell: Invalid pattern: '[' at position 1 is never closed.\n"
        rows = [  # (what, command line, the one line on stderr)
            ("set, invalid pattern", ["set", "--search", "[abc"], pattern),
            ("replace, invalid pattern",
             ["replace", "--yes", "--search", "[abc", "--replace", "x"], pattern),
            ("store empty", ["--store", "", "folders"], "tidewell: No such store: \n"),
            ("store missing", ["--store", str(self.root / "gone"), "folders"],
             f"tidewell: No such store: {self.root / 'gone'}\n"),
            ("store a file", ["--store", str(a_file), "replace", "--yes"],
             f"tidewell: No such store: {a_file}\n"),
            ("unknown field", ["replace", "--fields", "phone,Nope", "--yes"],
             "tidewell: Unknown field 'Nope' in --fields (see 'tidewell fields --list').\n"),
            ("search alone", ["replace", "--search", "5", "--yes"],
             "tidewell: --search and --replace go together, once each.\n"),
        ]
        for what, command, message in rows:
            with self.subTest(what):
                before = self.disk()
                status, out, err = self.tidewell(*command)
                self.assertEqual((status, out, err), (2, "", message))
                self.assertEqual(self.disk(), before)


if __name__ == "__main__":
    unittest.main()
