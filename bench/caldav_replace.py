#!/usr/bin/python3
"""Tidewell's server run done the usual Python way, with python3-caldav: a yardstick of
bench/dav-compare.

    NETRC=... /usr/bin/python3 bench/caldav_replace.py --search 555 --replace 777 \
        --journal undo.log http://127.0.0.1:5232/alice/contacts/

One addressbook-query REPORT reads every contact of the address book with its ETag; each is
parsed with python3-vobject and the same fields as bench/vobject_replace.py are searched; a
changed contact has its old values appended to the journal and flushed to disk, then is PUT back
with If-Match: the ETag read. The login comes from the netrc file ($NETRC, else ~/.netrc). A
contact vobject cannot read or write back is counted and left alone. Prints how many contacts
changed and how many failed.
"""

import argparse
import netrc
import os
import sys
import urllib.parse

import caldav
import vobject

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vobject_replace import Replacer  # noqa: E402

QUERY = ('<?xml version="1.0" encoding="utf-8"?>'
         '<a:addressbook-query xmlns:d="DAV:" xmlns:a="urn:ietf:params:xml:ns:carddav">'
         '<d:prop><d:getetag/><a:address-data/></d:prop></a:addressbook-query>')
DAV = "{DAV:}"
CARDDAV = "{urn:ietf:params:xml:ns:carddav}"


def login(url):
    host = urllib.parse.urlsplit(url).hostname
    found = netrc.netrc(os.environ.get("NETRC")).authenticators(host)
    return (found[0], found[2]) if found else (None, None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("url", help="the address book's URL")
    parser.add_argument("--search", required=True)
    parser.add_argument("--replace", required=True)
    parser.add_argument("--journal", required=True, help="file the old values are appended to")
    args = parser.parse_args()
    user, password = login(args.url)
    client = caldav.DAVClient(args.url, username=user, password=password)
    answer = client.report(args.url, QUERY, depth=1)
    if answer.status != 207:
        raise SystemExit(f"REPORT: {answer.status} {answer.reason}")
    journal = os.open(args.journal, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o600)
    replacer = Replacer(args.search, args.replace, journal)
    changed = failed = 0
    for response in answer.tree.iter(DAV + "response"):
        href = response.findtext(DAV + "href")
        etag = response.findtext(f".//{DAV}getetag")
        data = response.findtext(f".//{CARDDAV}address-data")
        if not data:
            continue
        replacer.old_values = []
        try:
            card = vobject.readOne(data)
            new = card.serialize() if replacer.contact(card, href) else None
        except Exception:  # noqa: BLE001 - any failure leaves the contact alone
            failed += 1
            continue
        if new is None:
            continue
        record = "".join(line.replace("\n", "\\n") + "\n" for line in replacer.old_values)
        os.write(journal, record.encode("utf-8", "replace"))
        os.fdatasync(journal)
        put = client.put(urllib.parse.urljoin(args.url, href), new.encode("utf-8"),
                         {"If-Match": etag, "Content-Type": "text/vcard; charset=utf-8"})
        if put.status in (200, 201, 204):
            changed += 1
        else:
            failed += 1
    os.close(journal)
    print(f"Updated {changed} items; {failed} could not be read or written")


if __name__ == "__main__":
    sys.exit(main())
