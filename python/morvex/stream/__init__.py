"""Asynchronous chunked encryption (each operation runs its core operation on
the event loop's default executor; a file is processed in chunk batches
without the GIL, so the loop keeps running).

``Encryptor`` and ``Decryptor`` are the core's incremental objects, for
callers that run their own I/O loop.
"""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.stream import core
from morvex.stream.core import Buffer as _Buffer, Decryptor, Encryptor, Source as _Source

__all__ = ["encrypt_bytes", "decrypt_bytes", "encrypt_file", "decrypt_file", "read_range", "Encryptor", "Decryptor",
           "core"]


async def encrypt_bytes(data: _Buffer, key: str, context: _Buffer = b"") -> bytes:
    """Encrypt a whole message (any length, the empty one included).

    Args:
        data: the message.
        key: a passphrase or a Base64 key, normalised as in the ``aes`` area.
        context: bytes bound into the key derivation; decryption needs the same.

    Returns:
        salt (24) || commitment (32) || chunks of 16384 bytes + 16-byte tags, the
        last one shorter.

    Raises:
        EncryptionError: the AES-GCM primitive failed.

    Runs ``core.encrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.encrypt_bytes, data, key, context)


async def decrypt_bytes(blob: _Buffer, key: str, context: _Buffer = b"") -> bytes:
    """Decrypt a whole message made by ``encrypt_bytes`` or ``encrypt_file``.

    Raises:
        DecryptionError: the stream is truncated, the key or context is wrong
            (checked before any chunk), or a chunk does not authenticate.

    Runs ``core.decrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.decrypt_bytes, blob, key, context)


async def encrypt_file(src: _Source, dst: _Source, key: str, context: _Buffer = b"") -> None:
    """Encrypt ``src`` into ``dst`` (paths or binary file objects) in bounded memory.

    Runs ``core.encrypt_file`` on the event loop's default executor.
    """
    return await _run(core.encrypt_file, src, dst, key, context)


async def decrypt_file(src: _Source, dst: _Source, key: str, context: _Buffer = b"") -> None:
    """Decrypt ``src`` into ``dst``; a path target is replaced only on success.

    Raises:
        DecryptionError: as ``decrypt_bytes``.

    Runs ``core.decrypt_file`` on the event loop's default executor.
    """
    return await _run(core.decrypt_file, src, dst, key, context)


async def read_range(src: _Source | _Buffer, key: str, offset: int, length: int, context: _Buffer = b"") -> bytes:
    """The plaintext bytes ``[offset, offset + length)``, decrypting only their chunks.

    Raises:
        InvalidInputError: "Range length cannot be negative".
        DecryptionError: as ``decrypt_bytes``, for the chunks read.

    Runs ``core.read_range`` on the event loop's default executor.
    """
    return await _run(core.read_range, src, key, offset, length, context)
