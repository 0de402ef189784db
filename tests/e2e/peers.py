"""A sandbox for end-to-end tests: a copy of a store, private config and state folders, and the
real peers (khard, khal, todoman) and tidewell run inside it."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TIDEWELL_SOURCE_DIR") or Path(__file__).resolve().parents[2])
BUILD_DIR = Path(os.environ.get("TIDEWELL_BINARY_DIR") or SOURCE_DIR / "build" / "ci")
# The programs under test: the build's, or those of another folder, as /usr/bin where the .deb
# installed them (TIDEWELL_PROGRAM_DIR=/usr/bin ctest ...).
BINARY_DIR = Path(os.environ.get("TIDEWELL_PROGRAM_DIR") or BUILD_DIR)
INSTALLED = BINARY_DIR != BUILD_DIR
DEMO_STORE = SOURCE_DIR / "samples" / "store"
CORPUS_DIR = Path(os.environ.get("TIDEWELL_CORPUS_DIR") or SOURCE_DIR / "tests" / "data" / "corpus")
AREA_CODES = "Only look in city/area codes"

STAMP = re.compile(rb"(REV|LAST-MODIFIED|DTSTAMP)[;:]", re.IGNORECASE)
# A new time is a new revision of an event or task: SEQUENCE counts it, undone or not.
REVISION = re.compile(rb"(REV|LAST-MODIFIED|DTSTAMP|SEQUENCE)[;:]", re.IGNORECASE)
# Escapes that only spell a character another way; "\;" and "\n" keep their meaning.
SPELLING = re.compile(rb"\\([\\,:])")

# khard reads vCard 2.1 but says, for each such card, that it would not edit one.
KHARD_V21_NOTICE = "Wrapping vCard with unsupported version 2.1"


def without_stamps(data, stamps=STAMP):
    return [line for line in data.splitlines(keepends=True) if not stamps.match(line)]


def content_lines(data):
    """The unfolded content lines but stamps and blanks, as (name and parameters, value)."""
    lines = []
    for physical in (line.rstrip(b"\r") for line in data.split(b"\n")):
        if lines and physical[:1] in (b" ", b"\t"):
            lines[-1] += physical[1:]
        elif lines and lines[-1].endswith(b"=") and b"QUOTED-PRINTABLE" in lines[-1].upper():
            lines[-1] = lines[-1][:-1] + physical
        else:
            lines.append(physical)
    read = []
    for line in lines:
        if STAMP.match(line) or not line.strip():
            continue
        quoted = False
        for at, byte in enumerate(line):
            if byte == ord('"'):
                quoted = not quoted
            elif byte == ord(":") and not quoted:
                read.append((line[:at], SPELLING.sub(rb"\1", line[at + 1:])))
                break
        else:
            read.append((line, b""))
    return read


class Sandbox(unittest.TestCase):
    """Each test gets its own copy of the demo store in self.store."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.root = Path(tmp.name)
        self.store = self.root / "store"
        shutil.copytree(DEMO_STORE, self.store)
        self.env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", TZ="UTC",
                        HOME=str(self.root / "home"),
                        **{f"XDG_{kind}_HOME": str(self.root / kind.lower())
                           for kind in ("CONFIG", "STATE", "DATA", "CACHE")})
        self.ini = self.root / "config" / "Marrowby" / "Marrowby.ini"
        self.state = self.root / "state" / "Marrowby"

    def items(self, folder):
        return sorted(p for p in (self.store / folder).iterdir() if p.suffix in (".vcf", ".ics"))

    def snapshot(self, root=None):
        return {p: p.read_bytes() for p in (root or self.store).rglob("*") if p.is_file()}

    def assert_as_before(self, before, stamps=STAMP):
        """Every file holds the bytes it held before but for its stamp lines."""
        for path, data in before.items():
            with self.subTest(file=str(path)):
                self.assertEqual(without_stamps(path.read_bytes(), stamps),
                                 without_stamps(data, stamps))

    def configure(self, name, text):
        path = self.root / "config" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")

    def run_peer(self, *args, stdin=None, cwd=None, **env):
        """Runs a program in the sandbox's environment, with `env` added; it must succeed.
        Returns (stdout, stderr)."""
        done = subprocess.run(args, env=dict(self.env, **env), input=stdin, cwd=cwd,
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout, done.stderr

    def tidewell(self, *args, stdin="", status=None):
        """Runs the terminal host; returns (exit status, stdout, stderr). A `status` given is the
        exit status it must end with."""
        done = subprocess.run([str(BINARY_DIR / "tidewell"), *args], env=self.env, input=stdin,
                              capture_output=True, text=True, timeout=300)
        if status is not None:
            self.assertEqual(done.returncode, status, done.stdout + done.stderr)
        return done.returncode, done.stdout, done.stderr

    def tidewell_ok(self, *args):
        """Runs the terminal host, which must succeed; returns its stdout."""
        return self.tidewell(*args, status=0)[1]

    def prepare(self, *fields_args, search, replace, case="0", folders=("contacts",), store=None):
        """The field chooser's buttons in `fields_args`, then the page's texts and folders."""
        self.tidewell_ok("--store", str(store or self.store), "fields", *fields_args)
        self.tidewell_ok("set", "--search", search, "--replace", replace, "--case", case,
                         *[a for f in folders for a in ("--folder", f)])

    def prepare_every_field(self, search, replace, case="1", folders=("contacts",), store=None):
        """Every field of contacts, events and tasks selected, then the page's texts and folders."""
        self.prepare("--select-all", "--appointments", "all", "--tasks", "all", search=search,
                     replace=replace, case=case, folders=folders, store=store)

    def log(self, name="activity.jsonl"):
        path = self.state / name
        if not path.exists():
            return []
        return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]

    def khard(self, folder, *args):
        self.configure("khard/khard.conf", f"[addressbooks]\n[[demo]]\npath = {folder}\n")
        return self.run_peer("khard", *args)

    def khal(self, folder, *args):
        self.configure("khal/config", f"[calendars]\n[[demo]]\npath = {folder}\ntype = calendar\n"
                       "[locale]\nlocal_timezone = America/New_York\n"
                       "default_timezone = America/New_York\n"
                       "dateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n")
        return self.run_peer("khal", *args)

    def todoman(self, folder, *args):
        self.configure("todoman/config.py", f"path = {str(folder)!r}\n"
                       "date_format = '%Y-%m-%d'\ntime_format = '%H:%M'\n")
        return self.run_peer("todoman", *args)

    def peer_complaints(self, stderr):
        return [line for line in stderr.splitlines()
                if line.strip() and not line.startswith(KHARD_V21_NOTICE)]
