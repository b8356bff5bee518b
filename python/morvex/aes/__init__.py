"""Asynchronous AES-256-GCM operations (each runs its core operation on the
event loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.aes import core

__all__ = ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]


async def encrypt(plaintext: str, key: str, *, associated_data: bytes = b"") -> str:
    """Encrypt text with AES-256-GCM under a key text.

    Args:
        plaintext: the text to encrypt (its UTF-8 bytes); must not be empty.
        key: a passphrase or a Base64 key; normalised to a 32-byte AES key.
        associated_data: bytes authenticated with the blob but not stored in it;
            decryption needs the same bytes. Empty by default (the blob is then
            exactly that of a call without it).

    Returns:
        The sealed blob (nonce 12 || ciphertext || tag 16) as Base64 text.

    Raises:
        InvalidInputError: "Plaintext cannot be empty".
        EncryptionError: the AES-GCM primitive failed.

    Runs ``core.encrypt_str`` on the event loop's default executor.
    """
    return await _run(core.encrypt_str, plaintext, key, associated_data=associated_data)


async def decrypt(ciphertext_b64: str, key: str, *, associated_data: bytes = b"") -> str:
    """Decrypt the Base64 text made by ``encrypt`` back to text.

    Args:
        ciphertext_b64: strict standard Base64 of a sealed blob.
        key: the key text used to encrypt.
        associated_data: the associated data given to ``encrypt``; a wrong one
            fails exactly like a wrong key.

    Returns:
        The plaintext.

    Raises:
        DecryptionError: "Ciphertext is not valid Base64"; the blob is too short
            or does not authenticate (wrong key, altered data); "Decrypted data is
            not valid UTF-8".

    Runs ``core.decrypt_str`` on the event loop's default executor.
    """
    return await _run(core.decrypt_str, ciphertext_b64, key, associated_data=associated_data)


async def encrypt_bytes(data: bytes, key: str, *, associated_data: bytes = b"") -> bytes:
    """Seal bytes with AES-256-GCM under a key text.

    Args:
        data: the bytes to seal; must not be empty.
        key: a passphrase or a Base64 key; normalised to a 32-byte AES key.
        associated_data: bytes authenticated with the blob but not stored in it;
            decryption needs the same bytes. Empty by default.

    Returns:
        The sealed blob: nonce (12) || ciphertext || tag (16), len(data) + 28 bytes.

    Raises:
        InvalidInputError: "Data cannot be empty".
        EncryptionError: the AES-GCM primitive failed.

    Runs ``core.encrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.encrypt_bytes, data, key, associated_data=associated_data)


async def decrypt_bytes(blob: bytes, key: str, *, associated_data: bytes = b"") -> bytes:
    """Open a sealed blob made by ``encrypt_bytes``.

    Args:
        blob: nonce || ciphertext || tag.
        key: the key text used to seal.
        associated_data: the associated data given to ``encrypt_bytes``; a wrong
            one fails exactly like a wrong key.

    Returns:
        The original bytes.

    Raises:
        DecryptionError: the blob is shorter than 29 bytes, or does not
            authenticate under the key (wrong key or altered data).

    Runs ``core.decrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.decrypt_bytes, blob, key, associated_data=associated_data)
