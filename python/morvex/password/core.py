"""Password hashing core: PBKDF2-HMAC into a self-describing JSON record,
verification in constant time, and the rehash policy.

A record made with the defaults reads (compact, keys sorted)::

    {"algorithm":"pbkdf2","createdUtc":"2024-01-02T03:04:05Z","hash":"<88 Base64>",
     "parameters":{"hashAlgorithm":"SHA512","iterations":210000,"outputLength":64,"saltLength":32},
     "salt":"<44 Base64>","version":2}
"""

from __future__ import annotations

from types import MappingProxyType
from typing import Mapping

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._aio import operation as _operation
from morvex._native import password as _native

__all__ = [
    "ALGORITHM",
    "VERSION",
    "DEFAULT_ITERATIONS",
    "SALT_LENGTH",
    "OUTPUT_LENGTH",
    "HASH_ALGORITHM",
    "UPGRADE_THRESHOLD",
    "hash_password",
    "verify_password",
    "needs_rehash",
]

ALGORITHM: str = _native.ALGORITHM
VERSION: int = _native.VERSION
DEFAULT_ITERATIONS: int = _native.DEFAULT_ITERATIONS
SALT_LENGTH: int = _native.SALT_LENGTH
OUTPUT_LENGTH: int = _native.OUTPUT_LENGTH
HASH_ALGORITHM: str = _native.HASH_ALGORITHM
UPGRADE_THRESHOLD: int = _native.UPGRADE_THRESHOLD

# Bounds a record must keep to be verified at all (counts and lengths beyond
# them give False before any derivation); hash_password refuses counts outside
# 1..MAX_ITERATIONS.
MAX_ITERATIONS: int = _native.MAX_ITERATIONS
MAX_OUTPUT_LENGTH: int = _native.MAX_OUTPUT_LENGTH

# Hash functions the derivation accepts, by upper-case name (value: the
# hashlib name of the same function).
_HASHES: Mapping[str, str] = MappingProxyType(dict(_native._HASHES))

_derive = _native._derive
_parse = _native._parse
hash_password = _operation(_native.hash_password)
verify_password = _operation(_native.verify_password)
needs_rehash = _operation(_native.needs_rehash)
