"""Asynchronous AES-256-GCM operations (each runs its core operation on the
event loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.aes import core

__all__ = ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]


async def encrypt(plaintext: str, key: str) -> str:
    """Encrypt text under the key text; returns Base64 text. See core.encrypt_str."""
    return await _run(core.encrypt_str, plaintext, key)


async def decrypt(ciphertext_b64: str, key: str) -> str:
    """Decrypt Base64 text back to text. See core.decrypt_str."""
    return await _run(core.decrypt_str, ciphertext_b64, key)


async def encrypt_bytes(data: bytes, key: str) -> bytes:
    """Seal bytes under the key text. See core.encrypt_bytes."""
    return await _run(core.encrypt_bytes, data, key)


async def decrypt_bytes(blob: bytes, key: str) -> bytes:
    """Open a sealed blob. See core.decrypt_bytes."""
    return await _run(core.decrypt_bytes, blob, key)
