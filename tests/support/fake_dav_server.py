#!/usr/bin/python3
"""A scriptable HTTP server that plays a DAV server badly or well, for tests.

    fake_dav_server.py SCENARIO.json [--log REQUESTS.jsonl] [--tls CERT.pem KEY.pem]

Binds 127.0.0.1 on a free port, prints that port as the first line of stdout and serves until
killed (over https with --tls): HTTP/1.1 with keep-alive, one thread per connection.

The scenario is a JSON object {"auth": ..., "rules": [...]}, or just the list of rules:

auth (optional): {"user", "password", "scheme": "basic" (the default) or "digest" (MD5,
  qop=auth), "realm"}: every request must carry this login, else it gets 401 with a challenge.
rules: tried in order; the first whose "method" and "path" (with any query; "*" for any)
  match answers with "status" (default 200), "headers" and "body", or "body_repeat" {"text",
  "count"}, streamed, for huge answers. A rule with "times" answers that many requests, then
  the next matching rule applies. No matching rule: 404.

--log: every request, refused or not, is appended as one JSON line {"connection": N, "method",
  "path", "headers", "body"}; N counts TCP connections from 1, so a client that keeps its
  connection alive shows one N for all its requests.
"""

import argparse
import base64
import hashlib
import http.server
import itertools
import json
import os
import re
import secrets
import ssl
import threading


class Scenario:
    def __init__(self, data):
        if isinstance(data, list):
            data = {"rules": data}
        self.auth = data.get("auth")
        self.rules = data.get("rules", [])
        self.used = [0] * len(self.rules)
        self.lock = threading.Lock()
        self.nonces = set()

    def pick(self, method, path):
        with self.lock:
            for i, rule in enumerate(self.rules):
                if (rule.get("method", "*") in ("*", method) and rule.get("path", "*") in ("*", path)
                        and self.used[i] < rule.get("times", float("inf"))):
                    self.used[i] += 1
                    return rule
        return None


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


def parse_digest(value):
    return {name.lower(): quoted or plain
            for name, quoted, plain in re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value)}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeDav/1"
    connections = itertools.count(1)

    def setup(self):
        super().setup()
        self.connection_number = next(Handler.connections)

    def log_message(self, format, *args):  # keep stderr quiet
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        return self.rfile.read(length) if length else b""

    def log_request_line(self, body):
        log = self.server.log_path
        if not log:
            return
        entry = {"connection": self.connection_number, "method": self.command, "path": self.path,
                 "headers": dict(self.headers.items()), "body": body.decode("utf-8", "replace")}
        with self.server.log_lock, open(log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def authorized(self):
        auth = self.server.scenario.auth
        if not auth:
            return True
        given = self.headers.get("Authorization", "")
        scheme = auth.get("scheme", "basic").lower()
        if scheme == "basic" and given.startswith("Basic "):
            try:
                user, _, password = base64.b64decode(given[6:]).decode().partition(":")
            except ValueError:
                return False
            return user == auth["user"] and password == auth["password"]
        if scheme == "digest" and given.startswith("Digest "):
            f = parse_digest(given[7:])
            if f.get("username") != auth["user"] or f.get("nonce") not in self.server.scenario.nonces:
                return False
            ha1 = md5(f'{auth["user"]}:{self.realm()}:{auth["password"]}')
            ha2 = md5(f'{self.command}:{f.get("uri", "")}')
            # The challenge offers qop=auth only, so an answer without it is wrong.
            return f.get("response") == md5(f'{ha1}:{f["nonce"]}:{f.get("nc")}:{f.get("cnonce")}:'
                                            f'{f.get("qop")}:{ha2}')
        return False

    def realm(self):
        return self.server.scenario.auth.get("realm", "fake")

    def challenge(self):
        auth = self.server.scenario.auth
        if auth.get("scheme", "basic").lower() == "digest":
            nonce = secrets.token_hex(16)
            self.server.scenario.nonces.add(nonce)
            value = f'Digest realm="{self.realm()}", qop="auth", nonce="{nonce}", algorithm=MD5'
        else:
            value = f'Basic realm="{self.realm()}"'
        self.answer({"status": 401, "headers": {"WWW-Authenticate": value}, "body": "Unauthorized"})

    def handle_any(self):
        body = self.read_body()
        self.log_request_line(body)
        if not self.authorized():
            self.challenge()
            return
        rule = self.server.scenario.pick(self.command, self.path)
        if rule is None:
            rule = {"status": 404, "body": f"no rule for {self.command} {self.path}"}
        self.answer(rule)

    def answer(self, rule):
        repeat = rule.get("body_repeat", {"text": rule.get("body", ""), "count": 1})
        piece, count = repeat["text"].encode(), int(repeat["count"])
        self.send_response(int(rule.get("status", 200)))
        for name, value in rule.get("headers", {}).items():
            self.send_header(name, str(value))
        self.send_header("Content-Length", str(len(piece) * count))
        self.end_headers()
        try:
            per_block = max(1, 65536 // max(1, len(piece)))
            for start in range(0, count, per_block):
                self.wfile.write(piece * min(per_block, count - start))
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def __getattr__(self, name):
        # do_GET, do_PUT, do_PROPFIND, do_REPORT, ...: every method alike.
        if name.startswith("do_"):
            return self.handle_any
        raise AttributeError(name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("scenario")
    parser.add_argument("--log", default="")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    with open(args.scenario, encoding="utf-8") as f:
        scenario = Scenario(json.load(f))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.scenario = scenario
    server.log_path = os.path.abspath(args.log) if args.log else ""
    server.log_lock = threading.Lock()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
