"""AES-256-GCM core: bytes and text under a key given as text.

Sealed blob: nonce (12 bytes) || ciphertext || tag (16 bytes).
"""

from __future__ import annotations

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._internal import keys as _keys  # noqa: F401
from morvex._aio import operation as _operation
from morvex._native import aes as _native

__all__ = ["GCM_NONCE_SIZE", "GCM_TAG_SIZE", "encrypt_bytes", "decrypt_bytes", "encrypt_str", "decrypt_str"]

GCM_NONCE_SIZE: int = _native.GCM_NONCE_SIZE
GCM_TAG_SIZE: int = _native.GCM_TAG_SIZE

encrypt_bytes = _operation(_native.encrypt_bytes)
decrypt_bytes = _operation(_native.decrypt_bytes)
encrypt_str = _operation(_native.encrypt_str)
decrypt_str = _operation(_native.decrypt_str)
