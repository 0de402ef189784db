"""The terminal host end to end: real binary, a copy of the demo store, private settings and
logs, and the real peers reading what it wrote."""

import json
import unittest

import vobject

from peers import AREA_CODES, Sandbox


class TerminalHostTest(Sandbox):
    def test_an_area_code_run_prints_logs_changes_only_area_codes_and_undoes_under_any_rule(self):
        self.prepare("--clear-all", "--phone", "--special", AREA_CODES, search="555",
                     replace="777")
        # On a store vdirsyncer syncs, a run that changed items names the next step.
        self.configure("vdirsyncer/config",
                       f'[storage local]\ntype = "filesystem"\npath = "{self.store}"\n'
                       'fileext = ".vcf"\n')
        step = "Run 'vdirsyncer sync' to send the changes to the server.\n"
        before = self.snapshot()
        self.assertFalse(self.tidewell_ok("replace", "--yes", "--dry-run").endswith(step))
        out = self.tidewell_ok("replace", "--yes")
        changed = [p for p, data in before.items() if p.read_bytes() != data]
        self.assertTrue(changed)
        self.assertEqual(out, f"Folder: Contacts\nUpdated {len(changed)} items in 1 folder\n"
                              + step)
        self.assertFalse(self.tidewell_ok("replace", "--yes").endswith(step))  # nothing left
        for path in changed:
            old = before[path].decode("utf-8").splitlines()
            new = path.read_text(encoding="utf-8").splitlines()
            self.assertEqual(len(old), len(new), path.name)
            for a, b in zip(old, new):
                if a != b and not a.startswith("REV"):
                    with self.subTest(file=path.name, line=a):
                        self.assertIn("(555)", a)
                        self.assertEqual(b, a.replace("(555)", "(777)", 1))

        progress = [(r["procedure"], r["message"]) for r in self.log() if not r["undo"]]
        self.assertEqual(progress[:2], [
            ("cmdReplace_Click", "ContactsCount of items in folder 'Contacts': 42"),
            ("cmdReplace_Click", "Looking for '555' replacing with '777'; Case sensitive: 0")])
        self.assertEqual(self.log("errors.jsonl"), [])
        # Undo finds the area codes again though the phone rule it ran under is gone.
        self.tidewell_ok("fields", "--special", "None")
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)

    def test_exit_statuses(self):
        self.prepare("--clear-all", "--phone", search="555", replace="777")
        pristine = self.ini.read_text()
        rows = [  # (what, settings edit, command, status, stderr holds, items checked)
            ("saved pattern invalid", ("SearchFor", "[5"), ["replace", "--yes"], 2,
             "Invalid pattern: '[' at position 1 is never closed.", False),
            ("folder count not a number", ("FolderCount", "many"), ["replace", "--yes"], 1,
             "Error occurred.  LastLineNumber: 6  Reason: Type mismatch", False),
            ("unknown field", None, ["fields", "--tick", "Nope"], 2,
             "Unknown field 'Nope'", False),
            ("answered no", None, ["replace"], 1,
             "Are you SURE you want to replace all occurrences of '555' with '777'", False),
            ("done", None, ["replace", "--yes"], 0, "", True),
        ]
        for what, edit, command, status, message, checked in rows:
            with self.subTest(what):
                lines = pristine.splitlines()
                if edit:
                    lines = [ln for ln in lines if not ln.startswith(edit[0] + "=")]
                    lines.insert(lines.index("[Tidewell]") + 1, "=".join(edit))
                self.ini.write_text("\n".join(lines) + "\n")
                log_before = len(self.log())
                _, _, err = self.tidewell(*command, stdin="n\n", status=status)
                self.assertIn(message, err)
                if status == 2:
                    self.assertEqual(len(err.splitlines()), 1, err)
                self.assertEqual(checked, any(r["procedure"] == "SearchAndReplaceContacts"
                                              for r in self.log()[log_before:]))

    def test_stores_are_remembered_between_calls_and_nothing_selected_changes_nothing(self):
        first = self.tidewell_ok("--store", str(self.store), "folders")
        self.assertEqual(first.splitlines(), [f"{name}\t{name.lower()}\t{self.store}"
                                              for name in ("Calendar", "Contacts", "Tasks")])
        self.assertEqual(self.tidewell_ok("folders"), first)

        self.prepare("--clear-all", "--appointments", "none", "--tasks", "none", search="555",
                     replace="777")
        before = self.snapshot()
        out = self.tidewell_ok("replace", "--yes")
        self.assertEqual(out, "Folder: Contacts\nUpdated 0 items in 1 folder\n")
        self.assertEqual(self.snapshot(), before)

        self.env["XDG_CONFIG_HOME"] = str(self.root / "other-config")
        _, _, err = self.tidewell("folders", status=2)
        self.assertIn("--store", err)

    def test_peers_read_every_item_and_each_changed_one_with_its_new_value(self):
        self.prepare("--clear-all", "--email", search="northwind-traders", replace="northwind")
        self.tidewell_ok("replace", "--yes")
        self.assertEqual(self.log("errors.jsonl"), [])
        emails, stderr = self.khard(self.store / "contacts", "email", "--parsable")
        self.assertEqual(self.peer_complaints(stderr), [])
        self.assertIn("@northwind.example", emails)
        self.assertNotIn("northwind-traders", emails)
        cards, stderr = self.khard(self.store / "contacts", "list", "--parsable")
        self.assertEqual(self.peer_complaints(stderr), [])
        self.assertEqual(len(cards.splitlines()), len(self.items("contacts")))

        self.prepare("--clear-all", "--appointments", "all", "--tasks", "all",
                     search="Northwind Traders", replace="Northwind Ltd",
                     folders=("calendar", "tasks"))
        out = self.tidewell_ok("replace", "--yes")
        self.assertEqual(self.log("errors.jsonl"), [])
        self.assertTrue(out.endswith(" items in 2 folders\n"), out)

        events, stderr = self.khal(self.store / "calendar", "list", "--once", "--format",
                                   "{uid}\t{location}", "--day-format", "", "2026-01-01",
                                   "2027-12-31")
        self.assertEqual(self.peer_complaints(stderr), [])
        self.assertIn("Northwind Ltd HQ", events)
        self.assertNotIn("Northwind Traders", events)
        self.assertEqual(len({line.split("\t")[0] for line in events.splitlines() if line.strip()}),
                         len(self.items("calendar")))

        tasks, stderr = self.todoman(self.store / "tasks", "--porcelain", "list", "--status", "ANY")
        self.assertEqual(self.peer_complaints(stderr), [])
        self.assertEqual(len(json.loads(tasks)), len(self.items("tasks")))
        companies = [todo.x_companies.value for path in self.items("tasks")
                     for todo in vobject.readOne(path.read_text(encoding="utf-8")).vtodo_list
                     if hasattr(todo, "x_companies")]
        self.assertTrue(any("Northwind Ltd" in c for c in companies), companies)
        self.assertFalse(any("Northwind Traders" in c for c in companies), companies)

    def test_regular_expressions_are_opt_in_and_a_classic_habit_gets_a_note(self):
        card = self.store / "contacts" / "rx-1.vcf"
        card.write_bytes(b"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:rx-1\r\nFN:Rex Ample\r\n"
                         b"N:Ample;Rex;;;\r\nTEL;TYPE=CELL:555-987-6543\r\nEND:VCARD\r\n")
        self.prepare("--clear-all", "--phone", search="x", replace="x")
        note = ("Note: 555-\\d{3} is read in the classic syntax, where \\d means the letter d; "
                "pass --regex for a regular expression (see PATTERNS in 'man tidewell').\n")
        rows = [  # (command after replace --yes, status, stderr, the card's number after)
            (["--search", "555-\\d{3}", "--replace", "x"], 0, note, "555-987-6543"),
            (["--regex", "--search", "555-(\\d{3}", "--replace", "x"], 2,
             "tidewell: Invalid pattern: missing closing parenthesis at position 10.\n",
             "555-987-6543"),
            (["--regex", "--search", "555-(\\d{3})", "--replace", "777-$1"], 0, "",
             "777-987-6543"),
        ]
        for args, status, err, number in rows:
            with self.subTest(args):
                got = self.tidewell("replace", "--yes", *args)
                self.assertEqual(got[0], status)
                self.assertTrue(got[2].endswith(err), got[2])
                self.assertIn(f"TEL;TYPE=CELL:{number}\n", card.read_text(encoding="utf-8"))
        # Saved, the setting holds for later runs; the run's own --regex was not saved.
        self.assertIn("RegularExpressions: 0\n", self.tidewell_ok("show"))
        # The --regex run is undone though the classic syntax is in force.
        self.tidewell_ok("undo", "--yes")
        self.assertIn("TEL;TYPE=CELL:555-987-6543\n", card.read_text(encoding="utf-8"))
        self.tidewell_ok("set", "--regex", "1", "--search", "(\\d{3})-(\\d{4})$",
                         "--replace", "\\2-$1")
        self.tidewell_ok("replace", "--yes")
        self.assertIn("TEL;TYPE=CELL:555-6543-987\n", card.read_text(encoding="utf-8"))


if __name__ == "__main__":
    unittest.main()
