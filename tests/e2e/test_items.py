"""Every value of every chosen field, end to end: a replace over the demo store (and over files
of several components) leaves the search text in no property a chosen field stands for, the
peers read every file it changed, undo gives every byte back but the stamps, and the terminal
host names what it passed over."""

import re
import unittest

import vobject

from peers import Sandbox, content_lines

# The properties a contact field, or an appointment or task field, stands for.
CARD_FIELDS = {"FN", "ORG", "NOTE", "X-ACCOUNT", "X-EVOLUTION-FILE-AS", "EMAIL", "URL", "TEL",
               "X-MS-TEL"}
EVENT_FIELDS = {"SUMMARY", "LOCATION", "DESCRIPTION", "X-MILEAGE", "X-BILLING-INFORMATION",
                "X-COMPANIES"}


def searched_values(data):
    """(component, property, value) of each line a chosen field stands for."""
    stack, found = [], []
    for name, value in content_lines(data):
        name = name.split(b";")[0].split(b".")[-1].upper().decode()
        value = value.decode("utf-8", "replace")
        if name == "BEGIN":
            stack.append(value.strip().upper())
        elif name == "END":
            stack.pop()
        elif stack and stack[-1] == "VCARD" and name in CARD_FIELDS:
            found.append((stack[-1], name, value))
        elif stack and stack[-1] == "VCARD" and name == "ADR":
            # Post office box and country are no field's.
            found.append((stack[-1], name, ";".join(value.split(";")[1:6])))
        elif stack and stack[-1] in ("VEVENT", "VTODO") and name in EVENT_FIELDS:
            found.append((stack[-1], name, value))
    return found


class EveryValueTest(Sandbox):
    def replace_all(self, search, replace, *folders, status=0):
        self.prepare_every_field(search, replace, case="0", folders=folders)
        return self.tidewell("replace", "--yes", status=status)

    def assert_peers_read(self, changed):
        for path in changed:
            components = vobject.readComponents(path.read_text(encoding="utf-8"))
            self.assertTrue(list(components), path.name)
        _, err = self.khard(self.store / "contacts", "list", "--parsable")
        self.assertEqual(self.peer_complaints(err), [])
        _, err = self.khal(self.store / "calendar", "list", "--once", "2020-01-01", "3000d")
        self.assertEqual(self.peer_complaints(err), [])
        _, err = self.todoman(self.store / "tasks", "--porcelain", "list", "--status", "ANY")
        self.assertEqual(self.peer_complaints(err), [])

    def test_no_chosen_value_keeps_the_number_and_undo_brings_every_byte_back(self):
        before = self.snapshot()
        held = [p for p, data in before.items()
                if any("555" in v for _, _, v in searched_values(data))]
        self.assertTrue(held)
        _, out, _ = self.replace_all("555", "777", "contacts", "calendar", "tasks")
        self.assertRegex(out.splitlines()[-1], r"^Updated \d+ items in 3 folders$")
        for path in held:
            with self.subTest(file=path.name):
                left = [(c, n) for c, n, v in searched_values(path.read_bytes()) if "555" in v]
                self.assertEqual(left, [])
        journal = [r["message"] for r in self.log() if r["undo"]]
        self.assertIn("ItemEntryId: calendar/4b1f0d6e-93a2-4c57-8e0b-7d2c5a9f1e36.ics#2",
                      journal)
        changed = [p for p, data in before.items() if p.read_bytes() != data]
        self.assert_peers_read(changed)

        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)

    def test_components_and_values_beyond_the_slots_of_one_file(self):
        (self.store / "contacts" / "zz-two.vcf").write_bytes(
            b"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zz-1\r\nFN:Ann One\r\nTEL;TYPE=work:555 1\r\n"
            b"TEL;TYPE=work:555 2\r\nTEL;TYPE=work:555 3\r\nTEL:555 4\r\nTEL:555 5\r\n"
            b"EMAIL:a@x\r\nEMAIL:b@x\r\nEMAIL:c@x\r\nEMAIL:d555@x\r\n"
            b"URL;TYPE=home:http://x/555\r\nEND:VCARD\r\n"
            b"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zz-2\r\nFN:Bo Two\r\nTEL;TYPE=cell:555 6\r\nEND:VCARD\r\n")
        (self.store / "tasks" / "zz-mixed.ics").write_bytes(
            b"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n"
            b"BEGIN:VTODO\r\nUID:zz-t\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:Call 555\r\n"
            b"END:VTODO\r\nBEGIN:VEVENT\r\nUID:zz-e\r\nDTSTAMP:20240101T000000Z\r\n"
            b"DTSTART:20240301T090000Z\r\nDTEND:20240301T100000Z\r\nSUMMARY:Meet 555\r\n"
            b"END:VEVENT\r\nEND:VCALENDAR\r\n")
        (self.store / "contacts" / "zz-empty.ics").write_bytes(b"")  # no calendar reads it
        before = self.snapshot()
        _, out, err = self.replace_all("555", "777", "contacts", "tasks", status=3)
        self.assertEqual(err.splitlines()[-1], "1 items could not be changed; see the reports above.")
        card = (self.store / "contacts" / "zz-two.vcf").read_bytes()
        self.assertEqual(card.count(b"777"), 7, card)  # all but the home page, which no field is
        self.assertIn(b"URL;TYPE=home:http://x/555", card)
        mixed = (self.store / "tasks" / "zz-mixed.ics").read_bytes()
        self.assertIn(b"SUMMARY:Call 777", mixed)
        self.assertIn(b"SUMMARY:Meet 777", mixed)
        names = {r["message"] for r in self.log() if r["undo"]}
        for name in ("BusinessTelephoneNumber#3", "OtherTelephoneNumber#2", "Email1Address#4"):
            self.assertIn("FieldName: " + name, names)
        self.assertIn("ItemEntryId: contacts/zz-two.vcf#2", names)
        self.assertIn("ItemEntryId: tasks/zz-mixed.ics#2", names)
        self.assertIn("Not searched: 1 URL value; --verbose lists them", err.splitlines())
        self.assertIn("Item contacts/zz-empty.ics (", err)
        self.assertIn("it holds no event, task or journal entry.", err)
        self.assert_peers_read([self.store / "contacts" / "zz-two.vcf",
                                self.store / "tasks" / "zz-mixed.ics"])
        self.tidewell_ok("undo", "--yes")
        self.assert_as_before(before)

    def test_a_huge_folder_count_costs_nothing_and_a_lost_folder_is_named(self):
        self.prepare(search="555", replace="777", folders=("contacts", "tasks"))
        text = self.ini.read_text(encoding="utf-8")
        text = re.sub(r"FolderCount=\d+", "FolderCount=2000000000", text)
        text = text.replace("FolderEntryId2=tasks", "FolderEntryId2=gone")
        self.ini.write_text(text, encoding="utf-8")
        self.assertIn("FolderCount: 2\n", self.tidewell_ok("show"))
        _, out, err = self.tidewell("replace", "--yes", status=0)
        self.assertRegex(out.splitlines()[-1], r"^Updated \d+ items in 2000000000 folders$")
        self.assertIn("Folder 'Tasks' was not found; skipped.", err.splitlines())


if __name__ == "__main__":
    unittest.main()
