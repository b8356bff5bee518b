#!/usr/bin/env python3
"""Fails when the area folders of src/ include one another in a cycle.

Every `#include "<area>/..."` line in a file under src/<area>/ is an edge
from that area to the other; the areas must form layers (common at the
bottom), so that each can be read, built and tested above the ones it uses.
Prints each area with the areas it includes, then the verdict.

    python3 scripts/check_area_cycles.py
"""

from __future__ import annotations

import pathlib
import re
import sys

SRC = pathlib.Path(__file__).resolve().parent.parent / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/', re.M)


def main() -> int:
    areas = sorted(p.name for p in SRC.iterdir() if p.is_dir())
    uses: dict[str, set[str]] = {a: set() for a in areas}
    for area in areas:
        for f in (SRC / area).rglob("*"):
            if f.suffix in (".cpp", ".hpp"):
                uses[area] |= {b for b in INCLUDE.findall(f.read_text()) if b in uses and b != area}
    for area in areas:
        print(f"{area} -> {' '.join(sorted(uses[area])) or '(none)'}")

    # Depth-first search; a grey area met again closes a cycle.
    state: dict[str, int] = {}
    path: list[str] = []

    def visit(a: str) -> list[str] | None:
        state[a] = 1
        path.append(a)
        for b in sorted(uses[a]):
            if state.get(b) == 1:
                return path[path.index(b):] + [b]
            if b not in state and (cycle := visit(b)):
                return cycle
        path.pop()
        state[a] = 2
        return None

    for area in areas:
        if area not in state and (cycle := visit(area)):
            print("include cycle between the areas of src/: " + " -> ".join(cycle), file=sys.stderr)
            return 1
    print("no include cycle between the areas of src/")
    return 0


if __name__ == "__main__":
    sys.exit(main())
