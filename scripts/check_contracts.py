#!/usr/bin/env python3
"""Fails when the two copies of an operation's contract drift apart.

An operation's contract is written twice: for C++ callers in the comment of
its declaration in include/morvex/<area>.hpp, for Python callers in the
docstring of its binding, which the core operation, its awaited form and the
facade member all show. For every public operation of every area this checks
that the errors the docstring lists under "Raises:" are the ones the header
comment names (C++ classes by the Python class a caller gets), and that each
form has a signature, a docstring and its public name.

Run against a built tree (`make test` does):
PYTHONPATH=build/<dir>/stage python scripts/check_contracts.py
"""

from __future__ import annotations

import inspect
import pathlib
import re
import sys

import morvex
from morvex import errors, sync

HEADERS = pathlib.Path(__file__).resolve().parent.parent / "include" / "morvex"
AREAS = ["aes", "rsa", "hybrid", "password", "quantum", "stream"]
# How a C++ failure reaches a Python caller.
AS_PYTHON = {
    **{name: name for name in errors.__all__},
    "std::invalid_argument": "ValueError",
    "std::out_of_range": "IndexError",
    "PrimitiveError": "RuntimeError",
    "IoError": "OSError",
}
NAMED = re.compile(r"(?<![\w:])(" + "|".join(map(re.escape, AS_PYTHON)) + r")\b")


def header_errors(lines: list[str], name: str) -> set[str]:
    """The errors named by the comment above a declaration (or above the
    group of declarations, without a blank line, that it ends)."""
    decl = re.compile(rf"^[A-Za-z].*[\s*&]{name}\(")
    at = next(i for i, line in enumerate(lines) if decl.match(line))
    while at > 0 and lines[at - 1].strip() and not lines[at - 1].lstrip().startswith("//"):
        at -= 1
    comment = []
    while at > 0 and lines[at - 1].lstrip().startswith("//"):
        at -= 1
        comment.append(lines[at])
    return {AS_PYTHON[m] for m in NAMED.findall(" ".join(comment))}


def docstring_errors(doc: str) -> set[str]:
    section = re.search(r"^Raises:\n((?:[ ]{4}.*\n?|\n)*)", doc, re.M)
    return set(re.findall(r"^[ ]{4}(\w+):", section.group(1), re.M)) if section else set()


def main() -> int:
    problems: list[str] = []
    for area in AREAS:
        mod, facade = getattr(morvex, area), getattr(sync, area)
        lines = (HEADERS / f"{area}.hpp").read_text().splitlines()
        for name in mod.__all__:
            fn = getattr(mod, name)
            if not inspect.iscoroutinefunction(fn):
                continue  # the core area, classes and enumerations
            core = fn.__wrapped__
            forms = {f"{area}.{name}": (fn, name), f"sync.{area}.{name}": (getattr(facade, name), core.__name__),
                     f"{area}.core.{core.__name__}": (core, core.__name__)}
            for where, (form, spelling) in forms.items():
                try:
                    inspect.signature(form)
                except (TypeError, ValueError) as e:
                    problems.append(f"{where}: no signature ({e})")
                if not inspect.getdoc(form) or form.__name__ != spelling:
                    problems.append(f"{where}: needs a docstring and the name {spelling!r}")
            said = header_errors(lines, core.__name__)
            listed = docstring_errors(inspect.getdoc(core) or "")
            if said != listed:
                problems.append(f"{area}.core.{core.__name__}: the docstring raises {sorted(listed)}, "
                                f"include/morvex/{area}.hpp names {sorted(said)}")
    for p in problems:
        print(f"check_contracts: {p}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
