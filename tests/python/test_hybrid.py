"""Hybrid envelope area through the binding, and the legacy envelope built by
hand with `cryptography`'s primitives."""

from __future__ import annotations

import base64
import os

import pytest
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives import serialization as ser
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

import morvex
from morvex import DecryptionError, sync
from morvex.hybrid import core

OAEP = padding.OAEP(mgf=padding.MGF1(hashes.SHA256()), algorithm=hashes.SHA256(), label=None)


def legacy_envelope(pub: str, data: bytes) -> bytes:
    """b"HYBR" || K (big-endian) || OAEP block of the key || nonce || ct || tag."""
    key, nonce = AESGCM.generate_key(256), os.urandom(12)
    block = ser.load_pem_public_key(pub.encode()).encrypt(key, OAEP)
    return b"HYBR" + len(block).to_bytes(4, "big") + block + nonce + AESGCM(key).encrypt(nonce, data, None)


def test_legacy_envelope_by_hand_opens_everywhere(rsa_pair):
    priv, pub = rsa_pair
    data = b"written long ago" * 50
    blob = legacy_envelope(pub, data)
    assert core.decrypt_auto(blob, priv) == core._legacy_decrypt(blob, priv) == data
    assert sync.rsa.decrypt_bytes(blob, priv) == data
    assert sync.hybrid.decrypt(base64.b64encode(legacy_envelope(pub, b"text")).decode(), priv) == "text"


def test_errors_from_the_zero_copy_and_the_plain_path(rsa_pair):
    priv, pub = rsa_pair
    tampered = bytearray(core.encrypt_bytes(b"z" * 100, pub))
    tampered[-1] ^= 1
    with pytest.raises(DecryptionError, match=r"^Hybrid AES-GCM decryption failed \(wrong key or tampered data\)$"):
        core.decrypt_auto(tampered, priv)
    with pytest.raises(DecryptionError, match=r"^RSA decryption failed: .+"):
        core.decrypt_auto(bytes(tampered[:543]), priv)


@pytest.mark.asyncio
async def test_async_area(rsa_pair):
    priv, pub = rsa_pair
    assert await morvex.hybrid.decrypt(await morvex.hybrid.encrypt("hi", pub), priv) == "hi"
    assert await morvex.hybrid.decrypt_bytes(await morvex.hybrid.encrypt_bytes(b"bytes", pub), priv) == b"bytes"
    assert await morvex.hybrid.decrypt_bytes(legacy_envelope(pub, b"old"), priv) == b"old"
    with pytest.raises(DecryptionError, match="^Ciphertext is not valid Base64$"):
        await morvex.hybrid.decrypt("!", priv)
