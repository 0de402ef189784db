"""Server logins kept where users keep them, against Radicale on a free loopback port. Every run
here has no terminal, so a login that had to be asked for would end it with the server's 401."""

import subprocess

from dav_servers import PASSWORD, USER, Radicale
from peers import BINARY_DIR, DEMO_STORE, Sandbox


class LoginTest(Sandbox):
    def without_terminal(self, *args, status=0):
        done = subprocess.run([str(BINARY_DIR / "tidewell"), *args], env=self.env, input="",
                              capture_output=True, text=True, timeout=300,
                              start_new_session=True)
        self.assertEqual(done.returncode, status, done.stdout + done.stderr)
        self.assertNotIn(PASSWORD, done.stdout + done.stderr)
        return done.stdout, done.stderr

    def test_a_vdirsyncer_account_opens_with_its_password_command_and_the_option_comes_first(self):
        self.env["NETRC"] = str(self.root / "no-netrc")
        server = Radicale(self.root / "server").start()
        self.addCleanup(server.stop)
        client = server.client()
        client.make_address_book(f"/{USER}/contacts/", "Contacts")
        for card in sorted((DEMO_STORE / "contacts").glob("*.vcf"))[:3]:
            client.put(f"/{USER}/contacts/{card.name}", card.read_bytes())
        client.close()
        secret = self.root / "secrets" / "dav pass"
        secret.parent.mkdir()
        secret.write_text(PASSWORD + "\nthe second line is no password\n")
        collection = f"{server.account}contacts/"

        def vdirsyncer(login):
            self.configure("vdirsyncer/config",
                           '[general]\nstatus_path = "~/.vdirsyncer/status/"\n'
                           '[storage contacts_local]\ntype = "filesystem"\npath = "~/contacts/"\n'
                           'fileext = ".vcf"\n[storage contacts_remote]\ntype = "carddav"\n'
                           f'url = "{server.account}"\nusername = "{USER}"\n{login}\n')

        vdirsyncer(f'password.fetch = ["command", "cat", "{secret}"]')
        out, _ = self.without_terminal("stores")
        self.assertEqual(out, f"{server.account}\t{self.root}/config/vdirsyncer/config\t"
                              f"user: {USER}\tpassword: the command cat '{secret}'\n")
        out, _ = self.without_terminal("--store", collection, "folders")
        self.assertEqual(out, f"Contacts\tcontacts\t{collection}\n")
        out, _ = self.without_terminal("--store", collection, "replace", "--yes", "--folder",
                                       "contacts", "--fields", "all", "--search", "e",
                                       "--replace", "E")
        self.assertRegex(out.splitlines()[-1], r"^Updated [1-9]\d* items in 1 folder")
        # Nothing the runs left behind holds the password: settings, logs, journal.
        for path in self.root.rglob("*"):
            if path.is_file() and path != secret and server.root not in path.parents:
                self.assertNotIn(PASSWORD.encode(), path.read_bytes(), path)

        # The option, else the setting, comes before the config's password.
        vdirsyncer(f'password = "not-{PASSWORD}"')
        self.assertIn("401", self.without_terminal("--store", collection, "folders", status=2)[1])
        self.without_terminal("--store", collection, "--password-command", f"cat '{secret}'",
                              "folders")
        self.configure("Marrowby/Marrowby.ini", f"[Host]\nPasswordCommand=cat '{secret}'\n")
        self.without_terminal("--store", collection, "folders")
