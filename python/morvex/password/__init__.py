"""Asynchronous password operations (each runs its core operation on the
event loop's default executor; PBKDF2 runs without the GIL, so concurrent
calls use every core)."""

from __future__ import annotations

from morvex._aio import awaitable as _awaitable
from morvex.password import core

__all__ = ["hash", "verify", "needs_rehash", "core"]

hash = _awaitable(core.hash_password, "hash")  # noqa: A001
verify = _awaitable(core.verify_password, "verify")
needs_rehash = _awaitable(core.needs_rehash)
