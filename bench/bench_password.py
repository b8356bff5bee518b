"""Password hashing: morvex against hashlib doing the same PBKDF2 work.

The reference for hash_password is ``hashlib.pbkdf2_hmac("sha512", pw,
os.urandom(32), 210000, 64)`` (the record's JSON and Base64 cost next to
nothing); for verify_password it is reading the record with ``json`` and
``base64``, deriving with hashlib and comparing with ``hmac.compare_digest``.

extra() reports the concurrency scaling of the asynchronous area (8 awaited
hashes at once against 8 one after another) and what one derivation and one
record cost against the raw SHA-512 compressions they are made of
(bench/raw_pbkdf2.cpp), in CPU time of the calling thread.
"""

from __future__ import annotations

import asyncio
import base64
import hashlib
import hmac
import json
import os
import pathlib
import subprocess
import time

import morvex
from morvex.password import core

PASSWORD = "correct horse battery staple"
ITERATIONS = core.DEFAULT_ITERATIONS


def cases():
    pw = PASSWORD.encode()
    record = core.hash_password(PASSWORD)

    def ref_hash():
        return hashlib.pbkdf2_hmac("sha512", pw, os.urandom(32), ITERATIONS, 64)

    def ref_verify():
        r = json.loads(record)
        p = r["parameters"]
        salt = base64.b64decode(r["salt"], validate=True)
        digest = base64.b64decode(r["hash"], validate=True)
        derived = hashlib.pbkdf2_hmac(p["hashAlgorithm"].lower(), pw, salt, int(p["iterations"]), int(p["outputLength"]))
        return hmac.compare_digest(derived, digest)

    def ref_needs_rehash():
        return int(json.loads(record)["parameters"]["iterations"]) < core.UPGRADE_THRESHOLD

    # A record made elsewhere, with more members and a longer text; both sides
    # read all of it.
    wide = json.dumps({**json.loads(record), "note": "x" * 200, "history": [{"iterations": i} for i in range(20)]})

    def ref_needs_rehash_wide():
        return int(json.loads(wide)["parameters"]["iterations"]) < core.UPGRADE_THRESHOLD

    return [
        (f"hash_password {ITERATIONS} it", lambda: core.hash_password(PASSWORD), ref_hash, "hashlib.pbkdf2_hmac"),
        (f"verify_password {ITERATIONS} it", lambda: core.verify_password(PASSWORD, record), ref_verify,
         "json + hashlib + compare_digest"),
        ("needs_rehash", lambda: core.needs_rehash(record), ref_needs_rehash, "json.loads (goal: speed-up >= 1.00x)"),
        ("needs_rehash, wider record", lambda: core.needs_rehash(wide), ref_needs_rehash_wide,
         "json.loads (goal: speed-up >= 1.00x)"),
    ]


async def _sequential(n: int) -> None:
    for i in range(n):
        await morvex.password.hash(f"{PASSWORD}{i}")


async def _concurrent(n: int) -> None:
    await asyncio.gather(*(morvex.password.hash(f"{PASSWORD}{i}") for i in range(n)))


def _best(fn, rounds: int = 3, clock=time.perf_counter) -> float:
    best = float("inf")
    for _ in range(rounds):
        t0 = clock()
        fn()
        best = min(best, clock() - t0)
    return best


def _raw_tool() -> pathlib.Path | None:
    # The staged package lives in <build>/stage/morvex; the C++ helper in <build>.
    build = pathlib.Path(morvex.__file__).resolve().parents[2]
    exe = build / "raw_pbkdf2"
    return exe if exe.exists() else None


def extra():
    lines = []
    n = 8
    seq = _best(lambda: asyncio.run(_sequential(n)))
    c0, t0 = time.process_time(), time.perf_counter()
    asyncio.run(_concurrent(n))
    cpu, wall = time.process_time() - c0, time.perf_counter() - t0
    con = min(wall, _best(lambda: asyncio.run(_concurrent(n)), 2))
    lines.append(
        f"{n} awaited hashes ({ITERATIONS} it): sequential {seq * 1e3:,.0f} ms, concurrent {con * 1e3:,.0f} ms, "
        f"throughput {seq / con:.2f}x on {os.cpu_count()} cores (goal >= 1.8x on 2); "
        f"cores busy while concurrent: {cpu / wall:.2f} (load average {os.getloadavg()[0]:.1f})"
    )
    exe = _raw_tool()
    if exe is None:
        lines.append("raw SHA-512 comparison skipped: build/raw_pbkdf2 not found")
        return lines
    res = subprocess.run([str(exe), str(ITERATIONS), "5"], capture_output=True, text=True, check=True)
    t = {k: float(v) for k, v in (line.split() for line in res.stdout.splitlines())}
    blocks = int(t["blocks"])
    # This thread's CPU time, like the C++ helper's: the call runs here.
    py = _best(lambda: core.hash_password(PASSWORD), 5, time.thread_time) * 1e3
    raw = t["raw_block"] if t["raw_block"] > 0 else t["raw_stream"]
    lines.append(
        f"PBKDF2-HMAC-SHA512 {ITERATIONS} it = {blocks:,} SHA-512 compressions: raw block function {t['raw_block']:.1f} ms "
        f"({raw * 1e6 / blocks:.0f} ns/block), EVP stream of as many blocks {t['raw_stream']:.1f} ms"
    )
    lines.append(
        f"  derivation: OpenSSL PKCS5_PBKDF2_HMAC {t['openssl']:.1f} ms ({t['openssl'] / raw:.2f}x raw), "
        f"morvex C++ {t['morvex']:.1f} ms ({t['morvex'] / raw:.2f}x raw), hash_password from Python {py:.1f} ms "
        f"({py / raw:.2f}x raw)"
    )
    return lines
