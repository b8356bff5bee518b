"""Key normalisation: any key text to the 32 bytes of an AES-256 key."""

from __future__ import annotations

from morvex import _native

__all__ = ["AES_KEY_SIZE", "convert_key"]

#: Length in bytes of every normalised key.
AES_KEY_SIZE: int = _native.keys.AES_KEY_SIZE

convert_key = _native.keys.convert_key
_try_base64 = _native.keys._try_base64
