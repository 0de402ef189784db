#!/usr/bin/env python3
"""Prints the size of the tests against the size of the code they test.

A line counts when it is neither blank nor a comment line: tests count their
.cpp, .h and .py files under tests/ (tests/data left out) without lines that
start with // or #; the code counts .cpp and .h files under src/ without lines
that start with //. Leading whitespace does not matter.
"""
import os
import pathlib

ROOT = pathlib.Path(__file__).resolve().parent.parent


def count(folder, suffixes, comments, skip=None):
    total = 0
    for dirpath, dirnames, filenames in os.walk(folder):
        if skip is not None:
            dirnames[:] = [d for d in dirnames if pathlib.Path(dirpath, d) != skip]
        for name in filenames:
            if pathlib.Path(name).suffix not in suffixes:
                continue
            with open(pathlib.Path(dirpath, name), encoding="utf-8", errors="replace") as f:
                for line in f:
                    text = line.strip()
                    if text and not text.startswith(comments):
                        total += 1
    return total


tests = count(ROOT / "tests", {".cpp", ".h", ".py"}, ("//", "#"), skip=ROOT / "tests" / "data")
code = count(ROOT / "src", {".cpp", ".h"}, ("//",))
print(f"tests: {tests} lines")
print(f"code: {code} lines")
print(f"ratio: {100 * tests / code:.0f}%")
