"""Asynchronous password operations (each runs its core operation on the
event loop's default executor; PBKDF2 runs without the GIL, so concurrent
calls use every core)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.password import core

__all__ = ["hash", "verify", "needs_rehash", "core"]


async def hash(password: str, iterations: int = core.DEFAULT_ITERATIONS) -> str:  # noqa: A001
    """Hash a password into a new JSON record (PBKDF2-HMAC-SHA512, fresh 32-byte salt).

    Args:
        password: the password; must not be empty.
        iterations: the PBKDF2 count, 1..10000000; default ``core.DEFAULT_ITERATIONS``
            (210000).

    Returns:
        The compact, key-sorted JSON record text.

    Raises:
        InvalidInputError: "Password cannot be empty"; an iteration count out of range.

    Runs ``core.hash_password`` on the event loop's default executor.
    """
    return await _run(core.hash_password, password, iterations)


async def verify(password: str, hash_json: str) -> bool:
    """Check a password against a record, in constant time.

    Args:
        password: the candidate password.
        hash_json: a record made by ``hash``.

    Returns:
        True when the password matches; False for a mismatch, an empty password or
        a malformed record (never an error).

    Runs ``core.verify_password`` on the event loop's default executor.
    """
    return await _run(core.verify_password, password, hash_json)


async def needs_rehash(hash_json: str) -> bool:
    """Tell whether a record should be renewed with ``hash``.

    Args:
        hash_json: a password record.

    Returns:
        True when the record has fewer than 210000 iterations or cannot be read.

    Runs ``core.needs_rehash`` on the event loop's default executor.
    """
    return await _run(core.needs_rehash, hash_json)
