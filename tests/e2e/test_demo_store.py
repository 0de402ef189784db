"""The demo store in samples/store can be read in full by the real peers.

Every item parses with vobject the way khard reads it (so no quoted-printable soft line breaks
and no byte-order mark), and khard, khal and todoman, each pointed at a copy of its folder,
list every item without complaint.
"""

import json
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import vobject

SOURCE_DIR = Path(os.environ.get("TIDEWELL_SOURCE_DIR") or Path(__file__).resolve().parents[2])
STORE = SOURCE_DIR / "samples" / "store"

PEERS = [  # (peer, folder, expected count)
    ("khard", "contacts", 42),
    ("khal", "calendar", 15),
    ("todoman", "tasks", 10),
]

# khard reads vCard 2.1 but says, for each such card, that it would not edit one.
KHARD_V21_NOTICE = "Wrapping vCard with unsupported version 2.1"


class DemoStoreTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.root = Path(tmp.name)
        self.store = self.root / "store"
        shutil.copytree(STORE, self.store)
        self.env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8",
                        HOME=str(self.root / "home"),
                        XDG_CONFIG_HOME=str(self.root / "config"),
                        XDG_DATA_HOME=str(self.root / "data"),
                        XDG_CACHE_HOME=str(self.root / "cache"))

    def items(self, folder):
        return sorted(p for p in (self.store / folder).iterdir() if p.suffix in (".vcf", ".ics"))

    def configure(self, name, text):
        path = self.root / "config" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")

    def run_peer(self, *args):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout, done.stderr

    def list_khard(self, folder):
        self.configure("khard/khard.conf", f"[addressbooks]\n[[demo]]\npath = {folder}\n")
        out, err = self.run_peer("khard", "list", "--parsable")
        return len(out.splitlines()), err

    def list_khal(self, folder):
        self.configure("khal/config", f"[calendars]\n[[demo]]\npath = {folder}\ntype = calendar\n"
                       "[locale]\nlocal_timezone = America/New_York\n"
                       "default_timezone = America/New_York\n"
                       "dateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n")
        out, err = self.run_peer("khal", "list", "--once", "--format", "{uid}", "--day-format", "",
                                 "2026-01-01", "2027-12-31")
        return len(set(out.split())), err

    def list_todoman(self, folder):
        self.configure("todoman/config.py", f"path = {str(folder)!r}\n"
                       "date_format = '%Y-%m-%d'\ntime_format = '%H:%M'\n")
        out, err = self.run_peer("todoman", "--porcelain", "list", "--status", "ANY")
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
                complaints = [line for line in stderr.splitlines()
                              if line.strip() and not line.startswith(KHARD_V21_NOTICE)]
                self.assertEqual(complaints, [])


if __name__ == "__main__":
    unittest.main()
