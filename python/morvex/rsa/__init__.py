"""Asynchronous RSA operations (each runs its core operation on the event
loop's default executor)."""

from __future__ import annotations

from morvex._aio import awaitable as _awaitable
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

new_key_pair = _awaitable(core.new_key_pair)
encrypt = _awaitable(core.encrypt_str, "encrypt")
decrypt = _awaitable(core.decrypt_str, "decrypt")
encrypt_bytes = _awaitable(core.encrypt_bytes)
decrypt_bytes = _awaitable(core.decrypt_bytes)
sign = _awaitable(core.sign_str, "sign")
verify = _awaitable(core.verify_str, "verify")
sign_bytes = _awaitable(core.sign_bytes)
verify_bytes = _awaitable(core.verify_bytes)
