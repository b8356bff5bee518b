#!/usr/bin/env python3
"""Fetches the NIST ACVP sets for SLH-DSA SHA2-128f/192f/256f (keygen,
deterministic siggen, sigver) that the conformance suite runs, from the data
files of the crypto-condor package (read from its wheel, never installed), and
writes each set as JSON into DEST/acvp/slhdsa_<operation>_<parameter set>.json.

Each JSON file keeps the set's own fields: {"source", "operation", "paramset",
"tests": [{"id", "type", "comment", "flags", hex "sk", "pk", "msg", "sig",
"ctx", "skseed", "skprf", "pkseed"}]} (absent fields are empty).
A second run with every file present does nothing.
"""
import io
import json
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

PACKAGE = "crypto-condor==2025.9.8"
FOLDER = "crypto_condor/vectors/_slhdsa/pb2/"
PARAMS = ("SHA2-128f", "SHA2-192f", "SHA2-256f")
SETS = {"keygen": "slhdsa_acvp_keygen_{}.pb2", "siggen": "slhdsa_acvp_siggen_{}_det.pb2",
        "sigver": "slhdsa_acvp_sigver_{}.pb2"}

# Field numbers of the package's schema (SlhdsaVectors and SlhdsaTest).
VECTORS_FIELDS = {1: "source", 6: "tests", 7: "operation", 8: "paramset", 9: "prehash"}
TEST_FIELDS = {1: "id", 2: "type", 3: "comment", 4: "flags", 5: "sk", 6: "pk", 7: "msg", 8: "sig",
               9: "ctx", 11: "skseed", 12: "skprf", 13: "pkseed"}
TEXT = {"source", "operation", "paramset", "type", "comment", "flags"}


def varint(buf, pos):
    value = shift = 0
    while True:
        b = buf[pos]
        pos += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if b < 0x80:
            return value, pos


def fields(buf):
    """(field number, value) pairs of one message: integers or byte strings."""
    pos = 0
    while pos < len(buf):
        key, pos = varint(buf, pos)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, pos = varint(buf, pos)
        elif wire == 2:
            n, pos = varint(buf, pos)
            value, pos = buf[pos:pos + n], pos + n
        elif wire in (1, 5):
            size = 8 if wire == 1 else 4
            value, pos = buf[pos:pos + size], pos + size
        else:
            raise ValueError(f"unsupported wire type {wire}")
        yield number, value


def message(buf, names):
    out = {}
    for number, value in fields(buf):
        name = names.get(number)
        if name is None:
            continue
        if isinstance(value, (bytes, bytearray)):
            if name == "tests":
                value = message(value, TEST_FIELDS)
            elif name in TEXT:
                value = bytes(value).decode("utf-8")
            else:
                value = bytes(value).hex()
        if name in ("tests", "flags"):
            out.setdefault(name, []).append(value)
        else:
            out[name] = value
    return out


def main(dest):
    out_dir = Path(dest) / "acvp"
    targets = {(op, p): out_dir / f"slhdsa_{op}_{p}.json" for op in SETS for p in PARAMS}
    if all(t.exists() for t in targets.values()):
        return 0
    out_dir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, "-m", "pip", "download", "-q", "--no-deps", "--only-binary", ":all:",
                        "-d", tmp, PACKAGE], check=True)
        wheel = next(Path(tmp).glob("crypto_condor-*.whl"))
        with zipfile.ZipFile(wheel) as z:
            for (op, p), target in targets.items():
                data = z.read(FOLDER + SETS[op].format(p))
                vectors = message(data, VECTORS_FIELDS)
                vectors["origin"] = f"{PACKAGE}: {FOLDER}{SETS[op].format(p)}"
                text = io.StringIO()
                json.dump(vectors, text, separators=(",", ":"))
                target.write_text(text.getvalue())
    print(f"[deps] ACVP SLH-DSA sets written to {out_dir}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else ".deps/vectors"))
