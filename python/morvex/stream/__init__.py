"""Asynchronous chunked encryption (each operation runs its core operation on
the event loop's default executor; a file is processed in chunk batches
without the GIL, so the loop keeps running).

``Encryptor`` and ``Decryptor`` are the core's incremental objects, for
callers that run their own I/O loop.
"""

from __future__ import annotations

from morvex._aio import awaitable as _awaitable
from morvex.stream import core
from morvex.stream.core import Decryptor, Encryptor

__all__ = ["encrypt_bytes", "decrypt_bytes", "encrypt_file", "decrypt_file", "read_range", "Encryptor", "Decryptor",
           "core"]

encrypt_bytes = _awaitable(core.encrypt_bytes)
decrypt_bytes = _awaitable(core.decrypt_bytes)
encrypt_file = _awaitable(core.encrypt_file)
decrypt_file = _awaitable(core.decrypt_file)
read_range = _awaitable(core.read_range)
