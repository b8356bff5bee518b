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
    key = base64.b64encode(os.urandom(32)).decode()
    data = os.urandom(1 << 20)
    blob = core.encrypt_bytes(data, key)

    def best_us(fn, n=10, samples=5):
        best = float("inf")
        for _ in range(samples):
            t0 = time.perf_counter()
            for _ in range(n):
                fn()
            best = min(best, (time.perf_counter() - t0) / n * 1e6)
        return best

    # Rounds alternate between the C++ tool and the Python calls, so that both
    # see the same machine; the best of each counts.
    t = {}
    for _ in range(5):
        res = subprocess.run([str(exe), str(1 << 20), "0.2"], capture_output=True, text=True, check=True)
        for line in res.stdout.splitlines():
            k, v = line.split()
            t[k] = min(t.get(k, float("inf")), float(v))
        t["py_seal"] = min(t.get("py_seal", float("inf")), best_us(lambda: core.encrypt_bytes(data, key)))
        t["py_open"] = min(t.get("py_open", float("inf")), best_us(lambda: core.decrypt_bytes(blob, key)))
    lines = []
    for what in ("seal", "open"):
        raw, cpp, py = t[f"raw_{what}"], t[f"morvex_{what}"], t[f"py_{what}"]
        lines.append(
            f"1 MiB {what}: raw OpenSSL EVP AES-256-GCM {raw:,.0f} µs ({(1 << 20) / raw / 1e3:.2f} GB/s); "
            f"morvex C++ {cpp:,.0f} µs ({cpp / raw - 1:+.1%}); morvex from Python {py:,.0f} µs ({py / raw - 1:+.1%})"
        )
    return lines
