"""The demo store in samples/store can be read in full by the real peers: khard, khal and todoman
each list every item of their folder without complaint."""

import json
import unittest

from peers import Sandbox


class DemoStoreTest(Sandbox):
    def test_each_peer_lists_every_item_of_its_folder(self):
        def khard(folder):
            out, err = self.khard(folder, "list", "--parsable")
            return len(out.splitlines()), err

        def khal(folder):
            out, err = self.khal(folder, "list", "--once", "--format", "{uid}", "--day-format", "",
                                 "2026-01-01", "2027-12-31")
            return len(set(out.split())), err

        def todoman(folder):
            out, err = self.todoman(folder, "--porcelain", "list", "--status", "ANY")
            return len(json.loads(out)), err

        for peer, folder, expected in [(khard, "contacts", 42), (khal, "calendar", 15),
                                       (todoman, "tasks", 10)]:
            with self.subTest(folder=folder):
                self.assertEqual(len(self.items(folder)), expected)
                listed, stderr = peer(self.store / folder)
                self.assertEqual(listed, expected)
                self.assertEqual(self.peer_complaints(stderr), [])


if __name__ == "__main__":
    unittest.main()
