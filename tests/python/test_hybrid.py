"""Hybrid envelope area: surface, the envelope as another tool reads it, and
the legacy envelope built by hand with `cryptography`'s primitives."""

from __future__ import annotations

import base64
import os
import re

import pytest
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives import serialization as ser
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

import morvex
from morvex import DecryptionError, sync
from morvex.hybrid import core

OAEP = padding.OAEP(mgf=padding.MGF1(hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
LEGACY_INVALID = "Invalid hybrid data (legacy Swift format)"
NOT_GCM = (
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data)."
)


def public_key(pub: str):
    return ser.load_pem_public_key(pub.encode())


def legacy_envelope(pub: str, data: bytes, key: bytes | None = None) -> bytes:
    """b"HYBR" || K (big-endian) || OAEP block of the key || nonce || ct || tag."""
    key = key if key is not None else AESGCM.generate_key(256)
    block = public_key(pub).encrypt(key, OAEP)
    nonce = os.urandom(12)
    return b"HYBR" + len(block).to_bytes(4, "big") + block + nonce + AESGCM(key).encrypt(nonce, data, None)


def test_surface_names_and_facade():
    assert morvex.hybrid.__all__ == ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]
    assert (core.RSA_BLOCK, core.NONCE, core.TAG, core.HYBR) == (512, 12, 16, b"HYBR")
    members = [n for n in vars(type(sync.hybrid)) if not n.startswith("_")]
    assert members == ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes"]
    assert sync.hybrid.decrypt_bytes is core.decrypt_auto and sync.hybrid.encrypt is core.encrypt_str
    assert callable(core._net_decrypt) and callable(core._legacy_decrypt)


def test_envelope_layout(rsa_pair):
    priv, pub = rsa_pair
    env = core.encrypt_bytes(b"\x01", pub)
    assert len(env) == 545 and env[:4] == b"\x00\x02\x00\x00"
    assert core._net_decrypt(env, priv) == b"\x01"
    text = "envelope \u2603"
    b64 = sync.hybrid.encrypt(text, pub)
    assert len(base64.b64decode(b64, validate=True)) == 544 + len(text.encode())
    assert sync.hybrid.decrypt(b64, priv) == text == sync.rsa.decrypt(b64, priv)


def test_legacy_envelope_by_hand_opens_everywhere(rsa_pair):
    priv, pub = rsa_pair
    data = b"written long ago" * 50
    blob = legacy_envelope(pub, data)
    assert core.decrypt_auto(blob, priv) == data
    assert core._legacy_decrypt(blob, priv) == data
    assert sync.rsa.decrypt_bytes(blob, priv) == data
    assert sync.hybrid.decrypt(base64.b64encode(legacy_envelope(pub, b"text")).decode(), priv) == "text"
    # Exactly one byte after the RSA block: the key decrypts, the AES reader
    # finds the sealed blob too short.
    with pytest.raises(DecryptionError) as info:
        core.decrypt_auto(blob[: 8 + 512 + 1], priv)
    assert str(info.value) == NOT_GCM
    # The length field reaching to the end or beyond: refused before the key.
    for k in (len(blob) - 8, 2**32 - 1, 2**32 - 8):
        bad = blob[:4] + k.to_bytes(4, "big") + blob[8:]
        with pytest.raises(DecryptionError, match=f"^{re.escape(LEGACY_INVALID)}$"):
            core.decrypt_auto(bad, "not a key")
    with pytest.raises(DecryptionError, match=f"^{re.escape(LEGACY_INVALID)}$"):
        core.decrypt_auto(b"HYBR\x00\x00\x00\x00", priv)


def test_detection_through_the_binding(rsa_pair):
    priv, pub = rsa_pair
    # Each reader is reached from the zero-copy path and the plain one.
    env = core.encrypt_bytes(b"z" * 100, pub)
    tampered = bytearray(env)
    tampered[-1] ^= 1
    with pytest.raises(DecryptionError, match=r"^Hybrid AES-GCM decryption failed \(wrong key or tampered data\)$"):
        core.decrypt_auto(tampered, priv)
    for blob in (b"", b"HYBRxyz", env[:543]):
        with pytest.raises(DecryptionError, match=r"^RSA decryption failed: .+"):
            core.decrypt_auto(blob, priv)
    # A blob too short for the envelope's fields, given to its reader directly.
    with pytest.raises(DecryptionError):
        core._net_decrypt(b"\x00\x02\x00\x00", priv)


@pytest.mark.asyncio
async def test_async_area(rsa_pair):
    priv, pub = rsa_pair
    c = await morvex.hybrid.encrypt("hi", pub)
    assert await morvex.hybrid.decrypt(c, priv) == "hi"
    env = await morvex.hybrid.encrypt_bytes(b"bytes", pub)
    assert await morvex.hybrid.decrypt_bytes(env, priv) == b"bytes"
    assert await morvex.hybrid.decrypt_bytes(legacy_envelope(pub, b"old"), priv) == b"old"
    with pytest.raises(DecryptionError, match="^Ciphertext is not valid Base64$"):
        await morvex.hybrid.decrypt("!", priv)
