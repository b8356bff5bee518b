"""Doxygen input filter for the public headers (see docs/Doxyfile).

The headers document themselves in plain `//` comments: the block that opens
a file describes the file, a block just above a declaration describes that
declaration, and a trailing `// ...` after an enumerator or a member
describes it. This filter rewrites those comments into Doxygen's forms
(`///`, `///<`, and a `\\file` block appended after the last line), keeping
every line where it was, so Doxygen's line numbers match the header.
"""

from __future__ import annotations

import re
import sys

RULE = re.compile(r"^\s*//\s*-{3,}\s*$")            # section rules: not documentation
BLOCK = re.compile(r"^(\s*)// ?(.*)$")               # a whole-line comment
TRAILING = re.compile(r"^(\s*[^}\s].*[,;{])(\s*)// (.*)$")  # code, then a comment


def escape(text: str) -> str:
    """Comment text as Doxygen prose: `<value>` is text, not an HTML tag.
    Doxygen takes text in double quotes literally, so only the parts outside
    quotes are escaped."""
    parts = text.split('"')
    for i in range(0, len(parts), 2):
        for ch in "\\@<>&":
            parts[i] = parts[i].replace(ch, "\\" + ch)
    return '"'.join(parts)


def convert(lines: list[str]) -> list[str]:
    out: list[str] = []
    header: list[str] = []
    for line in lines:
        after_rule = bool(out) and RULE.match(out[-1]) is not None
        if len(out) == len(header) and line.startswith("//"):
            header.append(escape(line[2:].strip()))
            out.append(line)  # stays a plain comment; documented by the \file block below
            continue
        if RULE.match(line) or after_rule:  # a section title between rules
            out.append(line)
            continue
        m = BLOCK.match(line)
        if m:
            out.append(f"{m.group(1)}/// {escape(m.group(2))}\n")
            continue
        m = TRAILING.match(line)
        if m:
            out.append(f"{m.group(1)}{m.group(2)}///< {escape(m.group(3))}\n")
            continue
        out.append(line)
    if header:
        out.append("/*! \\file\n" + "\n".join(header) + "\n*/\n")
    return out


def main() -> None:
    with open(sys.argv[1], encoding="utf-8") as f:
        sys.stdout.write("".join(convert(f.readlines())))


if __name__ == "__main__":
    main()
