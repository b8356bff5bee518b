"""RSA and the hybrid envelope: morvex against the same work done with
`cryptography`.

morvex takes its keys as PEM text and reads them on every call, so each
reference call reads the same PEM text too (``load_pem_*_key``; the private key
without cryptography's optional RSA consistency check, which morvex's reader
does not do either) and then does what a caller writes by hand: OAEP-SHA-256
for direct blocks; for the envelope a fresh AES-256 key wrapped with OAEP,
AESGCM over the data, and the bytes put together as
``len || block || nonce || tag || ciphertext`` (and taken apart again).
"""

from __future__ import annotations

import os
import threading
import time

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives import serialization as ser
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

from morvex.hybrid import core as hybrid
from morvex.rsa import core as rsa

OAEP = padding.OAEP(mgf=padding.MGF1(hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
PSS = padding.PSS(mgf=padding.MGF1(hashes.SHA256()), salt_length=32)
SIZES = [("1 KiB", 1 << 10), ("1 MiB", 1 << 20)]

_keys: tuple[str, str] | None = None


def _pair() -> tuple[str, str]:
    global _keys
    if _keys is None:
        _keys = rsa.new_key_pair()
    return _keys


def _load_pub(pem: str):
    return ser.load_pem_public_key(pem.encode())


def _load_priv(pem: str):
    return ser.load_pem_private_key(pem.encode(), None, unsafe_skip_rsa_key_validation=True)


def cases():
    priv, pub = _pair()
    out = []

    short = os.urandom(100)
    block = rsa.encrypt_bytes(short, pub)
    out.append(("rsa encrypt_bytes 100 B (OAEP block)", lambda: rsa.encrypt_bytes(short, pub),
                lambda: _load_pub(pub).encrypt(short, OAEP), "cryptography OAEP"))
    out.append(("rsa decrypt_bytes 100 B (OAEP block)", lambda: rsa.decrypt_bytes(block, priv),
                lambda: _load_priv(priv).decrypt(block, OAEP), "cryptography OAEP"))

    for label, n in SIZES:
        data = os.urandom(n)
        env = hybrid.encrypt_bytes(data, pub)

        def ref_seal(data=data):
            key = AESGCM.generate_key(256)
            wrapped = _load_pub(pub).encrypt(key, OAEP)
            nonce = os.urandom(12)
            sealed = AESGCM(key).encrypt(nonce, data, None)
            return len(wrapped).to_bytes(4, "little") + wrapped + nonce + sealed[-16:] + sealed[:-16]

        def ref_open(env=env):
            key = _load_priv(priv).decrypt(env[4:516], OAEP)
            return AESGCM(key).decrypt(env[516:528], env[544:] + env[528:544], None)

        out.append((f"hybrid encrypt_bytes {label}", lambda data=data: hybrid.encrypt_bytes(data, pub), ref_seal,
                    "cryptography OAEP + AESGCM"))
        out.append((f"hybrid decrypt_bytes {label}", lambda env=env: hybrid.decrypt_auto(env, priv), ref_open,
                    "cryptography OAEP + AESGCM"))

    msg = os.urandom(1 << 10)
    sig = rsa.sign_bytes(msg, priv)
    out.append(("rsa sign_bytes 1 KiB (PSS)", lambda: rsa.sign_bytes(msg, priv),
                lambda: _load_priv(priv).sign(msg, PSS, hashes.SHA256()), "cryptography PSS"))

    def ref_verify():
        try:
            _load_pub(pub).verify(sig, msg, PSS, hashes.SHA256())
            return True
        except Exception:
            return False

    out.append(("rsa verify_bytes 1 KiB (PSS)", lambda: rsa.verify_bytes(msg, sig, pub), ref_verify,
                "cryptography PSS"))
    return out


def _best(fn, n: int, rounds: int = 3) -> float:
    best = float("inf")
    for _ in range(rounds):
        t0 = time.perf_counter()
        for _ in range(n):
            fn()
        best = min(best, (time.perf_counter() - t0) / n)
    return best


def extra():
    priv, pub = _pair()
    lines = []
    # What reading the key text costs per call, in each library.
    ours_pub = _best(lambda: rsa._load_public(pub), 200)
    ours_priv = _best(lambda: rsa._load_private(priv), 100)
    ref_pub = _best(lambda: _load_pub(pub), 200)
    ref_priv = _best(lambda: _load_priv(priv), 100)
    lines.append(f"PEM reading: public {ours_pub * 1e6:,.1f} µs (cryptography {ref_pub * 1e6:,.1f} µs), "
                 f"private {ours_priv * 1e6:,.1f} µs (cryptography {ref_priv * 1e6:,.1f} µs)")

    # The GIL is released for the RSA work: private-key operations on two
    # threads overlap (bounded by the cores the machine gives us).
    block = rsa.encrypt_bytes(b"x" * 32, pub)
    per_thread = 12

    def work():
        for _ in range(per_thread):
            rsa.decrypt_bytes(block, priv)

    t0 = time.perf_counter()
    work()
    work()
    serial = time.perf_counter() - t0
    threads = [threading.Thread(target=work) for _ in range(2)]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    parallel = time.perf_counter() - t0
    lines.append(f"2 x {per_thread} OAEP decryptions: {serial * 1e3:,.0f} ms on one thread, "
                 f"{parallel * 1e3:,.0f} ms on two ({serial / parallel:.2f}x; {os.cpu_count()} CPUs)")
    t0 = time.perf_counter()
    rsa.new_key_pair()
    lines.append(f"new_key_pair (RSA-4096): {time.perf_counter() - t0:.2f} s, one sample")
    return lines
