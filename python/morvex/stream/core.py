"""Chunked encryption core: messages of any size, encrypted and decrypted as
they stream, in memory or from files, with random access (Cobblestone-256).

Format: salt (24) || key commitment (32) || chunks, each up to 16384
plaintext bytes + a 16-byte AES-256-GCM tag; the last chunk is shorter
(possibly empty) and ends the message. The key text is normalised as in the
``aes`` area (a passphrase is hashed once, not stretched); ``context`` bytes
are bound into the key derivation and must be given again to decrypt.

Paths (``str`` or ``os.PathLike``) on both sides run entirely in the native
core without the GIL; binary file objects are read and written here, chunk
batches processed without the GIL. A path target is replaced only on success.
"""

from __future__ import annotations

import os
from typing import IO, Union

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._internal import keys as _keys  # noqa: F401
from morvex._aio import operation as _operation
from morvex._native import stream as _native

__all__ = [
    "CHUNK_SIZE",
    "SALT_SIZE",
    "COMMITMENT_SIZE",
    "HEADER_SIZE",
    "TAG_SIZE",
    "MAX_CHUNKS",
    "Encryptor",
    "Decryptor",
    "encrypt_bytes",
    "decrypt_bytes",
    "encrypt_file",
    "decrypt_file",
    "read_range",
]

CHUNK_SIZE: int = _native.CHUNK_SIZE
SALT_SIZE: int = _native.SALT_SIZE
COMMITMENT_SIZE: int = _native.COMMITMENT_SIZE
HEADER_SIZE: int = _native.HEADER_SIZE
TAG_SIZE: int = _native.TAG_SIZE
MAX_CHUNKS: int = _native.MAX_CHUNKS

Encryptor = _native.Encryptor
Decryptor = _native.Decryptor
encrypt_bytes = _operation(_native.encrypt_bytes)
decrypt_bytes = _operation(_native.decrypt_bytes)

Source = Union[str, "os.PathLike[str]", IO[bytes]]
Buffer = Union[bytes, bytearray, memoryview]

# File objects move this many chunks per read: memory stays flat.
_BATCH = 16


def _is_path(x: object) -> bool:
    return isinstance(x, (str, os.PathLike))


def _pump(machine: Encryptor | Decryptor, unit: int, src: Source, dst: Source) -> None:
    """Feeds ``src`` through ``machine`` into ``dst``, opening whichever side is
    a path (a path target through the native pending file)."""
    reader = open(src, "rb") if _is_path(src) else src  # type: ignore[arg-type]
    target = _native._PendingFile(dst) if _is_path(dst) else None  # type: ignore[arg-type]
    write = target.write if target is not None else dst.write  # type: ignore[union-attr]
    try:
        # Until the source says it ended: pipes and sockets return short reads.
        while block := reader.read(unit * _BATCH):  # type: ignore[union-attr]
            write(machine.update(block))
        write(machine.finalize())
        if target is not None:
            target.commit()
    finally:
        if target is not None:
            target.discard()
        if reader is not src:
            reader.close()  # type: ignore[union-attr]


def encrypt_file(src: Source, dst: Source, key: str, context: Buffer = b"") -> None:
    """Encrypt ``src`` into ``dst``; each a path or a binary file object.

    Memory stays at a few chunks whatever the size. A path ``dst`` is written
    to a temporary file beside it and renamed over it on success.

    Raises:
        InvalidInputError: "Key cannot be empty" (before any file is opened).
        EncryptionError: the AES-GCM primitive failed.
        OSError: reading ``src`` or writing ``dst`` failed.
    """
    if _is_path(src) and _is_path(dst):
        _native.encrypt_file(src, dst, key, context)  # type: ignore[arg-type]
        return
    _pump(Encryptor(key, context), CHUNK_SIZE, src, dst)


def decrypt_file(src: Source, dst: Source, key: str, context: Buffer = b"") -> None:
    """Decrypt ``src`` into ``dst``; each a path or a binary file object.

    A chunk is written only after it authenticated. A path ``dst`` is written to
    a temporary file beside it that replaces it only when the whole stream
    authenticated; on failure it is removed and ``dst`` is untouched. A file
    object ``dst`` may have received the authenticated chunks before the
    failure: discard it when this raises.

    Raises:
        DecryptionError: truncated stream, wrong key or context, or a chunk that
            does not authenticate (altered, reordered or trailing data).
        OSError: reading ``src`` or writing ``dst`` failed.
    """
    if _is_path(src) and _is_path(dst):
        _native.decrypt_file(src, dst, key, context)  # type: ignore[arg-type]
        return
    _pump(Decryptor(key, context), _native.SEALED_CHUNK_SIZE, src, dst)


def read_range(src: Source | Buffer, key: str, offset: int, length: int, context: Buffer = b"") -> bytes:
    """The plaintext bytes ``[offset, offset + length)``, cut at the end of the
    message, decrypting only the chunks they lie in.

    ``src`` is the encrypted message as bytes, a path or a seekable binary file
    object. A negative ``offset`` counts from the end. Whenever the answer
    depends on the message length (a negative offset, or a range reaching the
    last chunk) the final chunk is authenticated too.

    Raises:
        InvalidInputError: "Range length cannot be negative".
        DecryptionError: as ``decrypt_bytes``, for the chunks read.
    """
    if isinstance(src, (bytes, bytearray, memoryview)):
        return _native.read_range(src, key, offset, length, context)
    if _is_path(src):
        return _native._read_range_file(src, key, offset, length, context)  # type: ignore[arg-type]
    _native._check_range(length)
    f: IO[bytes] = src  # type: ignore[assignment]
    total = f.seek(0, os.SEEK_END)
    f.seek(0)
    reader = _native._RangeReader(f.read(HEADER_SIZE), total, key, context)
    start, size = reader.span(offset, length)
    f.seek(start)
    return reader.open(offset, length, f.read(size))
