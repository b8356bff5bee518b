"""Post-quantum adapter: morvex's primitive calls against the same mechanism
reached another way.

From Python, the reference for ML-KEM and ML-DSA is `cryptography` loading
the same raw public key per call (encapsulate, verify); its private keys load
only from seeds, so decapsulation and signing compare against a key object
made once. Note that `cryptography` brings its own OpenSSL, whose version
(named in the reference column) may be faster than the OpenSSL 3.5 linked
here; the like-for-like comparison is the C++ one below. FrodoKEM, Classic McEliece
and SLH-DSA have no Python reference: the extra lines time the adapter's C++
operations beside OpenSSL or Botan called directly (bench/raw_pq_primitives.cpp),
then each mechanism on each library the build carries for it (liboqs, and
OpenSSL or Botan) and the generations and signatures end to end on both
(bench/pq_providers.cpp).
"""

from __future__ import annotations

import pathlib
import subprocess

from cryptography.hazmat.backends.openssl import backend as _crypto_backend
from cryptography.hazmat.primitives.asymmetric import mldsa, mlkem

import morvex
from morvex.quantum import _oqs

MESSAGE = b"x" * 100
_THEIRS = "cryptography (" + " ".join(_crypto_backend.openssl_version_text().split()[:2]) + ")"


def cases():
    out = []
    for level in (768, 1024):
        alg = f"ML-KEM-{level}"
        pub_cls = getattr(mlkem, f"MLKEM{level}PublicKey")
        priv = getattr(mlkem, f"MLKEM{level}PrivateKey").generate()
        their_pk = priv.public_key().public_bytes_raw()
        pk, sk = _oqs.generate_keypair(alg)
        ct, _ = _oqs.encapsulate(alg, pk)
        their_ct = pub_cls.from_public_bytes(their_pk).encapsulate()[1]
        out.append((f"{alg} generate_keypair", lambda a=alg: _oqs.generate_keypair(a),
                    getattr(mlkem, f"MLKEM{level}PrivateKey").generate, _THEIRS + " generate"))
        out.append((f"{alg} encapsulate", lambda a=alg, k=pk: _oqs.encapsulate(a, k),
                    lambda c=pub_cls, k=their_pk: c.from_public_bytes(k).encapsulate(), _THEIRS + " from raw key"))
        out.append((f"{alg} decapsulate", lambda a=alg, k=sk, c=ct: _oqs.decapsulate(a, k, c),
                    lambda p=priv, c=their_ct: p.decapsulate(c), _THEIRS + " key object"))
    for bits in (44, 65, 87):
        alg = f"ML-DSA-{bits}"
        pub_cls = getattr(mldsa, f"MLDSA{bits}PublicKey")
        priv = getattr(mldsa, f"MLDSA{bits}PrivateKey").generate()
        their_pk = priv.public_key().public_bytes_raw()
        their_sig = priv.sign(MESSAGE)
        pk, sk = _oqs.sig_generate_keypair(alg)
        sig = _oqs.sig_sign(alg, sk, MESSAGE)
        out.append((f"{alg} sig_sign", lambda a=alg, k=sk: _oqs.sig_sign(a, k, MESSAGE),
                    lambda p=priv: p.sign(MESSAGE), _THEIRS + " key object"))
        out.append((f"{alg} sig_verify", lambda a=alg, k=pk, s=sig: _oqs.sig_verify(a, k, MESSAGE, s),
                    lambda c=pub_cls, k=their_pk, s=their_sig: c.from_public_bytes(k).verify(s, MESSAGE),
                    _THEIRS + " from raw key"))
    for name in [_oqs.frodo_alg(s) for s in (0, 1, 2)] + [_oqs.cmce_alg(s) for s in (0, 1, 2)]:
        pk, sk = _oqs.generate_keypair(name)
        ct, _ = _oqs.encapsulate(name, pk)
        out.append((f"{name} encapsulate", lambda a=name, k=pk: _oqs.encapsulate(a, k), None, None))
        out.append((f"{name} decapsulate", lambda a=name, k=sk, c=ct: _oqs.decapsulate(a, k, c), None, None))
    return out


def _run(exe: pathlib.Path, *args: str) -> list[str]:
    return subprocess.run([str(exe), *args], capture_output=True, text=True, check=True).stdout.splitlines()


def _providers(build: pathlib.Path) -> list[str]:
    exe = build / "pq_providers"
    if not exe.exists():
        return ["per-library comparison skipped: build/pq_providers not found"]
    lines = [
        "",
        "Each mechanism through the adapter on each library that carries it, the preferred first (CPU µs",
        "per call, key import included; the ratio is the preferred library's time over the other's):",
    ]
    e2e = [
        "",
        "End to end on the preferred libraries and on those of a build without liboqs (today); CPU µs, ratio",
        "as above:",
    ]
    for row in _run(exe, "0.1"):
        kind, what, op, *timings = row.split("\t")
        pairs = [t.split("=") for t in timings]
        cells = "  ".join(f"{name:>9} {float(us):>10,.1f}" for name, us in pairs)
        ratio = f"{float(pairs[0][1]) / float(pairs[1][1]):6.2f}x" if len(pairs) == 2 else ""
        (lines if kind == "mech" else e2e).append(f"{what:19} {op:8} {cells}  {ratio}")
    return lines + e2e


def extra():
    build = pathlib.Path(morvex.__file__).resolve().parents[2]
    exe = build / "raw_pq_primitives"
    if not exe.exists():
        return ["raw OpenSSL/Botan comparison skipped: build/raw_pq_primitives not found"]
    lines = [
        "C++ adapter vs the library called directly (CPU µs per call; for ML-KEM, decaps-vs-loaded-key sets",
        "the adapter's decapsulation from key bytes against OpenSSL's decapsulation on a key loaded once;",
        "the adapter runs on the same library here):",
    ]
    for row in _run(exe, "0.05"):
        alg, op, ours, raw = row.split()
        ours_f, raw_f = float(ours), float(raw)
        lines.append(
            f"{alg:26} {op:20} morvex {ours_f:>12,.1f}  raw {raw_f:>12,.1f}  ({ours_f / raw_f:.2f}x the raw time)"
        )
    return lines + _providers(build)
