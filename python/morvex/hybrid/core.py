"""Hybrid envelope core: RSA-OAEP-wrapped AES-256-GCM for data of any length,
and the one decryption that tells every RSA-side format apart by its bytes.

Envelope: length (u32 LE, 512) || RSA-OAEP block of the AES key || nonce (12)
|| tag (16) || ciphertext. Legacy envelope (read only): b"HYBR" || key length
(u32 BE) || RSA block || sealed AES blob.
"""

from __future__ import annotations

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._aio import operation as _operation
from morvex._native import hybrid as _native
from morvex.aes import core as _aes_core  # noqa: F401  (opens the legacy envelope's sealed blob)
from morvex.rsa import core as _rsa_core  # noqa: F401  (the RSA-OAEP block operations)

__all__ = ["RSA_BLOCK", "NONCE", "TAG", "HYBR", "encrypt_bytes", "encrypt_str", "decrypt_auto", "decrypt_str"]

RSA_BLOCK: int = _native.RSA_BLOCK
NONCE: int = _native.NONCE
TAG: int = _native.TAG
HYBR: bytes = _native.HYBR

encrypt_bytes = _operation(_native.encrypt_bytes)
encrypt_str = _operation(_native.encrypt_str)
_net_decrypt = _native._net_decrypt

decrypt_auto = _operation(_native.decrypt_auto)
_legacy_decrypt = _native._legacy_decrypt
decrypt_str = _operation(_native.decrypt_str)
