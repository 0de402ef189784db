"""The server store end to end, against Radicale and Xandikos started on a free loopback port.

The demo store is put on the server, one collection per folder, and the same run is made once over
the server and once over a vdir copy of the demo store: the server's items must then read as the
vdir run's files would (Xandikos keeps the bytes it is given, so byte for byte but for stamps;
Radicale re-serialises, so value for value). Credentials come from a netrc file; Xandikos takes
no login at all, so the login cases run on Radicale. What a strange server answers is the unit
tests' business, over a transport in memory.
"""

import re
import shutil
import signal
import subprocess
import time
import unittest
from pathlib import Path

from dav_servers import LOOPBACK, PASSWORD, USER, Radicale, Xandikos, make_tls, radicale_reads
from peers import (BINARY_DIR, DEMO_STORE, REVISION, SOURCE_DIR, Sandbox, content_lines,
                   without_stamps)

FOLDERS = (("contacts", "Contacts", ()), ("calendar", "Calendar", ("VEVENT",)),
           ("tasks", "Tasks", ("VTODO",)))
CONTACTS = FOLDERS[:1]
REFUSED = "Refusing to send a password over plain HTTP to dav.example.invalid; use https."
CONFLICT = "The item was changed by another program since it was read."
RESTORED = re.compile(r"^Restored (\d+) fields in (\d+) items; skipped (\d+)\.$")
INCOMPLETE = re.compile(r"^.+ of (.+): its journal entry is incomplete \(\d of 5 records\)$")


def values(data):
    """What an item says, whatever the form: its unfolded, decoded lines but stamps, sorted."""
    return sorted(line for line in content_lines(data) if not REVISION.match(line[0] + b":"))


def as_held(server, data):
    """What of an item `server` must keep: Xandikos its bytes but stamps, Radicale its values."""
    if isinstance(server, Xandikos):
        return without_stamps(data, REVISION)
    return values(data)


def collection_path(server, folder):
    if isinstance(server, Xandikos):
        return f"/user/{'contacts' if folder == 'contacts' else 'calendars'}/{folder}/"
    return f"/{USER}/{folder}/"


def store_files(store, folders=FOLDERS):
    return {folder: {p.name: p.read_bytes() for p in sorted((Path(store) / folder).iterdir())
                     if p.suffix in (".vcf", ".ics")} for folder, _, _ in folders}


def put_store(server, store, folders=FOLDERS):
    """The store's folders as collections of `server`: {folder: {href: bytes it holds}}."""
    files = store_files(store, folders)
    client = server.client()
    for folder, name, components in folders:
        path = collection_path(server, folder)
        if components:
            client.make_calendar(path, name, components)
        else:
            client.make_address_book(path, name)
        for item, data in files.get(folder, {}).items():
            client.put(path + item, data)
    client.close()
    return read_server(server, folders)


def by_name(items):
    return {href.rsplit("/", 1)[1]: data for href, data in items.items()}


def read_server(server, folders=FOLDERS):
    client = server.client()
    try:
        return {folder: client.items(collection_path(server, folder)) for folder, _, _ in folders}
    finally:
        client.close()


class DavSandbox(Sandbox):
    def setUp(self):
        super().setUp()
        self.netrc = self.root / "netrc"
        self.login(PASSWORD)
        self.env["NETRC"] = str(self.netrc)

    def login(self, password):
        self.netrc.write_text(f"machine {LOOPBACK} login {USER} password {password}\n"
                              f"machine localhost login {USER} password {password}\n")
        self.netrc.chmod(0o600)

    def serve(self, kind=Radicale, **options):
        self.servers = getattr(self, "servers", 0) + 1
        server = kind(root=self.root / f"server-{self.servers}", **options)
        server.start()
        self.addCleanup(server.stop)
        return server

    def folders(self, *store_args):
        out = self.tidewell_ok(*store_args, "folders")
        return [tuple(line.split("\t")) for line in out.splitlines()]

    def prepare_run(self, search, replace, folders=FOLDERS, store=None):
        self.prepare_every_field(search, replace, store=store,
                                 folders=[(name if store else folder) for folder, name, _ in folders])

    def vdir_run(self, search, replace, folders=FOLDERS, kinds=(Radicale, Xandikos)):
        """self.store's files after the run, made with settings and a journal of its own: what a
        fresh server of each kind holds once given them, {kind: {folder: {name: bytes}}}."""
        env = self.env
        self.env = dict(env, **{f"XDG_{k}_HOME": str(self.root / "vdir-run" / k.lower())
                                for k in ("CONFIG", "STATE", "DATA", "CACHE")})
        try:
            self.prepare_run(search, replace, folders)
            self.vdir_summary = self.tidewell_ok("replace", "--yes").splitlines()[-1]
        finally:
            self.env = env
        return {kind: {folder: by_name(items) for folder, items in
                       put_store(self.serve(kind), self.store, folders).items()}
                for kind in kinds}


class RunTest(DavSandbox):
    """The folders found on the server, a run over contacts, events and tasks there, vdirsyncer
    after it, then its undo; on Radicale first a run with a wrong password."""

    def vdirsyncer(self, server, *commands):
        home = server.root / "vdirsyncer"
        config = home / "config"
        if not config.exists():
            login = (f'username = "{USER}"\npassword = "{PASSWORD}"\n'
                     if isinstance(server, Radicale) else "")
            text = f'[general]\nstatus_path = "{home / "status"}/"\n'
            for folder, _, components in FOLDERS:
                mirror = home / "mirror" / folder
                mirror.mkdir(parents=True)
                text += (f'[pair {folder}]\na = "{folder}_server"\nb = "{folder}_mirror"\n'
                         'collections = null\n'
                         f'[storage {folder}_server]\n'
                         f'type = "{"caldav" if components else "carddav"}"\n'
                         f'url = "{server.base.rstrip("/")}{collection_path(server, folder)}"\n'
                         + login +
                         f'[storage {folder}_mirror]\ntype = "filesystem"\npath = "{mirror}"\n'
                         f'fileext = "{".ics" if components else ".vcf"}"\n')
            config.write_text(text)
        for command in commands:
            self.run_peer("vdirsyncer", "-c", str(config), command)
        return {folder: sorted(map(values, (p.read_bytes() for p in
                                            (home / "mirror" / folder).iterdir())))
                for folder, _, _ in FOLDERS}

    def test_a_run_changes_only_its_lines_on_the_server_and_its_undo_restores_them(self):
        # Items travel inside XML, which reads every line end as LF, so a server's item is
        # written back with the line ends vCard and iCalendar prescribe: CR LF, as clients send.
        for path in self.store.rglob("*"):
            if path.suffix in (".vcf", ".ics"):
                path.write_bytes(path.read_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))
        crlf = self.root / "crlf"
        shutil.copytree(self.store, crlf)
        # What a server makes of the vdir run's files is what it must hold after the run.
        wanted = self.vdir_run("e", "E")
        for kind in (Xandikos, Radicale):
            with self.subTest(server=kind.__name__):
                self.check_run_and_undo(self.serve(kind), crlf, wanted[kind])

    def check_discovery(self, server):
        """Folders are found from the host, the account or one collection."""
        ids = (("contacts", "calendar", "tasks") if isinstance(server, Radicale) else
               ("addressbooks/contacts", "calendars/calendar", "calendars/tasks"))
        everything = dict(zip(("Contacts", "Calendar", "Tasks"), ids))
        host = f"http://{LOOPBACK}:{server.port}"
        rows = [(host, f"{host}/", everything),
                (server.account.rstrip("/"), server.account, everything),
                # One collection alone: its id is its path below its home set.
                (host + collection_path(server, "tasks"), None, {"Tasks": "tasks"})]
        for given, store_id, expected in rows:
            with self.subTest(url=given):
                listed = self.folders("--store", given)
                self.assertEqual({name: entry for name, entry, _ in listed}, expected)
                self.assertEqual({sid for _, _, sid in listed}, {store_id or given})

    def check_run_and_undo(self, server, store, wanted):
        before = put_store(server, store)
        self.check_discovery(server)
        mirrored = self.vdirsyncer(server, "discover", "sync")

        self.prepare_run("e", "E", store=server.account)
        if isinstance(server, Radicale):
            # A wrong password ends the run before anything is written.
            self.login("not-" + PASSWORD)
            journal = self.log()
            _, out, err = self.tidewell("replace", "--yes", status=2)
            self.assertIn("401 Unauthorized", err)
            self.assertEqual(read_server(server), before)
            self.assertEqual([r for r in self.log()[len(journal):] if r.get("undo")], [])
            self.login(PASSWORD)
        out = self.tidewell_ok("replace", "--yes")
        self.assertEqual(out.splitlines()[-1], self.vdir_summary)
        after = read_server(server)
        self.assertGreater(sum(before[f][h] != data for f, items in after.items()
                               for h, data in items.items()), 50)
        for folder, _, _ in FOLDERS:
            ours = by_name(after[folder])
            self.assertEqual(ours.keys(), wanted[folder].keys())
            for item, data in ours.items():
                with self.subTest(folder=folder, item=item):
                    self.assertEqual(as_held(server, data), as_held(server, wanted[folder][item]))

        # vdirsyncer sees every item the run changed, and reads each as the server holds it
        # (Radicale answers its query in a form of its own: what the items say is the same).
        synced = self.vdirsyncer(server, "sync")
        self.assertEqual(synced, {folder: sorted(map(values, items.values()))
                                  for folder, items in after.items()})
        self.assertNotEqual(synced, mirrored)

        for path in self.root.rglob("*"):
            if path.is_file() and path != self.netrc and "server-" not in str(path):
                self.assertNotIn(PASSWORD.encode(), path.read_bytes(), path)
        self.assertEqual(self.tidewell("undo", "--yes")[0], 0)
        for folder, items in read_server(server).items():
            for href, data in items.items():
                with self.subTest(undone=href):
                    self.assertEqual(as_held(server, data), as_held(server, before[folder][href]))


class TroubleTest(DavSandbox):
    """Runs that must not go through: an untrusted or plain link."""

    def test_a_private_ca_is_trusted_only_when_given(self):
        ca, key = make_tls(self.root / "tls")
        server = self.serve(Radicale, tls=(ca, key))
        put_store(server, DEMO_STORE, FOLDERS[1:2])
        status, out, err = self.tidewell("--store", server.account, "folders")
        self.assertNotEqual(status, 0, out)
        self.assertEqual(out, "")
        listed = self.folders("--store", server.account, "--ca-file", str(ca))
        self.assertEqual([(name, entry) for name, entry, _ in listed], [("Calendar", "calendar")])

    def test_a_password_never_goes_over_plain_http_to_another_host(self):
        with open(self.netrc, "a") as netrc:
            netrc.write(f"machine dav.example.invalid login {USER} password {PASSWORD}\n")
        for command in (("folders",), ("fields", "--select-all")):
            with self.subTest(command=command[0]):
                _, _, err = self.tidewell("--store", "http://dav.example.invalid/", *command,
                                          status=2)
                self.assertIn("tidewell: " + REFUSED, err.splitlines())


class KilledRunTest(DavSandbox):
    def test_a_run_killed_midway_leaves_each_item_old_or_new_and_its_undo_restores_all(self):
        shutil.rmtree(self.store)
        subprocess.run([str(SOURCE_DIR / "bench" / "make-store"), str(self.store), "--contacts",
                        "300", "--events", "0", "--tasks", "0", "--share-555", "1", "--seed",
                        "11"], check=True, capture_output=True)
        for item in (self.store / "contacts").glob("*.vcf"):
            if not radicale_reads(item.read_bytes()):
                item.unlink()
        server = self.serve(Radicale)
        before = put_store(server, self.store, CONTACTS)["contacts"]
        replaced = self.vdir_run("555", "777", CONTACTS, (Radicale,))[Radicale]["contacts"]

        self.prepare_run("555", "777", CONTACTS, store=server.account)
        journal = self.state / "activity.jsonl"
        with open(self.root / "replace.out", "wb") as out:
            run = subprocess.Popen([str(BINARY_DIR / "tidewell"), "replace", "--yes"],
                                   env=self.env, stdout=out, stderr=subprocess.STDOUT)
        # Killed once the journal holds the records of some dozens of items.
        while run.poll() is None and (not journal.exists() or
                                      journal.read_bytes().count(b"\n") < 150):
            time.sleep(0.005)
        run.send_signal(signal.SIGKILL)
        run.wait()
        self.assertEqual(run.returncode, -signal.SIGKILL, "the run ended before the kill")

        now = read_server(server, CONTACTS)["contacts"]
        self.assertEqual(now.keys(), before.keys())
        new = {h.rsplit("/", 1)[1] for h, data in now.items() if data != before[h]}
        for href, data in now.items():
            if href.rsplit("/", 1)[1] in new:
                with self.subTest(item=href):
                    self.assertEqual(values(data), values(replaced[href.rsplit("/", 1)[1]]))
        self.assertTrue(0 < len(new) < len(before), len(new))

        status, out, err = self.tidewell("undo", "--yes")
        summary, *skipped = out.splitlines() or [""]
        self.assertEqual(RESTORED.match(summary).group(2), str(len(new)), out + err)
        # The item in hand at the kill may have its journal entry cut short; nothing else skips.
        self.assertLessEqual(len(skipped), 1, out)
        if skipped:
            cut = INCOMPLETE.match(skipped[0])
            self.assertNotIn(cut.group(1).rsplit("/", 1)[-1], new, out)
        self.assertEqual(status, 1 if skipped else 0, out + err)
        for href, data in read_server(server, CONTACTS)["contacts"].items():
            with self.subTest(undone=href):
                self.assertEqual(values(data), values(before[href]))


if __name__ == "__main__":
    unittest.main()
