"""Chunked encryption core."""

import os


CHUNK_SIZE: int = 16384

SALT_SIZE: int = 24

COMMITMENT_SIZE: int = 32

HEADER_SIZE: int = 56

TAG_SIZE: int = 16

SEALED_CHUNK_SIZE: int = 16400

MAX_CHUNKS: int = 274877906944

def encrypt_bytes(data: bytes | bytearray | memoryview, key: str, context: bytes | bytearray | memoryview = ...) -> bytes:
    """
    Encrypt a whole message (any length, empty included) in the chunked format.

    Returns salt (24) || commitment (32) || chunks of 16384 bytes + 16-byte tags.
    """

def decrypt_bytes(blob: bytes | bytearray | memoryview, key: str, context: bytes | bytearray | memoryview = ...) -> bytes:
    """
    Decrypt a whole message made by encrypt_bytes (or any writer of the format).

    Raises DecryptionError: truncated, wrong key or context, or a chunk that does
    not authenticate.
    """

def encrypt_file(src: str | os.PathLike[str], dst: str | os.PathLike[str], key: str, context: bytes | bytearray | memoryview = ...) -> None:
    """Encrypt the file at src into dst (replaced only on success)."""

def decrypt_file(src: str | os.PathLike[str], dst: str | os.PathLike[str], key: str, context: bytes | bytearray | memoryview = ...) -> None:
    """
    Decrypt the file at src into dst (replaced only on success; nothing is left
    behind on failure).
    """

def read_range(blob: bytes | bytearray | memoryview, key: str, offset: int, length: int, context: bytes | bytearray | memoryview = ...) -> bytes:
    """The plaintext bytes [offset, offset + length) of an encrypted message."""

def _check_range(length: int) -> None:
    """The first check of read_range."""

def _read_range_file(src: str | os.PathLike[str], key: str, offset: int, length: int, context: bytes | bytearray | memoryview = ...) -> bytes:
    """read_range over the file at src."""

class Encryptor:
    """Incremental encryption into the chunked format."""

    def __init__(self, key: str, context: bytes | bytearray | memoryview = ...) -> None: ...

    def update(self, data: bytes | bytearray | memoryview) -> bytes:
        """
        Encrypt more data; returns the header (first call) and every completed chunk.
        """

    def finalize(self) -> bytes:
        """
        End the message; returns the final short chunk (and the header if nothing came before).
        """

class Decryptor:
    """Incremental decryption: returns only authenticated plaintext."""

    def __init__(self, key: str, context: bytes | bytearray | memoryview = ...) -> None: ...

    def update(self, data: bytes | bytearray | memoryview) -> bytes:
        """
        Decrypt more ciphertext; returns the plaintext of every chunk that authenticated.

        After a failure every call raises that failure again.
        """

    def finalize(self) -> bytes:
        """
        End the message: checks and opens the final chunk (a truncated stream fails here).
        """

class _RangeReader:
    """Random access over a source the caller reads."""

    def __init__(self, header: bytes | bytearray | memoryview, total_size: int, key: str, context: bytes | bytearray | memoryview = ...) -> None: ...

    def span(self, offset: int, length: int) -> tuple[int, int]:
        """(start, size) of the ciphertext bytes the range needs."""

    def open(self, offset: int, length: int, ciphertext: bytes | bytearray | memoryview) -> bytes:
        """The plaintext of the range from exactly the bytes span() named."""

class _PendingFile:
    """A file that replaces its target only when committed."""

    def __init__(self, target: str | os.PathLike[str]) -> None: ...

    def write(self, data: bytes | bytearray | memoryview) -> None: ...

    def commit(self) -> None: ...

    def discard(self) -> None: ...
