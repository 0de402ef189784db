"""Real CardDAV/CalDAV servers for end-to-end tests, each on a free loopback port with a fresh
storage folder: Radicale (htpasswd logins, optionally TLS) and Xandikos (no logins, keeps the
bytes it is given). A DavClient makes collections and puts, reads and lists items the way any
other client would, with no part of Tidewell in the way.

Everything here talks to 127.0.0.1 only.
"""

import base64
import http.client
import json
import re
import socket
import ssl
import subprocess
import sys
import tempfile
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


class ServerFailed(RuntimeError):
    pass


class Server:
    """A server process; start() returns once it answers HTTP, stop() ends it."""

    scheme = "http"
    user = None
    password = None

    def __init__(self, root=None):
        if root is None:
            self._tmp = tempfile.TemporaryDirectory(prefix="tidewell-dav-")
            root = self._tmp.name
        self.root = Path(root)
        self.storage = self.root / "storage"
        self.port = None
        self.proc = None

    @property
    def base(self):
        return f"{self.scheme}://{LOOPBACK}:{self.port}/"

    def command(self):
        raise NotImplementedError

    def ssl_context(self):
        return None

    def start(self, attempts=3):
        for _ in range(attempts):
            self.port = free_port()
            self.storage.mkdir(parents=True, exist_ok=True)
            log = open(self.root / "server.log", "ab")
            self.proc = subprocess.Popen(self.command(), stdout=log, stderr=subprocess.STDOUT,
                                         stdin=subprocess.DEVNULL, start_new_session=True)
            log.close()
            if self._wait_until_answering():
                return self
            self.stop()
        raise ServerFailed(f"{type(self).__name__} did not start:\n{self.log_text()[-3000:]}")

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
            return http.client.HTTPSConnection(LOOPBACK, self.port, timeout=timeout,
                                               context=self.ssl_context())
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
        if getattr(self, "_tmp", None):
            self._tmp.cleanup()

    def log_text(self):
        path = self.root / "server.log"
        return path.read_text(errors="replace") if path.exists() else ""

    def client(self, user=None, password=None, timeout=60):
        return DavClient(self, user or self.user, password or self.password, timeout)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()


class Radicale(Server):
    """Radicale with plain htpasswd logins (USER/PASSWORD unless told otherwise). tls, the
    (ca, certificate, key) make_tls() returns, serves https with that certificate; hook is a shell
    command Radicale runs in its storage folder after every change, before it answers. Address
    books and calendars share the home set /USER/."""

    user, password = USER, PASSWORD

    def __init__(self, root=None, users=None, tls=None, hook=None):
        super().__init__(root)
        self.users = users or {USER: PASSWORD}
        self.tls = tls
        self.hook = hook
        self.scheme = "https" if tls else "http"
        self.ca_file = tls[0] if tls else None

    @property
    def account(self):
        return f"{self.base}{self.user}/"

    def command(self):
        htpasswd = self.root / "htpasswd"
        htpasswd.write_text("".join(f"{u}:{p}\n" for u, p in self.users.items()))
        config = self.root / "radicale.conf"
        server = f"[server]\nhosts = {LOOPBACK}:{self.port}\n"
        if self.tls:
            server += f"ssl = True\ncertificate = {self.tls[1]}\nkey = {self.tls[2]}\n"
        config.write_text(
            server + f"[auth]\ntype = htpasswd\nhtpasswd_filename = {htpasswd}\n"
            "htpasswd_encryption = plain\ndelay = 0\n"
            "[rights]\ntype = owner_only\n"
            f"[storage]\nfilesystem_folder = {self.storage}\n"
            + (f"hook = {self.hook}\n" if self.hook else "") +
            "[logging]\nlevel = warning\n")
        return [PYTHON, "-m", "radicale", "--config", str(config)]

    def ssl_context(self):
        return ssl.create_default_context(cafile=str(self.ca_file))


class Xandikos(Server):
    """Xandikos, no logins; its principal is /user/, address books under /user/contacts/ and
    calendars under /user/calendars/."""

    principal = "/user/"

    @property
    def account(self):
        return f"{self.base}user/"

    def command(self):
        return ["xandikos", "-d", str(self.storage), "-l", LOOPBACK, "-p", str(self.port),
                "--autocreate", "--current-user-principal", self.principal]


class FakeServer:
    """tests/support/fake_dav_server.py playing the rules of `scenario` (see its docstring);
    requests() gives back what it was asked, in order."""

    def __init__(self, root, scenario):
        self.root = Path(root)
        self.root.mkdir(parents=True, exist_ok=True)
        (self.root / "scenario.json").write_text(json.dumps(scenario))
        self.log = self.root / "requests.jsonl"
        script = Path(__file__).resolve().parents[1] / "support" / "fake_dav_server.py"
        self.errors = open(self.root / "server.log", "wb")
        self.proc = subprocess.Popen([PYTHON, str(script), str(self.root / "scenario.json"),
                                      "--log", str(self.log)], stdout=subprocess.PIPE,
                                     stderr=self.errors,
                                     stdin=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline())
        self.base = f"http://{LOOPBACK}:{self.port}/"

    def requests(self):
        if not self.log.exists():
            return []
        return [json.loads(line) for line in self.log.read_text().splitlines() if line.strip()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.proc.stdout.close()
        self.errors.close()


def make_tls(folder, host_names=("localhost",), ip=LOOPBACK):
    """A private CA and a server certificate it signs for 127.0.0.1: (ca.pem, cert.pem, key.pem)."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    ca_key, ca, key, csr, cert = (folder / n for n in
                                  ("ca.key", "ca.pem", "server.key", "server.csr", "server.pem"))
    ext = folder / "server.ext"
    ext.write_text("subjectAltName = " + ",".join([f"IP:{ip}"] + [f"DNS:{h}" for h in host_names])
                   + "\nbasicConstraints = CA:FALSE\nkeyUsage = digitalSignature, keyEncipherment\n"
                   "extendedKeyUsage = serverAuth\n")

    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(ca_key), "-out",
            str(ca), "-days", "2", "-subj", "/CN=Tidewell Test CA")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out", str(csr), "-subj",
            f"/CN={ip}")
    openssl("x509", "-req", "-in", str(csr), "-CA", str(ca), "-CAkey", str(ca_key),
            "-CAcreateserial", "-out", str(cert), "-days", "2", "-extfile", str(ext))
    return ca, cert, key


class DavError(RuntimeError):
    pass


class DavClient:
    """A plain WebDAV client over one keep-alive connection: Basic login when a user is given."""

    def __init__(self, server, user=None, password=None, timeout=60):
        self.server = server
        self.timeout = timeout
        self.headers = {}
        if user:
            token = base64.b64encode(f"{user}:{password}".encode()).decode()
            self.headers["Authorization"] = "Basic " + token
        self.conn = None

    def request(self, method, path, body=None, headers=None, expect=None):
        """(status, headers, body bytes); raises DavError when `expect` is given and not met."""
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
            raise DavError(f"{method} {path}: {response.status} {response.reason}\n"
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

    def home(self):
        """The account's home path (the same for both kinds on Radicale)."""
        return urllib.parse.urlsplit(self.server.account).path

    # ---- items ----

    def put(self, href, data, etag=None):
        """Stores `data` (bytes or str) at href as a new item, or over `etag`: the new ETag."""
        kind = "text/vcard" if href.endswith(".vcf") else "text/calendar"
        headers = {"Content-Type": kind + "; charset=utf-8"}
        headers["If-Match" if etag else "If-None-Match"] = etag or "*"
        _, got, _ = self.request("PUT", href, data, headers, expect=(201, 204))
        return got.get("etag") or self.etag(href)

    def get(self, href):
        """(bytes, ETag) of one item."""
        _, headers, data = self.request("GET", href, expect=(200,))
        return data, headers.get("etag")

    def etag(self, href):
        return self.get(href)[1]

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
        return {href: self.get(href)[0] for href in sorted(hrefs)}

    def display_name(self, collection):
        tree = self.propfind(collection, "<d:displayname/>", depth="0")
        return tree.findtext(".//d:displayname", namespaces=NS)


def radicale_reads(data):
    """Whether Radicale can hold the item: it reads and writes each with python3-vobject, which
    fails on some (a vCard 2.1 with commas in its ORG, say)."""
    try:
        vobject.readOne(data.decode("utf-8", "replace")).serialize()
        return True
    except Exception:  # noqa: BLE001 - whatever vobject fails on, Radicale refuses
        return False


def unfolded(data):
    """The content lines of a vCard or iCalendar text, unfolded, line ends dropped."""
    text = data.decode("utf-8") if isinstance(data, bytes) else data
    return re.sub(r"\r?\n[ \t]", "", text).splitlines()


if __name__ == "__main__":
    # A quick look by hand: python3 dav_servers.py radicale|xandikos keeps one running.
    kind = sys.argv[1] if len(sys.argv) > 1 else "radicale"
    with (Radicale() if kind == "radicale" else Xandikos()) as server:
        print(server.account, flush=True)
        try:
            server.proc.wait()
        except KeyboardInterrupt:
            pass
