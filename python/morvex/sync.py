"""Synchronous facade: the same public names as the asynchronous areas, as
plain blocking calls. Each member is the core operation itself."""

from __future__ import annotations

from morvex.aes import core as _aes_core

__all__ = ["aes"]


class _AES:
    encrypt = staticmethod(_aes_core.encrypt_str)
    decrypt = staticmethod(_aes_core.decrypt_str)
    encrypt_bytes = staticmethod(_aes_core.encrypt_bytes)
    decrypt_bytes = staticmethod(_aes_core.decrypt_bytes)


aes = _AES()
