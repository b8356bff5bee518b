"""Asynchronous RSA operations (each runs its core operation on the event
loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.rsa import core

__all__ = [
    "new_key_pair",
    "encrypt",
    "decrypt",
    "encrypt_bytes",
    "decrypt_bytes",
    "sign",
    "verify",
    "sign_bytes",
    "verify_bytes",
    "core",
]


async def new_key_pair() -> tuple[str, str]:
    """A fresh RSA-4096 key pair (private PEM, public PEM). See core.new_key_pair."""
    return await _run(core.new_key_pair)


async def encrypt(plaintext: str, public_pem: str) -> str:
    """Encrypt text to the public key; returns Base64 text. See core.encrypt_str."""
    return await _run(core.encrypt_str, plaintext, public_pem)


async def decrypt(ciphertext_b64: str, private_pem: str) -> str:
    """Decrypt Base64 text back to text. See core.decrypt_str."""
    return await _run(core.decrypt_str, ciphertext_b64, private_pem)


async def encrypt_bytes(data: bytes, public_pem: str) -> bytes:
    """Encrypt bytes: a direct RSA-OAEP block or an envelope. See core.encrypt_bytes."""
    return await _run(core.encrypt_bytes, data, public_pem)


async def decrypt_bytes(blob: bytes, private_pem: str) -> bytes:
    """Decrypt any RSA-side ciphertext. See core.decrypt_bytes."""
    return await _run(core.decrypt_bytes, blob, private_pem)


async def sign(plaintext: str, private_pem: str) -> str:
    """RSA-PSS signature of the text, as Base64. See core.sign_str."""
    return await _run(core.sign_str, plaintext, private_pem)


async def verify(plaintext: str, signature_b64: str, public_pem: str) -> bool:
    """Check a Base64 signature of the text. See core.verify_str."""
    return await _run(core.verify_str, plaintext, signature_b64, public_pem)


async def sign_bytes(data: bytes, private_pem: str) -> bytes:
    """RSA-PSS signature of the bytes. See core.sign_bytes."""
    return await _run(core.sign_bytes, data, private_pem)


async def verify_bytes(data: bytes, signature: bytes, public_pem: str) -> bool:
    """Check a signature of the bytes. See core.verify_bytes."""
    return await _run(core.verify_bytes, data, signature, public_pem)
