"""Asynchronous password operations (each runs its core operation on the
event loop's default executor; PBKDF2 runs without the GIL, so concurrent
calls use every core)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.password import core

__all__ = ["hash", "verify", "needs_rehash", "core"]


async def hash(password: str, iterations: int = core.DEFAULT_ITERATIONS) -> str:  # noqa: A001
    """Hash a password into a new JSON record. See core.hash_password."""
    return await _run(core.hash_password, password, iterations)


async def verify(password: str, hash_json: str) -> bool:
    """True when the password matches the record. See core.verify_password."""
    return await _run(core.verify_password, password, hash_json)


async def needs_rehash(hash_json: str) -> bool:
    """True when the record should be renewed. See core.needs_rehash."""
    return await _run(core.needs_rehash, hash_json)
