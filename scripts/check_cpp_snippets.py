#!/usr/bin/env python3
"""Compiles and runs the C++ code of the documentation against a built tree.

Every ```cpp block of README.md and docs/**/*.md, and every file the pages
take in with `literalinclude` (examples/cpp/main.cpp), is built with the
compiler and flags of the build tree, linked with its static core library and
the libraries that library brings, and run; a block without `main` is run as
the body of one. Fails when a block does not compile or its program fails.

Usage: check_cpp_snippets.py BUILD_DIR
"""

from __future__ import annotations

import concurrent.futures
import os
import pathlib
import re
import shlex
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
FENCE = re.compile(r"^```(?:cpp|c\+\+)[^\n]*\n(.*?)^```", re.M | re.S)
INCLUDE = re.compile(r"^```\{literalinclude\}\s+(\S+)\s*\n:language: cpp", re.M)


def snippets() -> list[tuple[str, str]]:
    """(where, code) of every C++ block of the documentation."""
    pages = [ROOT / "README.md", *sorted((ROOT / "docs").rglob("*.md"))]
    out: list[tuple[str, str]] = []
    for page in pages:
        text = page.read_text(encoding="utf-8")
        rel = page.relative_to(ROOT)
        for m in FENCE.finditer(text):
            line = text.count("\n", 0, m.start()) + 1
            out.append((f"{rel}:{line}", m.group(1)))
        for m in INCLUDE.finditer(text):
            src = (page.parent / m.group(1)).resolve()
            out.append((f"{rel} -> {src.relative_to(ROOT)}", src.read_text(encoding="utf-8")))
    return out


def as_program(code: str) -> str:
    if re.search(r"\bint\s+main\s*\(", code):
        return code
    head = [l for l in code.splitlines() if l.startswith("#include")]
    body = [l for l in code.splitlines() if not l.startswith("#include")]
    return "\n".join(head + ["int main() {"] + body + ["  return 0;", "}"]) + "\n"


def link_line(build: pathlib.Path) -> tuple[str, list[str], list[str]]:
    """(compiler, compile flags, libraries) of the build's C++ test program."""
    ninja = (build / "build.ninja").read_text(encoding="utf-8")
    m = re.search(r"^build tests/cpp/morvex_tests:.*?\n((?:  .*\n)+)", ninja, re.M)
    if not m:
        sys.exit(f"{build}: no C++ test program in build.ninja (configure with tests on)")
    libs = re.search(r"^  LINK_LIBRARIES = (.*)$", m.group(1), re.M)
    assert libs, "no LINK_LIBRARIES"
    keep = [a for a in shlex.split(libs.group(1)) if "gtest" not in a and "gmock" not in a]
    keep = [str(build / a) if a.endswith(".a") and not os.path.isabs(a) else a for a in keep]
    cache = (build / "CMakeCache.txt").read_text(encoding="utf-8")
    cxx = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache, re.M)
    includes = [f"-I{ROOT / 'include'}"]
    for inc in re.findall(r"-isystem (\S+)", ninja):
        if f"-isystem{inc}" not in includes:
            includes += ["-isystem", inc]
    return (cxx.group(1) if cxx else "c++"), ["-std=c++20", "-O1", *includes], keep + ["-pthread"]


def check(where: str, code: str, tools: tuple[str, list[str], list[str]], tmp: pathlib.Path, i: int) -> str | None:
    cxx, flags, libs = tools
    src, exe = tmp / f"snippet{i}.cpp", tmp / f"snippet{i}"
    src.write_text(as_program(code), encoding="utf-8")
    r = subprocess.run([cxx, *flags, str(src), "-o", str(exe), *libs], capture_output=True, text=True)
    if r.returncode != 0:
        return f"{where}: does not compile\n{r.stderr[-3000:]}"
    r = subprocess.run([str(exe)], capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        return f"{where}: exits with {r.returncode}\n{r.stdout[-2000:]}{r.stderr[-2000:]}"
    return None


def main() -> int:
    build = pathlib.Path(sys.argv[1]).resolve()
    tools = link_line(build)
    found = snippets()
    with tempfile.TemporaryDirectory() as d, concurrent.futures.ThreadPoolExecutor(2) as pool:
        results = list(pool.map(lambda a: check(a[1][0], a[1][1], tools, pathlib.Path(d), a[0]), enumerate(found)))
    failures = [r for r in results if r]
    for f in failures:
        print(f, file=sys.stderr)
    print(f"C++ snippets: {len(found) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures or not found else 0


if __name__ == "__main__":
    sys.exit(main())
