"""The error classes of morvex.

Every failure that morvex reports itself is one of these six classes. The
message reads back exactly as it was given (``str(err)``); a wrapped lower-level
failure (a primitive's, a decoder's, a parser's) is kept as ``__cause__``.
"""

from __future__ import annotations

__all__ = [
    "MorvexError",
    "InvalidInputError",
    "EncryptionError",
    "DecryptionError",
    "SignatureError",
    "QuantumOperationError",
]


class MorvexError(Exception):
    """Root of every error that morvex raises itself."""


class InvalidInputError(MorvexError):
    """An argument was rejected before or instead of any cryptographic work."""


class EncryptionError(MorvexError):
    """An encryption primitive failed while sealing data."""


class DecryptionError(MorvexError):
    """A ciphertext cannot be opened (bad Base64, too short, failed
    authentication, plaintext not UTF-8, or an unrecognised layout)."""


class SignatureError(MorvexError):
    """Producing a signature failed."""


class QuantumOperationError(MorvexError):
    """The post-quantum backend is unavailable, a construction is not
    available, or a post-quantum primitive failed."""
