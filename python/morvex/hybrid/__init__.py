"""Asynchronous hybrid envelope operations (each runs its core operation on
the event loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.hybrid import core

__all__ = ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]


async def encrypt(plaintext: str, public_pem: str) -> str:
    """Seal text as an envelope; returns Base64 text. See core.encrypt_str."""
    return await _run(core.encrypt_str, plaintext, public_pem)


async def decrypt(ciphertext_b64: str, private_pem: str) -> str:
    """Decrypt Base64 text of any RSA-side format. See core.decrypt_str."""
    return await _run(core.decrypt_str, ciphertext_b64, private_pem)


async def encrypt_bytes(data: bytes, public_pem: str) -> bytes:
    """Seal bytes as an envelope. See core.encrypt_bytes."""
    return await _run(core.encrypt_bytes, data, public_pem)


async def decrypt_bytes(blob: bytes, private_pem: str) -> bytes:
    """Open an envelope, a direct RSA block or a legacy envelope. See core.decrypt_auto."""
    return await _run(core.decrypt_auto, blob, private_pem)
