"""The demo store in samples/store can be read in full by the real peers.

Every item parses with vobject the way khard reads it (so no quoted-printable soft line breaks
and no byte-order mark), and khard, khal and todoman, each pointed at a copy of its folder,
list every item without complaint.
"""

import json
import unittest

import vobject

from peers import Sandbox

PEERS = [  # (peer, folder, expected count)
    ("khard", "contacts", 42),
    ("khal", "calendar", 15),
    ("todoman", "tasks", 10),
]


class DemoStoreTest(Sandbox):
    def list_khard(self, folder):
        out, err = self.khard(folder, "list", "--parsable")
        return len(out.splitlines()), err

    def list_khal(self, folder):
        out, err = self.khal(folder, "list", "--once", "--format", "{uid}", "--day-format", "",
                             "2026-01-01", "2027-12-31")
        return len(set(out.split())), err

    def list_todoman(self, folder):
        out, err = self.todoman(folder, "--porcelain", "list", "--status", "ANY")
        return len(json.loads(out)), err

    def test_every_item_parses_with_vobject_and_is_named_after_its_uid(self):
        for _, folder, _ in PEERS:
            for path in self.items(folder):
                with self.subTest(item=f"{folder}/{path.name}"):
                    found = list(vobject.readComponents(path.read_text(encoding="utf-8")))
                    self.assertEqual(len(found), 1)
                    item = found[0]
                    if item.name == "VCALENDAR":
                        item = next(c for c in item.components() if c.name in ("VEVENT", "VTODO"))
                    self.assertEqual(item.uid.value, path.stem)

    def test_each_peer_lists_every_item_of_its_folder(self):
        for peer, folder, expected in PEERS:
            with self.subTest(peer=peer, folder=folder):
                self.assertEqual(len(self.items(folder)), expected)
                listed, stderr = getattr(self, "list_" + peer)(self.store / folder)
                self.assertEqual(listed, expected)
                self.assertEqual(self.peer_complaints(stderr), [])


if __name__ == "__main__":
    unittest.main()
