"""Writes the frozen vectors of morvex's own formats to tests/data/vectors/.

Run once, against a built package:

    PYTHONPATH=build/release/stage .venv/bin/python scripts/gen_vectors.py

Existing files are never rewritten: a vector file is a record of what stored
data looked like when it was made, so a format change must leave it readable.
Where an independent implementation exists (`cryptography`, hashlib) every
vector is opened with it too before it is written, and some are made with it
(the legacy envelope, which morvex reads but never writes).
"""

from __future__ import annotations

import base64
import binascii
import hashlib
import json
import os
import pathlib
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

from morvex.aes import core as aes
from morvex.hybrid import core as hybrid
from morvex.password import core as password
from morvex.rsa import core as rsa

ROOT = pathlib.Path(__file__).resolve().parent.parent
KEYS = ROOT / "tests" / "data" / "keys"
OUT = ROOT / "tests" / "data" / "vectors"
OAEP = padding.OAEP(mgf=padding.MGF1(hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
TEXT = "Grüße ✓ 𝄞 — ночь"


def b64(b: bytes) -> str:
    return base64.b64encode(b).decode()


def pem(name: str) -> str:
    return (KEYS / name).read_text()


def aes_key(text: str) -> bytes:
    """Key normalisation written from its rules: strict Base64 of 32 or 64
    bytes gives the first 32, other Base64 is hashed decoded, anything else
    is hashed as UTF-8."""
    try:
        if not text or len(text) % 4 or not text.isascii() or text[-4:].count("=") > 2:
            raise binascii.Error
        raw = binascii.a2b_base64(text.encode(), strict_mode=True)
    except binascii.Error:
        return hashlib.sha256(text.encode()).digest()
    return raw[:32] if len(raw) in (32, 64) else hashlib.sha256(raw).digest()


def aes_vectors() -> dict:
    blobs = []
    for key, data in [
        ("correct horse battery staple", b"\x00"),
        ("", bytes(range(16))),
        ("pässwörd 🔑", bytes(range(256)) * 2),
        (b64(bytes(range(32))), b"32-byte key"),
        (b64(bytes(range(64, 128))), b"64-byte key: the first half counts"),
        (b64(b"twelve bytes"), b"other Base64 lengths are hashed decoded"),
    ]:
        blob = aes.encrypt_bytes(data, key)
        assert AESGCM(aes_key(key)).decrypt(blob[:12], blob[12:], None) == data
        blobs.append({"key": key, "blob": b64(blob), "plaintext": b64(data)})
    texts = []
    for key, text in [("k", "x"), ("text key", TEXT)]:
        token = aes.encrypt_str(text, key)
        blob = base64.b64decode(token)
        assert AESGCM(aes_key(key)).decrypt(blob[:12], blob[12:], None) == text.encode()
        texts.append({"key": key, "ciphertext": token, "plaintext": text})
    return {"sealed_blob": blobs, "sealed_text": texts}


def legacy_envelope(public_pem: str, data: bytes) -> bytes:
    """b"HYBR" || K (big-endian) || OAEP block of the AES key || sealed blob."""
    key, nonce = AESGCM.generate_key(256), os.urandom(12)
    block = serialization.load_pem_public_key(public_pem.encode()).encrypt(key, OAEP)
    return b"HYBR" + len(block).to_bytes(4, "big") + block + nonce + AESGCM(key).encrypt(nonce, data, None)


def open_independently(blob: bytes, private_pem: str) -> bytes:
    """The three RSA-side layouts opened with `cryptography` alone."""
    sk = serialization.load_pem_private_key(private_pem.encode(), None)
    if blob[:4] == b"HYBR":
        k = int.from_bytes(blob[4:8], "big")
        sealed = blob[8 + k :]
        return AESGCM(sk.decrypt(blob[8 : 8 + k], OAEP)).decrypt(sealed[:12], sealed[12:], None)
    if len(blob) >= 544 and blob[:4] == (512).to_bytes(4, "little"):
        key = sk.decrypt(blob[4:516], OAEP)
        return AESGCM(key).decrypt(blob[516:528], blob[544:] + blob[528:544], None)
    return sk.decrypt(blob, OAEP)


def rsa_vectors() -> dict:
    priv_a, pub_a = "rsa4096_a_private.pem", "rsa4096_a_public.pem"
    priv_2048, pub_2048 = "rsa2048_private.pem", "rsa2048_public.pem"
    sk_a = serialization.load_pem_private_key(pem(priv_a).encode(), None)
    out: dict[str, list] = {"direct_block": [], "envelope": [], "legacy_envelope": [], "pss_signature": []}

    def add(kind: str, blob: bytes, data: bytes, key: str = priv_a) -> None:
        assert open_independently(blob, pem(key)) == data
        out[kind].append({"private_key": key, "ciphertext": b64(blob), "plaintext": b64(data)})

    for data in [b"\x01", TEXT.encode(), bytes(range(223)) * 2]:  # up to 446 bytes
        add("direct_block", rsa.encrypt_bytes(data, pem(pub_a)), data)
    add("direct_block", sk_a.public_key().encrypt(b"", OAEP), b"")  # the writer never makes an empty one
    for data in [b"\x02", TEXT.encode(), bytes(range(256)) * 20]:
        add("envelope", hybrid.encrypt_bytes(data, pem(pub_a)), data)
    add("envelope", rsa.encrypt_bytes(b"\x03" * 447, pem(pub_a)), b"\x03" * 447)
    for data, pub, priv in [(b"old", pub_a, priv_a), (TEXT.encode(), pub_a, priv_a), (b"2048-bit block", pub_2048, priv_2048)]:
        add("legacy_envelope", legacy_envelope(pem(pub), data), data, priv)

    pss32 = padding.PSS(mgf=padding.MGF1(hashes.SHA256()), salt_length=32)
    pk_a = sk_a.public_key()
    for data in [b"", TEXT.encode(), bytes(range(256))]:
        sig = rsa.sign_bytes(data, pem(priv_a))
        pk_a.verify(sig, data, pss32, hashes.SHA256())
        out["pss_signature"].append({"public_key": pub_a, "data": b64(data), "signature": b64(sig), "valid": True})
    theirs = sk_a.sign(b"made elsewhere", pss32, hashes.SHA256())
    other_salt = sk_a.sign(b"salt of 20", padding.PSS(mgf=padding.MGF1(hashes.SHA256()), salt_length=20), hashes.SHA256())
    out["pss_signature"] += [
        {"public_key": pub_a, "data": b64(b"made elsewhere"), "signature": b64(theirs), "valid": True},
        {"public_key": pub_a, "data": b64(b"salt of 20"), "signature": b64(other_salt), "valid": False},
    ]
    return out


def password_vectors() -> dict:
    records = []
    for pw, iterations in [("correct horse", 1000), ("pässwörd 🔑", 210000)]:
        rec = password.hash_password(pw, iterations)
        fields = json.loads(rec)
        digest = hashlib.pbkdf2_hmac("sha512", pw.encode(), base64.b64decode(fields["salt"]), iterations, 64)
        assert base64.b64decode(fields["hash"]) == digest
        rehash = iterations < 210000
        records.append({"record": rec, "password": pw, "verifies": True, "needs_rehash": rehash})
        records.append({"record": rec, "password": pw + " ", "verifies": False, "needs_rehash": rehash})
    # A SHA-256 record of another output length, written by hashlib and json.
    salt = b"salt made elsewhere"
    sha256 = {"algorithm": "pbkdf2", "createdUtc": "2020-02-02T02:02:02Z",
              "hash": b64(hashlib.pbkdf2_hmac("sha256", b"s3cret", salt, 300000, 32)),
              "parameters": {"hashAlgorithm": "SHA256", "iterations": 300000, "outputLength": 32, "saltLength": len(salt)},
              "salt": b64(salt), "version": 2}
    records.append({"record": json.dumps(sha256), "password": "s3cret", "verifies": True, "needs_rehash": False})
    for case in records:
        assert password.verify_password(case["password"], case["record"]) is case["verifies"]
        assert password.needs_rehash(case["record"]) is case["needs_rehash"]
    return {"record": records}


def quantum_vectors(generations: list[tuple[int, int]], signatures: bool) -> dict:
    from morvex.quantum import core as quantum

    out: dict[str, list] = {"generation": []}
    for gen, strength in generations:
        pub, priv = quantum.generate_keypair(gen, strength)
        for text in ([TEXT, ""] if strength == 0 else [TEXT]):
            secret, message = quantum.encrypt(text, pub)
            assert quantum.decrypt(message, priv, secret) == text
            out["generation"].append({"generation": gen, "strength": strength, "private_key": b64(priv),
                                      "secret": b64(secret), "message": b64(message), "plaintext": text})
    if signatures:
        out["signature"] = []
        for alg in (1, 2):
            for strength in (0, 1, 2):
                pub, priv = quantum.generate_signature_keypair(alg, strength)
                data = f"signed by {alg}/{strength}".encode()
                sig = quantum.sign(data, priv)
                out["signature"].append({"algorithm": alg, "strength": strength, "public_key": b64(pub),
                                         "data": b64(data), "signature": b64(sig)})
    return out


def main() -> int:
    OUT.mkdir(parents=True, exist_ok=True)
    makers = {
        "aes.json": aes_vectors,
        "rsa.json": rsa_vectors,
        "password.json": password_vectors,
        # Classic McEliece private keys are small (about 14 kB); their public
        # keys (about 1 MB) are not needed to decrypt and are not stored.
        "quantum_gen2_gen5.json": lambda: quantum_vectors([(2, 0), (5, 0)], signatures=False),
        "quantum.json": lambda: quantum_vectors(
            [(4, 2)] + [(g, s) for g in (6, 7, 8) for s in (0, 1, 2)], signatures=True),
    }
    for name, make in makers.items():
        path = OUT / name
        if path.exists():
            print(f"{name}: kept (frozen)")
            continue
        path.write_text(json.dumps(make(), indent=1, ensure_ascii=False) + "\n")
        print(f"{name}: written, {path.stat().st_size} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
