#!/usr/bin/python3
"""Fails when an #include "..." in src/ or a link between the layers'
libraries points up or sideways, against the table of src/layers.txt, and
when an #include <...> names a system header its row may not use.

usage: check_layers.py SRC_DIR [LINKS_FILE]

LINKS_FILE (written by tests/CMakeLists.txt) holds one line per library:
"<library>: <linked item>;<linked item>;...".
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>')
# The C++ standard library's headers, every row's: <string>, <cstdio>, ...
STANDARD = re.compile(r'^[a-z_]+$')


class Row:
    def __init__(self, name, library, folders, uses):
        self.name, self.library, self.folders, self.uses = name, library, folders, uses


def read_table_rows(path):
    rows = []
    names = set()
    for number, text in enumerate(open(path, encoding="utf-8"), 1):
        words = text.split("#", 1)[0].split()
        if not words or words[0] == "headers":
            continue
        if len(words) < 4:
            sys.exit(f"{path}:{number}: a row is: name library folders uses...")
        name, library, folders, uses = words[0], words[1], words[2], words[3:]
        for used in uses:
            if used != "-" and used not in names:
                sys.exit(f"{path}:{number}: {name} uses {used}, which is no row above it")
        names.add(name)
        rows.append(Row(name, None if library == "-" else library, folders.split(","),
                        [u for u in uses if u != "-"]))
    return rows


def read_header_table(path, rows, src):
    """The "headers" lines: {row name or folder: [header or prefix*, ...]}."""
    names = {row.name for row in rows}
    table = {}
    for number, text in enumerate(open(path, encoding="utf-8"), 1):
        words = text.split("#", 1)[0].split()
        if not words or words[0] != "headers":
            continue
        if len(words) < 3:
            sys.exit(f"{path}:{number}: a headers line is: headers row-or-folder header...")
        key = words[1]
        if key not in names and not os.path.isdir(os.path.join(src, key)):
            sys.exit(f"{path}:{number}: {key} is neither a row nor a folder of src/")
        table.setdefault(key, []).extend(words[2:])
    return table


def may_use(header, allowed):
    return STANDARD.match(header) is not None or any(
        header.startswith(a[:-1]) if a.endswith("*") else header == a for a in allowed)


def check_includes(rows, src, headers):
    by_folder = {folder: row for row in rows for folder in row.folders}

    # "stores/*": each folder under stores/ is a layer of its own on that row,
    # so one store may not include another.
    def row_of(folder):
        row = by_folder.get(folder)
        if row is None and "/" in folder:
            row = by_folder.get(folder.rsplit("/", 1)[0] + "/*")
        return row

    def wildcard(row, folder):
        return folder not in row.folders

    faults = []
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        folder = os.path.relpath(dirpath, src).replace(os.sep, "/")
        sources = sorted(f for f in filenames if f.endswith((".h", ".cpp")))
        if not sources:
            continue
        row = row_of(folder)
        if row is None:
            faults.append(f"src/{folder} is in no row of src/layers.txt")
            continue
        allowed = headers.get(row.name, []) + headers.get(folder, [])
        for name in sources:
            path = os.path.join(dirpath, name)
            for number, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
                where = f"src/{folder}/{name}:{number}"
                system = SYSTEM_INCLUDE.match(line)
                if system and not may_use(system.group(1), allowed):
                    faults.append(f"{where}: {row.name} may not include <{system.group(1)}> "
                                  f"(no headers line of src/layers.txt allows it)")
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                if not os.path.isfile(os.path.join(src, included)):
                    faults.append(f'{where}: "{included}" is no file of src/')
                    continue
                target_folder = os.path.dirname(included)
                target = row_of(target_folder)
                if target is None:
                    faults.append(f'{where}: "{included}" is in no row of src/layers.txt')
                elif target is row and wildcard(row, folder) and target_folder != folder:
                    faults.append(f'{where}: src/{folder} may not include "{included}" '
                                  f'(another folder of {row.name})')
                elif target is not row and target.name not in row.uses:
                    faults.append(f'{where}: {row.name} may not include "{included}" ({target.name})')
    return faults


def check_links(rows, links_path):
    owner = {}
    allowed = {}
    for row in rows:
        if row.library:
            owner.setdefault(row.library, []).append(row.name)
    by_name = {row.name: row for row in rows}
    for row in rows:
        if row.library:
            allowed.setdefault(row.library, set()).update(
                by_name[u].library for u in row.uses if by_name[u].library)
    faults = []
    for line in open(links_path, encoding="utf-8"):
        if ":" not in line:
            continue
        library, linked = line.split(":", 1)
        library = library.strip()
        for item in filter(None, (i.strip() for i in linked.split(";"))):
            if item in owner and item != library and item not in allowed.get(library, ()):
                faults.append(f"{library} may not link {item} ({', '.join(owner[item])})")
    return faults


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    src = argv[1]
    table = os.path.join(src, "layers.txt")
    rows = read_table_rows(table)
    faults = check_includes(rows, src, read_header_table(table, rows, src))
    if len(argv) == 3:
        faults += check_links(rows, argv[2])
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) or link(s) against src/layers.txt")
        return 1
    print("every include and link points down src/layers.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
