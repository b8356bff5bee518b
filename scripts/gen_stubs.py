#!/usr/bin/env python3
"""Regenerates the type stubs of the native module morvex._native into
python/morvex/_native/ (one .pyi per submodule) with nanobind's stubgen.

Run against a built tree: PYTHONPATH=build/<dir>/stage python scripts/gen_stubs.py
(`make stubs` does this). Private members are kept: the Python cores re-export
some of them, and the type checkers follow those imports. Docstrings are left
out: an operation's docstring lives in its binding alone, and the package
shows it at run time.
"""

from __future__ import annotations

import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
TARGET = ROOT / "python" / "morvex" / "_native"

# Fix-ups of what stubgen cannot know.
FIXES: dict[str, list[tuple[str, str]]] = {
    # Defaults name the enumerations of the quantum area.
    "quantum.pyi": [
        (r"import QuantumGeneration\nimport QuantumStrength\nimport SignatureAlgorithm\n",
         "from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm\n"),
    ],
    # Depends on the build (with or without the post-quantum backend).
    "oqs.pyi": [(r"_BACKEND_LINKED: bool = \w+", "_BACKEND_LINKED: bool")],
    "password.pyi": [(r"_HASHES: list = .*", "_HASHES: list[tuple[str, str]]")],
    # Paths are text paths.
    "stream.pyi": [(r"os\.PathLike(?!\[)", "os.PathLike[str]")],
    "rsa.pyi": [(r"_OAEP: tuple = .*", "_OAEP: tuple[str, str, str, bytes]"),
                (r"_PSS: tuple = .*", "_PSS: tuple[str, str, str, int]")],
}


def main() -> int:
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(
            [sys.executable, "-m", "nanobind.stubgen", "-q", "-r", "-P", "-D", "-m", "morvex._native", "-O", tmp],
            check=True,
        )
        out = pathlib.Path(tmp) / "_native"
        TARGET.mkdir(parents=True, exist_ok=True)
        for old in TARGET.glob("*.pyi"):
            old.unlink()
        for stub in sorted(out.glob("*.pyi")):
            text = stub.read_text()
            for pattern, repl in FIXES.get(stub.name, []):
                text, n = re.subn(pattern, repl, text)
                if n == 0:
                    print(f"gen_stubs: fix-up {pattern!r} did not apply to {stub.name}", file=sys.stderr)
                    return 1
            text = re.sub(r"\n{3,}", "\n\n\n", text).rstrip() + "\n"
            (TARGET / stub.name).write_text(text)
            print(f"wrote {(TARGET / stub.name).relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
