"""morvex: AES-256-GCM, RSA, hybrid envelopes, password hashing,
post-quantum cryptography and chunked encryption of files and streams behind
one small surface.

Await ``morvex.aes.encrypt(...)`` or call ``morvex.sync.aes.encrypt(...)``.
"""

from __future__ import annotations

# Areas load in this order; each loads its core first.
from morvex import aes, errors, hybrid, password, quantum, rsa, stream, sync
from morvex.errors import (
    DecryptionError,
    EncryptionError,
    InvalidInputError,
    MorvexError,
    QuantumOperationError,
    SignatureError,
)
from morvex.version import __version__

__all__ = [
    "__version__",
    "aes",
    "rsa",
    "hybrid",
    "password",
    "quantum",
    "stream",
    "sync",
    "errors",
    "MorvexError",
    "InvalidInputError",
    "EncryptionError",
    "DecryptionError",
    "SignatureError",
    "QuantumOperationError",
]
