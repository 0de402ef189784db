"""Real CardDAV/CalDAV servers for end-to-end tests, each on a free loopback port with a fresh
storage folder: Radicale (htpasswd logins, optionally TLS), Xandikos (no logins, keeps the
bytes it is given), Cyrus IMAP's httpd (schedules, and e-mails attendees through a fake
sendmail) and sabre/dav under `php -S` (names a schedule outbox). missing() says why one cannot
run here. A DavClient makes collections and puts, reads and lists items the way any
other client would, with no part of Tidewell in the way.

Everything here talks to 127.0.0.1 only.
"""

import base64
import grp
import http.client
import imaplib
import os
import pwd
import shutil
import socket
import sqlite3
import tempfile
import ssl
import subprocess
import time
import urllib.parse
import xml.etree.ElementTree as ET
from pathlib import Path

import vobject

PYTHON = "/usr/bin/python3"
LOOPBACK = "127.0.0.1"
USER, PASSWORD = "alice", "wave-2-shore"

NS = {"d": "DAV:", "c": "urn:ietf:params:xml:ns:caldav", "a": "urn:ietf:params:xml:ns:carddav"}


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


class Server:
    """A server process; start() returns once it answers HTTP, stop() ends it."""

    scheme = "http"
    user = None
    password = None

    @classmethod
    def missing(cls):
        """Why the server cannot run here ("" when it can)."""
        return ""

    def __init__(self, root):
        self.root = Path(root)
        self.storage = self.root / "storage"
        self.port = None
        self.proc = None

    @property
    def base(self):
        return f"{self.scheme}://{LOOPBACK}:{self.port}/"

    def start(self, attempts=3):
        for _ in range(attempts):
            self.port = free_port()
            self.storage.mkdir(parents=True, exist_ok=True)
            log = open(self.root / "server.log", "ab")
            self.proc = subprocess.Popen(self.command(), stdout=log, stderr=subprocess.STDOUT,
                                         stdin=subprocess.DEVNULL, start_new_session=True,
                                         env=getattr(self, "env", None))
            log.close()
            if self._wait_until_answering():
                return self
            self.stop()
        log = (self.root / "server.log").read_text(errors="replace")
        raise RuntimeError(f"{type(self).__name__} did not start:\n{log[-3000:]}")

    def _wait_until_answering(self, at_most=30.0):
        deadline = time.monotonic() + at_most
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                return False  # the port was taken between free_port() and the bind, or worse
            try:
                conn = self.connection(timeout=2)
                conn.request("OPTIONS", "/")
                conn.getresponse().read()
                conn.close()
                return True
            except (OSError, http.client.HTTPException):
                time.sleep(0.1)
        return False

    def connection(self, timeout=60):
        if self.scheme == "https":
            context = ssl.create_default_context(cafile=str(self.tls[0]))
            return http.client.HTTPSConnection(LOOPBACK, self.port, timeout=timeout,
                                               context=context)
        return http.client.HTTPConnection(LOOPBACK, self.port, timeout=timeout)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None

    def close(self):
        self.stop()

    def client(self, timeout=60):
        return DavClient(self, timeout)


class Radicale(Server):
    """Radicale with one plain htpasswd login, USER/PASSWORD. tls, the (certificate, key)
    make_tls() returns, serves https with that certificate. Address books and calendars share the
    home set /USER/."""

    user, password = USER, PASSWORD

    @classmethod
    def missing(cls):
        found = subprocess.run([PYTHON, "-c", "import radicale"], capture_output=True)
        return "" if found.returncode == 0 else "Radicale is not installed (apt install radicale)"

    def __init__(self, root, tls=None):
        super().__init__(root)
        self.tls = tls
        self.scheme = "https" if tls else "http"

    @property
    def account(self):
        return f"{self.base}{self.user}/"

    def command(self):
        htpasswd = self.root / "htpasswd"
        htpasswd.write_text(f"{USER}:{PASSWORD}\n")
        config = self.root / "radicale.conf"
        server = f"[server]\nhosts = {LOOPBACK}:{self.port}\n"
        if self.tls:
            server += f"ssl = True\ncertificate = {self.tls[0]}\nkey = {self.tls[1]}\n"
        config.write_text(
            server + f"[auth]\ntype = htpasswd\nhtpasswd_filename = {htpasswd}\n"
            "htpasswd_encryption = plain\ndelay = 0\n"
            "[rights]\ntype = owner_only\n"
            f"[storage]\nfilesystem_folder = {self.storage}\n"
            "[logging]\nlevel = warning\n")
        return [PYTHON, "-m", "radicale", "--config", str(config)]



class Xandikos(Server):
    """Xandikos, no logins; its principal is /user/, address books under /user/contacts/ and
    calendars under /user/calendars/."""

    principal = "/user/"

    @classmethod
    def missing(cls):
        found = shutil.which("xandikos")
        return "" if found else "Xandikos is not installed (apt install xandikos)"

    @property
    def account(self):
        return f"{self.base}user/"

    def command(self):
        return ["xandikos", "-d", str(self.storage), "-l", LOOPBACK, "-p", str(self.port),
                "--autocreate", "--current-user-principal", self.principal]


CYRUS_MASTER = "/usr/sbin/cyrmaster"
CYRUS_HTTPD = "/usr/lib/cyrus/bin/httpd"

FAKE_SENDMAIL = """#!/usr/bin/python3
# Cyrus hands mail to `sendmail -bs`, speaking SMTP over stdin and stdout. This one keeps each
# message as a file of its own: its recipients on an "RCPT:" line, then the message.
import itertools, os, sys, time
folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mail")
def say(line):
    sys.stdout.write(line + "\\r\\n")
    sys.stdout.flush()
say("220 fake ESMTP")
recipients = []
for line in sys.stdin:
    verb = line.strip().upper()
    if verb.startswith("MAIL FROM"):
        recipients = []
    elif verb.startswith("RCPT TO"):
        recipients.append(line.strip()[8:].strip(" <>"))
    elif verb == "DATA":
        say("354 go on")
        body = itertools.takewhile(lambda data: data.rstrip("\\r\\n") != ".", sys.stdin)
        name = os.path.join(folder, f"{time.time_ns()}-{os.getpid()}.eml")
        with open(name + ".part", "w") as out:
            out.write("RCPT: " + " ".join(recipients) + "\\n" + "".join(body))
        os.rename(name + ".part", name)
    say("221 bye" if verb == "QUIT" else "250 OK")
    if verb == "QUIT":
        break
"""


class Cyrus(Server):
    """Cyrus IMAP's CalDAV and CardDAV, served by its master process: any password passes for
    USER (a SASL check for tests alone), scheduling is on, and the sendmail it runs to e-mail
    attendees is a fake that keeps every message in mail_folder. Cyrus services refuse to run as
    root: run by root, the master drops to the cyrus user, so the server keeps its files in a
    folder of its own that that user owns, removed by close(). The user's INBOX is made by a
    first IMAP login."""

    user, password = USER, PASSWORD

    @classmethod
    def missing(cls):
        if not (os.access(CYRUS_MASTER, os.X_OK) and os.access(CYRUS_HTTPD, os.X_OK)):
            return "Cyrus IMAP is not installed (apt install cyrus-imapd cyrus-caldav sasl2-bin)"
        if os.geteuid() == 0:
            try:
                pwd.getpwnam("cyrus")
            except KeyError:
                return "Cyrus IMAP runs as the cyrus user, which does not exist"
        return ""

    def __init__(self, root):
        super().__init__(root)
        self.root = Path(tempfile.mkdtemp(prefix="tidewell-cyrus-"))
        self.storage = self.root / "storage"
        self.imap_port = None
        if os.geteuid() == 0:
            self.run_as = pwd.getpwnam("cyrus")
            self.root.chmod(0o755)
        else:
            self.run_as = pwd.getpwuid(os.getuid())

    @property
    def account(self):
        return f"{self.base}dav/principals/user/{self.user}/"

    @property
    def mail_folder(self):
        return self.root / "mail"

    def mail(self):
        """The messages the server has sent so far, oldest first, as text."""
        return [p.read_text(errors="replace") for p in sorted(self.mail_folder.glob("*.eml"))]

    def command(self):
        self.imap_port = free_port()
        root = self.root
        for folder in ("conf", "storage", "sieve", "run/lock", "run/proc", "run/socket", "mail"):
            (root / folder).mkdir(parents=True, exist_ok=True)
        sendmail = root / "sendmail"
        sendmail.write_text(FAKE_SENDMAIL)
        sendmail.chmod(0o755)
        config = root / "imapd.conf"
        config.write_text(
            f"configdirectory: {root}/conf\ndefaultpartition: default\n"
            f"partition-default: {self.storage}\nsievedir: {root}/sieve\n"
            f"proc_path: {root}/run/proc\nmboxname_lockpath: {root}/run/lock\n"
            f"lmtpsocket: {root}/run/socket/lmtp\nidlesocket: {root}/run/socket/idle\n"
            f"notifysocket: {root}/run/socket/notify\n"
            f"cyrus_user: {self.run_as.pw_name}\n"
            f"cyrus_group: {grp.getgrgid(self.run_as.pw_gid).gr_name}\n"
            "servername: tidewell.test\nallowplaintext: yes\n"
            "sasl_pwcheck_method: alwaystrue\nsasl_mech_list: PLAIN\nautocreate_quota: 0\n"
            "httpmodules: caldav carddav\ncaldav_allowscheduling: on\nhttpallowcompress: no\n"
            f"sendmail: {sendmail}\nsyslog_prefix: tidewell-test-cyrus\n")
        services = root / "cyrus.conf"
        services.write_text(
            f'START {{\n  recover cmd="ctl_cyrusdb -r -C {config}"\n}}\n'
            f'SERVICES {{\n  imap cmd="imapd -C {config}" listen="{LOOPBACK}:{self.imap_port}"'
            f' prefork=0\n  http cmd="httpd -C {config}" listen="{LOOPBACK}:{self.port}"'
            " prefork=0\n}\nEVENTS {\n}\nDAEMON {\n}\n")
        for path in [root, *root.rglob("*")]:
            os.chown(path, self.run_as.pw_uid, self.run_as.pw_gid)
        return [CYRUS_MASTER, "-C", str(config), "-M", str(services), "-p",
                str(root / "master.pid"), "-D"]

    def start(self, attempts=3):
        super().start(attempts)
        imap = imaplib.IMAP4(LOOPBACK, self.imap_port, timeout=30)
        imap.login(self.user, self.password)
        imap.logout()
        return self

    def close(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


SABRE_LIBRARY = Path("/usr/share/php/Sabre/autoload.php")
SABRE_SCHEMA = Path("/usr/share/doc/php-sabre-dav/examples/sql")
SABRE_SERVER = Path(__file__).resolve().parent / "sabre_server.php"


class SabreDav(Server):
    """sabre/dav (Debian's php-sabre-dav) with its PDO SQLite backends under `php -S`, one Basic
    login USER/PASSWORD; principals under /principals/, homes under /calendars/ and
    /addressbooks/."""

    user, password = USER, PASSWORD
    email = f"{USER}@example.org"

    @classmethod
    def missing(cls):
        if not shutil.which("php") or not SABRE_LIBRARY.exists():
            return "sabre/dav is not installed (apt install php-sabre-dav php-cli php-sqlite3)"
        modules = subprocess.run(["php", "-m"], capture_output=True, text=True).stdout.split()
        if "pdo_sqlite" not in modules:
            return "PHP's SQLite driver is not installed (apt install php-sqlite3)"
        if not (SABRE_SCHEMA / "sqlite.calendars.sql").exists():
            return f"sabre/dav's SQL schema is missing from {SABRE_SCHEMA}"
        return ""

    @property
    def account(self):
        return f"{self.base}principals/{self.user}/"

    def command(self):
        database = self.storage / "dav.sqlite"
        if not database.exists():
            db = sqlite3.connect(database)
            for part in ("principals", "calendars", "addressbooks", "locks"):
                schema = (SABRE_SCHEMA / f"sqlite.{part}.sql").read_text()
                # The shipped schema adds an example account; this server has its own.
                db.executescript("\n".join(line for line in schema.splitlines()
                                           if not line.startswith(("INSERT", "('"))))
            principal = f"principals/{self.user}"
            db.executemany("INSERT INTO principals (uri, email, displayname) VALUES (?, ?, ?)",
                           [(principal, self.email, self.user),
                            (principal + "/calendar-proxy-read", None, None),
                            (principal + "/calendar-proxy-write", None, None)])
            db.commit()
            db.close()
        self.env = dict(os.environ, TIDEWELL_SABRE_DB=str(database),
                        TIDEWELL_SABRE_USER=self.user, TIDEWELL_SABRE_PASSWORD=self.password)
        return ["php", "-S", f"{LOOPBACK}:{self.port}", str(SABRE_SERVER)]


def make_tls(folder):
    """A certificate for 127.0.0.1 that signs itself, so that it is its own authority to trust:
    (cert.pem, key.pem)."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key),
                    "-out", str(cert), "-days", "2", "-subj", f"/CN={LOOPBACK}", "-addext",
                    f"subjectAltName = IP:{LOOPBACK},DNS:localhost"], check=True, capture_output=True)
    return cert, key


class DavClient:
    """A plain WebDAV client over one keep-alive connection: Basic login where the server has one."""

    def __init__(self, server, timeout=60):
        self.server, self.timeout, self.conn, self.headers = server, timeout, None, {}
        if server.user:
            token = base64.b64encode(f"{server.user}:{server.password}".encode()).decode()
            self.headers["Authorization"] = "Basic " + token

    def request(self, method, path, body=None, headers=None, expect=None):
        """(status, headers, body bytes); raises RuntimeError when `expect` is given and not met."""
        all_headers = dict(self.headers, **(headers or {}))
        if isinstance(body, str):
            body = body.encode("utf-8")
        for attempt in (0, 1):
            if self.conn is None:
                self.conn = self.server.connection(self.timeout)
            try:
                self.conn.request(method, path, body=body, headers=all_headers)
                response = self.conn.getresponse()
                data = response.read()
                break
            except (http.client.HTTPException, ConnectionError):
                self.conn.close()
                self.conn = None
                if attempt:
                    raise
        if expect is not None and response.status not in expect:
            raise RuntimeError(f"{method} {path}: {response.status} {response.reason}\n"
                               f"{data.decode(errors='replace')[:2000]}")
        return response.status, {k.lower(): v for k, v in response.getheaders()}, data

    def close(self):
        if self.conn:
            self.conn.close()
            self.conn = None

    # ---- collections ----

    def make_address_book(self, path, name):
        body = ('<?xml version="1.0" encoding="utf-8"?>'
                '<d:mkcol xmlns:d="DAV:" xmlns:a="urn:ietf:params:xml:ns:carddav"><d:set><d:prop>'
                '<d:resourcetype><d:collection/><a:addressbook/></d:resourcetype>'
                f'<d:displayname>{name}</d:displayname></d:prop></d:set></d:mkcol>')
        self.request("MKCOL", path, body, {"Content-Type": "application/xml"}, expect=(201,))
        return path

    def make_calendar(self, path, name, components=("VEVENT",)):
        comps = "".join(f'<c:comp name="{c}"/>' for c in components)
        body = ('<?xml version="1.0" encoding="utf-8"?>'
                '<c:mkcalendar xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:set>'
                f'<d:prop><d:displayname>{name}</d:displayname>'
                f'<c:supported-calendar-component-set>{comps}</c:supported-calendar-component-set>'
                '</d:prop></d:set></c:mkcalendar>')
        self.request("MKCALENDAR", path, body, {"Content-Type": "application/xml"},
                     expect=(201,))
        return path

    # ---- items ----

    def put(self, href, data):
        """Stores `data` (bytes or str) at href as a new item."""
        kind = "text/vcard" if href.endswith(".vcf") else "text/calendar"
        self.request("PUT", href, data, {"Content-Type": kind + "; charset=utf-8",
                                         "If-None-Match": "*"}, expect=(201, 204))

    def propfind(self, path, props, depth="1"):
        body = ('<?xml version="1.0" encoding="utf-8"?><d:propfind xmlns:d="DAV:" '
                'xmlns:c="urn:ietf:params:xml:ns:caldav" '
                f'xmlns:a="urn:ietf:params:xml:ns:carddav"><d:prop>{props}</d:prop></d:propfind>')
        _, _, data = self.request("PROPFIND", path, body,
                                  {"Depth": depth, "Content-Type": "application/xml"},
                                  expect=(207,))
        return ET.fromstring(data)

    def items(self, collection):
        """{href: bytes} of every item of a collection, fetched one GET each."""
        tree = self.propfind(collection, "<d:getetag/><d:resourcetype/>")
        hrefs = []
        for response in tree.findall("d:response", NS):
            href = urllib.parse.unquote(response.findtext("d:href", namespaces=NS))
            if href.rstrip("/") != collection.rstrip("/") and not href.endswith("/"):
                hrefs.append(href)
        return {href: self.request("GET", href, expect=(200,))[2] for href in sorted(hrefs)}


def radicale_reads(data):
    """Whether Radicale can hold the item: it reads and writes each with python3-vobject, which
    fails on some (a vCard 2.1 with commas in its ORG, say)."""
    try:
        vobject.readOne(data.decode("utf-8", "replace")).serialize()
        return True
    except Exception:  # noqa: BLE001 - whatever vobject fails on, Radicale refuses
        return False
