"""Server logins kept where users keep them: vdirsyncer's config and a password command, against
Radicale on a free loopback port. Every run here has no terminal, so a login that had to be
asked for would end it with the server's 401."""

import subprocess
import unittest

from dav_servers import PASSWORD, USER, Radicale
from peers import BINARY_DIR, DEMO_STORE, Sandbox

CONTACTS = sorted(p for p in (DEMO_STORE / "contacts").iterdir() if p.suffix == ".vcf")[:3]


class LoginTest(Sandbox):
    def setUp(self):
        super().setUp()
        self.env["NETRC"] = str(self.root / "no-netrc")
        self.server = Radicale(self.root / "server")
        self.server.start()
        self.addCleanup(self.server.stop)
        client = self.server.client()
        client.make_address_book(f"/{USER}/contacts/", "Contacts")
        for card in CONTACTS:
            client.put(f"/{USER}/contacts/{card.name}", card.read_bytes())
        client.close()
        self.secret = self.root / "secrets" / "dav pass"
        self.secret.parent.mkdir()
        self.secret.write_text(PASSWORD + "\nthe second line is no password\n")
        self.config = self.root / "config" / "vdirsyncer" / "config"

    def vdirsyncer_config(self, login):
        self.configure("vdirsyncer/config",
                       f'[general]\nstatus_path = "~/.vdirsyncer/status/"\n'
                       '[pair contacts]\na = "contacts_local"\nb = "contacts_remote"\n'
                       'collections = ["from a", "from b"]\n'
                       '[storage contacts_local]\ntype = "filesystem"\npath = "~/contacts/"\n'
                       'fileext = ".vcf"\n'
                       f'[storage contacts_remote]\ntype = "carddav"\nurl = "{self.server.account}"\n'
                       + login)

    def without_terminal(self, *args):
        """tidewell in a session of its own: no controlling terminal to ask on."""
        done = subprocess.run([str(BINARY_DIR / "tidewell"), *args], env=self.env, input="",
                              capture_output=True, text=True, timeout=300,
                              start_new_session=True)
        return done.returncode, done.stdout, done.stderr

    def test_a_vdirsyncer_account_is_listed_and_opened_with_its_password_command(self):
        self.vdirsyncer_config(f'username = "{USER}"\n'
                               f'password.fetch = ["command", "cat", "{self.secret}"]\n')
        status, out, err = self.without_terminal("stores")
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out, f"{self.server.account}\t{self.config}\tuser: {USER}\t"
                              f"password: the command cat '{self.secret}'\n")

        collection = f"{self.server.account}contacts/"
        status, out, err = self.without_terminal("--store", collection, "folders")
        self.assertEqual(status, 0, err)
        self.assertEqual(out, f"Contacts\tcontacts\t{collection}\n")
        status, out, err = self.without_terminal(
            "--store", collection, "replace", "--yes", "--folder", "contacts", "--fields", "all",
            "--search", "e", "--replace", "E")
        self.assertEqual(status, 0, out + err)
        self.assertRegex(out.splitlines()[-1], r"^Updated [1-9]\d* items in 1 folder")

        # Nothing the runs left behind holds the password: settings, logs, journal, reports.
        for path in self.root.rglob("*"):
            if path.is_file() and path != self.secret and self.server.root not in path.parents:
                self.assertNotIn(PASSWORD.encode(), path.read_bytes(), path)
        self.assertNotIn(PASSWORD, out + err)

    def test_the_password_command_comes_before_the_config_and_a_bad_one_is_refused(self):
        self.vdirsyncer_config(f'username = "{USER}"\npassword = "not-{PASSWORD}"\n')
        collection = f"{self.server.account}contacts/"
        # The config's own password is refused by the server.
        status, out, err = self.without_terminal("--store", collection, "folders")
        self.assertEqual(status, 2, out + err)
        self.assertIn("401", err)
        rows = ((f"cat '{self.secret}'", 0, ""),
                (f"cat {self.secret}", 2, "tidewell: The password command failed (exit status "
                 f"1): cat {self.secret.parent}/dav pass\n"),
                (f"cat '{self.secret}", 2, "tidewell: --password-command: the ' quote at "
                 "character 5 is never closed.\n"))
        for command, expected, message in rows:
            with self.subTest(command=command):
                status, out, err = self.without_terminal("--store", collection,
                                                         "--password-command", command, "folders")
                self.assertEqual(status, expected, out + err)
                if message:
                    self.assertTrue(err.endswith(message), err)
                self.assertNotIn(PASSWORD, out + err)
        # The setting stands in for the option.
        self.configure("Marrowby/Marrowby.ini", f"[Host]\nPasswordCommand=cat '{self.secret}'\n")
        status, out, err = self.without_terminal("--store", collection, "folders")
        self.assertEqual(status, 0, out + err)


if __name__ == "__main__":
    unittest.main()
