"""A script reads the JSON Lines of `replace --dry-run --json` and `runs --json` with jq."""

import unittest

from peers import Sandbox

LINDA = "contacts/00000000A1B2C3D4E5F60718293A4B5C.vcf"


class JsonLinesTest(Sandbox):
    def jq(self, program, lines, *args):
        return self.run_peer("jq", "-c", *args, program, stdin=lines)[0].splitlines()

    def test_a_preview_and_its_run_read_alike_through_jq(self):
        self.env["TZ"] = "Asia/Kolkata"
        before = self.snapshot()
        run = ("--store", str(self.store), "replace", "--search", "555", "--replace", "777",
               "--fields", "phone", "--folder", "contacts")
        preview = self.tidewell_ok(*run, "--dry-run", "--json")
        self.assertEqual(self.snapshot(), before)
        # Every line is an object a script can tell by its type.
        self.assertEqual(set(self.jq(".type", preview)), {'"folder"', '"change"', '"summary"'})
        path = str(self.store / LINDA)
        self.assertEqual(
            self.jq('select(.type == "change" and .path == $p and .field == "BusinessFaxNumber")'
                    ' | [.name, .entry_id, .old, .new]', preview, "--arg", "p", path),
            ['["Linda Kowalski","%s","(555) 123-4590","(777) 123-4590"]' % LINDA])
        changed = self.jq('map(select(.type == "change") | .path) | unique | length', preview, "-s")
        self.assertEqual(self.jq('select(.type == "summary") | .items_changed', preview), changed)

        self.tidewell_ok(*run, "--yes", "--verbose", "--json")
        runs = self.tidewell_ok("--store", str(self.store), "runs", "--json")
        run_id, = self.jq('select(.type == "run") | .id', runs, "-r")
        self.assertRegex(self.jq(".time", runs, "-r")[0],
                         r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\+05:30$")
        shown = self.tidewell_ok("--store", str(self.store), "runs", "--show", run_id, "--json")
        pick = 'select(.type == "change") | [.path, .field, .old, .new]'
        self.assertEqual(self.jq(pick, shown), self.jq(pick, preview))


if __name__ == "__main__":
    unittest.main()
