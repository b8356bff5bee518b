"""AES-GCM: morvex seal/open against the same work done with `cryptography`.

The reference is what a caller holding the 32 raw key bytes writes by hand:
``nonce = os.urandom(12); nonce + AESGCM(key).encrypt(nonce, data, None)`` and
``AESGCM(key).decrypt(blob[:12], blob[12:], None)``, constructing AESGCM per
call (a caller with a key text has no long-lived cipher object either). morvex
is handed the Base64 text of the same key, so its timings include key
normalisation.
"""

from __future__ import annotations

import base64
import os
import pathlib
import subprocess
import time

from cryptography.hazmat.primitives.ciphers.aead import AESGCM

import morvex
from morvex.aes import core

SIZES = [("64 B", 64), ("4 KiB", 4096), ("1 MiB", 1 << 20)]


def cases():
    raw = os.urandom(32)
    key = base64.b64encode(raw).decode()
    out = []
    for label, n in SIZES:
        data = os.urandom(n)
        blob = core.encrypt_bytes(data, key)

        def ref_seal(data=data):
            nonce = os.urandom(12)
            return nonce + AESGCM(raw).encrypt(nonce, data, None)

        def ref_open(blob=blob):
            return AESGCM(raw).decrypt(blob[:12], blob[12:], None)

        out.append((f"encrypt_bytes {label}", lambda data=data: core.encrypt_bytes(data, key), ref_seal, "cryptography AESGCM"))
        out.append((f"decrypt_bytes {label}", lambda blob=blob: core.decrypt_bytes(blob, key), ref_open, "cryptography AESGCM"))
    text = "x" * 64
    b64 = core.encrypt_str(text, key)

    def ref_encrypt_str():
        nonce = os.urandom(12)
        return base64.b64encode(nonce + AESGCM(raw).encrypt(nonce, text.encode(), None)).decode()

    def ref_decrypt_str():
        b = base64.b64decode(b64, validate=True)
        return AESGCM(raw).decrypt(b[:12], b[12:], None).decode()

    out.append(("encrypt_str 64 chars", lambda: core.encrypt_str(text, key), ref_encrypt_str, "cryptography + base64"))
    out.append(("decrypt_str 64 chars", lambda: core.decrypt_str(b64, key), ref_decrypt_str, "cryptography + base64"))
    return out


def _raw_tool() -> pathlib.Path | None:
    # The staged package lives in <build>/stage/morvex; the C++ helper in <build>.
    build = pathlib.Path(morvex.__file__).resolve().parents[2]
    exe = build / "raw_aes_gcm"
    return exe if exe.exists() else None


def extra():
    exe = _raw_tool()
    if exe is None:
        return ["raw OpenSSL comparison skipped: build/raw_aes_gcm not found"]
    res = subprocess.run([str(exe), str(1 << 20), "0.5"], capture_output=True, text=True, check=True)
    t = {k: float(v) for k, v in (line.split() for line in res.stdout.splitlines())}
    # morvex from Python at 1 MiB, best of a few rounds like the table above.
    key = base64.b64encode(os.urandom(32)).decode()
    data = os.urandom(1 << 20)
    blob = core.encrypt_bytes(data, key)

    def best(fn, n=20, rounds=5):
        b = float("inf")
        for _ in range(rounds):
            t0 = time.perf_counter()
            for _ in range(n):
                fn()
            b = min(b, (time.perf_counter() - t0) / n)
        return b * 1e6

    py_seal = best(lambda: core.encrypt_bytes(data, key))
    py_open = best(lambda: core.decrypt_bytes(blob, key))
    lines = []
    for what, py, cpp, rawt in [("seal", py_seal, t["morvex_seal"], t["raw_seal"]), ("open", py_open, t["morvex_open"], t["raw_open"])]:
        lines.append(
            f"1 MiB {what}: raw OpenSSL EVP {rawt:,.0f} µs ({(1 << 20) / rawt / 1e3:.2f} GB/s), "
            f"morvex C++ {cpp:,.0f} µs ({cpp / rawt - 1:+.1%}), morvex from Python {py:,.0f} µs ({py / rawt - 1:+.1%})"
        )
    return lines
