#!/usr/bin/python3
"""Tidewell's job done the usual Python way, with python3-vobject: the yardstick of bench/compare.

    /usr/bin/python3 bench/vobject_replace.py --search 555 --replace 777 --journal undo.log \
        store/contacts store/calendar store/tasks

For every .vcf and .ics file of the folders: parse it with vobject, replace the search text
(any case, as a literal) in the fields a run with every field chosen searches (contacts: account,
addresses, note, phones, home page, company, e-mail addresses and their display names, file-as;
events: summary, location, start, end, description; tasks: the same texts plus due, completed,
work, mileage, billing and companies), and save a changed file as Tidewell does: old values
appended to the journal and flushed to disk first, the new file written to a temporary file,
fsynced, renamed over the old one, and the folder fsynced. A file vobject cannot read or write
back (it splits a vCard 2.1 ORG at its commas and then fails to write it) is counted and left
alone. Prints how many items changed and how many failed.
"""

import argparse
import datetime
import os
import re
import sys

import vobject

CONTACT_TEXTS = ["x-account", "note", "url", "x-evolution-file-as", "tel", "x-ms-tel"]
EVENT_TEXTS = ["summary", "location", "description"]
TASK_TEXTS = ["summary", "description", "x-actual-work", "x-total-work", "x-mileage",
              "x-billing-information", "x-companies"]
EVENT_DATES = ["dtstart", "dtend"]
TASK_DATES = ["dtstart", "due", "completed"]
ADDRESS_PARTS = ["street", "city", "region", "code", "extended"]


class Replacer:
    def __init__(self, search, replacement, journal):
        self.pattern = re.compile(re.escape(search), re.IGNORECASE)
        self.replacement = replacement
        self.journal = journal
        self.old_values = []

    def text(self, where, value):
        """`value` with every match replaced, or None when nothing matches."""
        if not isinstance(value, str) or not self.pattern.search(value):
            return None
        self.old_values.append(f"{where}: {value}")
        return self.pattern.sub(lambda _: self.replacement, value)

    def lines(self, component, name, where):
        changed = False
        for line in component.contents.get(name, []):
            new = self.text(where + ":" + name, line.value)
            if new is not None:
                line.value = new
                changed = True
        return changed

    def contact(self, card, where):
        changed = False
        for name in CONTACT_TEXTS:
            changed |= self.lines(card, name, where)
        for line in card.contents.get("org", []):
            if isinstance(line.value, list) and line.value:
                new = self.text(where + ":org", line.value[0])
                if new is not None:
                    line.value = [new] + line.value[1:]
                    changed = True
        for line in card.contents.get("email", [])[:3]:
            new = self.text(where + ":email", line.value)
            if new is not None:
                line.value = new
                changed = True
            names = line.params.get("X-DISPLAY-NAME")
            if names:
                new = self.text(where + ":email display name", names[0])
                if new is not None:
                    line.params["X-DISPLAY-NAME"] = [new]
                    changed = True
        for line in card.contents.get("adr", []):
            address = line.value
            for part in ADDRESS_PARTS:
                new = self.text(where + ":adr " + part, getattr(address, part, None))
                if new is not None:
                    setattr(address, part, new)
                    changed = True
        return changed

    def dates(self, component, names, where):
        changed = False
        for name in names:
            for line in component.contents.get(name, []):
                shown = str(line.value)
                new = self.text(where + ":" + name, shown)
                if new is None:
                    continue
                try:
                    line.value = (datetime.datetime.fromisoformat(new)
                                  if isinstance(line.value, datetime.datetime)
                                  else datetime.date.fromisoformat(new))
                    changed = True
                except ValueError:
                    self.old_values.pop()  # a date the replacement breaks stays as it was
        return changed

    def calendar(self, calendar, where):
        for kind, texts, dates in (("vevent", EVENT_TEXTS, EVENT_DATES),
                                   ("vtodo", TASK_TEXTS, TASK_DATES)):
            masters = [c for c in calendar.contents.get(kind, [])
                       if "recurrence-id" not in c.contents]
            if masters:
                changed = False
                for name in texts:
                    changed |= self.lines(masters[0], name, where)
                changed |= self.dates(masters[0], dates, where)
                return changed
        return False

    def save(self, dirfd, name, data):
        record = "".join(line.replace("\n", "\\n") + "\n" for line in self.old_values)
        os.write(self.journal, record.encode("utf-8", "replace"))
        os.fdatasync(self.journal)
        temp = f".{name}.{os.getpid()}.tmp"
        fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644, dir_fd=dirfd)
        try:
            os.write(fd, data)
            os.fsync(fd)
        finally:
            os.close(fd)
        os.rename(temp, name, src_dir_fd=dirfd, dst_dir_fd=dirfd)
        os.fsync(dirfd)

    def folder(self, folder):
        changed = unreadable = 0
        dirfd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
        try:
            for name in sorted(os.listdir(folder)):
                lower = name.lower()
                if name.startswith(".") or not lower.endswith((".vcf", ".ics")):
                    continue
                self.old_values = []
                where = os.path.join(folder, name)
                try:
                    with open(where, encoding="utf-8", errors="replace", newline="") as f:
                        item = vobject.readOne(f.read())
                    hit = (self.contact(item, where) if lower.endswith(".vcf")
                           else self.calendar(item, where))
                    data = item.serialize().encode("utf-8") if hit else None
                except Exception:  # noqa: BLE001 - any failure leaves the file alone
                    unreadable += 1
                    continue
                if data is not None:
                    self.save(dirfd, name, data)
                    changed += 1
        finally:
            os.close(dirfd)
        return changed, unreadable


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folders", nargs="+")
    parser.add_argument("--search", required=True)
    parser.add_argument("--replace", required=True)
    parser.add_argument("--journal", required=True, help="file the old values are appended to")
    args = parser.parse_args()
    journal = os.open(args.journal, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o600)
    replacer = Replacer(args.search, args.replace, journal)
    changed = unreadable = 0
    for folder in args.folders:
        c, u = replacer.folder(folder)
        changed += c
        unreadable += u
    os.close(journal)
    print(f"Updated {changed} items; {unreadable} could not be read or written")


if __name__ == "__main__":
    sys.exit(main())
