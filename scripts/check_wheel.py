"""Checks a built morvex wheel before anyone installs it.

- `auditwheel show` finds a manylinux tag no newer than --max-glibc,
  and the wheel's file name carries it;
- every ELF file in the wheel needs no shared library but the C library
  (libc, libm and the dynamic loader) and libgcc_s;
- the wheel holds the typing markers (py.typed, the native module's stubs),
  morvex's own licence (LICENSE) and the licence texts of the libraries
  linked into it;
- the metadata has the version of python/morvex/version.py, Requires-Python,
  the licence expression Apache-2.0 and the `quantum` extra;
- a stable-ABI wheel (cp312-abi3) holds the module as _native.abi3.so and
  abi3audit finds no call outside the stable ABI of Python 3.12; any other
  wheel holds a module of its own CPython version.

    .venv/bin/python scripts/check_wheel.py dist/morvex-*.whl [--max-glibc 2.34]
"""

from __future__ import annotations

import argparse
import email
import io
import pathlib
import re
import subprocess
import sys
import zipfile

from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile

ROOT = pathlib.Path(__file__).resolve().parent.parent
# The system's C library (libc, libm and the dynamic loader, all part of
# glibc and of every manylinux policy) and GCC's libgcc_s, which every glibc
# system has (glibc itself loads it); libstdc++ is linked in.
ALLOWED_NEEDED = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2", "libgcc_s.so.1"}
LICENSED = ("openssl", "botan", "libmceliece")


def needed(data: bytes) -> set[str]:
    elf = ELFFile(io.BytesIO(data))
    return {
        tag.needed
        for section in elf.iter_sections()
        if isinstance(section, DynamicSection)
        for tag in section.iter_tags()
        if tag.entry.d_tag == "DT_NEEDED"
    }


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("wheel", type=pathlib.Path)
    parser.add_argument("--max-glibc", default="2.34")
    args = parser.parse_args()
    problems: list[str] = []

    tools = pathlib.Path(sys.executable).parent
    shown = subprocess.run([tools / "auditwheel", "show", str(args.wheel)],
                           capture_output=True, text=True, check=True).stdout
    flat = " ".join(shown.split())
    found = re.search(r'consistent with the following platform tag: "manylinux_(\d+)_(\d+)_x86_64"', flat)
    limit = tuple(int(x) for x in args.max_glibc.split("."))
    if not found:
        problems.append("auditwheel found no manylinux tag")
    else:
        tag = f"manylinux_{found[1]}_{found[2]}_x86_64"
        if (int(found[1]), int(found[2])) > limit:
            problems.append(f"{tag} is newer than glibc {args.max_glibc}")
        if tag not in args.wheel.name:
            problems.append(f"the file name does not carry {tag}")
        print(f"auditwheel: {tag}")

    with zipfile.ZipFile(args.wheel) as whl:
        names = whl.namelist()
        for name in names:
            data = whl.read(name)
            if data[:4] == b"\x7fELF" and needed(data) - ALLOWED_NEEDED:
                problems.append(f"{name} needs {sorted(needed(data) - ALLOWED_NEEDED)}")
        for required in ("morvex/py.typed", "morvex/_native/__init__.pyi"):
            if required not in names:
                problems.append(f"missing {required}")
        python_tag, abi_tag = args.wheel.name.split("-")[2:4]
        module = r"_native\.abi3\.so" if abi_tag == "abi3" else rf"_native\.cpython-{python_tag[2:]}-.*\.so"
        if not any(re.fullmatch(rf"morvex/{module}", n) for n in names):
            problems.append(f"missing the native module for {python_tag}-{abi_tag}")
        if not any(n.endswith(".dist-info/licenses/LICENSE") for n in names):
            problems.append("missing morvex's LICENSE")
        for lib in LICENSED:
            if not any(re.search(rf"\.dist-info/licenses/{lib}/.", n) for n in names):
                problems.append(f"missing the licence of {lib}")
        meta_name = next(n for n in names if n.endswith(".dist-info/METADATA"))
        meta = email.message_from_bytes(whl.read(meta_name))

    version = re.search(r'__version__ = "(.+)"', (ROOT / "python/morvex/version.py").read_text())
    if not version or meta["Version"] != version[1]:
        problems.append(f"metadata version {meta['Version']} is not the package's")
    if not meta["Requires-Python"]:
        problems.append("metadata lacks Requires-Python")
    if "quantum" not in (meta.get_all("Provides-Extra") or []):
        problems.append("metadata lacks the quantum extra")
    if meta["License-Expression"] != "Apache-2.0":
        problems.append(f"metadata licence is {meta['License-Expression']!r}, not Apache-2.0")

    if abi_tag == "abi3":
        audit = subprocess.run([tools / "abi3audit", "--strict", "--summary", str(args.wheel)],
                               capture_output=True, text=True)
        print(" ".join((audit.stdout + audit.stderr).split()))
        if audit.returncode != 0:
            problems.append("abi3audit found calls outside the stable ABI")

    for problem in problems:
        print(f"wheel check: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
