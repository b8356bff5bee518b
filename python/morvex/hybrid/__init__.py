"""Asynchronous hybrid envelope operations (each runs its core operation on
the event loop's default executor)."""

from __future__ import annotations

from morvex._aio import awaitable as _awaitable
from morvex.hybrid import core

__all__ = ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]

encrypt = _awaitable(core.encrypt_str, "encrypt")
decrypt = _awaitable(core.decrypt_str, "decrypt")
encrypt_bytes = _awaitable(core.encrypt_bytes)
# Format detection: also opens direct RSA-OAEP blocks and legacy envelopes.
decrypt_bytes = _awaitable(core.decrypt_auto, "decrypt_bytes")
