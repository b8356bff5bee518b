"""RSA core: 4096-bit key pairs as PEM text, RSA-OAEP encryption that switches
to the hybrid envelope beyond one block, and RSA-PSS signatures.

Keys are PEM texts: private keys as unencrypted PKCS#8 (PRIVATE KEY), public
keys as SubjectPublicKeyInfo (PUBLIC KEY); the PKCS#1 forms are read too.
"""

from __future__ import annotations

from typing import NamedTuple

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._aio import operation as _operation
from morvex._native import rsa as _native

__all__ = [
    "KEY_SIZE",
    "PUBLIC_EXPONENT",
    "MAX_OAEP_PLAINTEXT",
    "new_key_pair",
    "sign_bytes",
    "verify_bytes",
    "sign_str",
    "verify_str",
    "encrypt_bytes",
    "decrypt_bytes",
    "encrypt_str",
    "decrypt_str",
]

# Key pairs and PEM loading.
KEY_SIZE: int = _native.KEY_SIZE
PUBLIC_EXPONENT: int = _native.PUBLIC_EXPONENT

new_key_pair = _operation(_native.new_key_pair)
_load_public = _native._load_public
_load_private = _native._load_private


# RSA-OAEP blocks.
class _OaepParameters(NamedTuple):
    hash: str
    mgf: str
    mgf_hash: str
    label: bytes


MAX_OAEP_PLAINTEXT: int = _native.MAX_OAEP_PLAINTEXT
_OAEP = _OaepParameters(*_native._OAEP)

_encrypt_oaep = _native._encrypt_oaep
_decrypt_oaep = _native._decrypt_oaep


# RSA-PSS signatures.
class _PssParameters(NamedTuple):
    hash: str
    mgf: str
    mgf_hash: str
    salt_length: int


def _pss() -> _PssParameters:
    """The signature parameters: PSS with MGF1-SHA-256 and a 32-byte salt over SHA-256."""
    return _PssParameters(*_native._PSS)


sign_bytes = _operation(_native.sign_bytes)
verify_bytes = _operation(_native.verify_bytes)
sign_str = _operation(_native.sign_str)
verify_str = _operation(_native.verify_str)

# Public encryption: a direct block up to MAX_OAEP_PLAINTEXT bytes, an envelope beyond.
encrypt_bytes = _operation(_native.encrypt_bytes)
decrypt_bytes = _operation(_native.decrypt_bytes)
encrypt_str = _operation(_native.encrypt_str)
decrypt_str = _operation(_native.decrypt_str)
