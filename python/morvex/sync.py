"""Synchronous facade: the same public names as the asynchronous areas, as
plain blocking calls. Each member is the core operation itself."""

from __future__ import annotations

# Core areas load in this order.
from morvex.aes import core as _aes_core
from morvex.hybrid import core as _hybrid_core
from morvex.password import core as _pw_core
from morvex.quantum import core as _q_core
from morvex.rsa import core as _rsa_core
from morvex.stream import core as _stream_core

__all__ = ["aes", "rsa", "hybrid", "password", "quantum", "stream"]


class _AES:
    encrypt = staticmethod(_aes_core.encrypt_str)
    decrypt = staticmethod(_aes_core.decrypt_str)
    encrypt_bytes = staticmethod(_aes_core.encrypt_bytes)
    decrypt_bytes = staticmethod(_aes_core.decrypt_bytes)


class _RSA:
    new_key_pair = staticmethod(_rsa_core.new_key_pair)
    encrypt = staticmethod(_rsa_core.encrypt_str)
    decrypt = staticmethod(_rsa_core.decrypt_str)
    encrypt_bytes = staticmethod(_rsa_core.encrypt_bytes)
    decrypt_bytes = staticmethod(_rsa_core.decrypt_bytes)
    sign = staticmethod(_rsa_core.sign_str)
    verify = staticmethod(_rsa_core.verify_str)
    sign_bytes = staticmethod(_rsa_core.sign_bytes)
    verify_bytes = staticmethod(_rsa_core.verify_bytes)


class _Hybrid:
    encrypt = staticmethod(_hybrid_core.encrypt_str)
    decrypt = staticmethod(_hybrid_core.decrypt_str)
    encrypt_bytes = staticmethod(_hybrid_core.encrypt_bytes)
    decrypt_bytes = staticmethod(_hybrid_core.decrypt_auto)


class _Password:
    hash = staticmethod(_pw_core.hash_password)
    verify = staticmethod(_pw_core.verify_password)
    needs_rehash = staticmethod(_pw_core.needs_rehash)


class _Quantum:
    generate_keypair = staticmethod(_q_core.generate_keypair)
    encrypt = staticmethod(_q_core.encrypt)
    decrypt = staticmethod(_q_core.decrypt)
    generate_signature_keypair = staticmethod(_q_core.generate_signature_keypair)
    sign = staticmethod(_q_core.sign)
    verify = staticmethod(_q_core.verify)


class _Stream:
    encrypt_bytes = staticmethod(_stream_core.encrypt_bytes)
    decrypt_bytes = staticmethod(_stream_core.decrypt_bytes)
    encrypt_file = staticmethod(_stream_core.encrypt_file)
    decrypt_file = staticmethod(_stream_core.decrypt_file)
    read_range = staticmethod(_stream_core.read_range)
    Encryptor = _stream_core.Encryptor
    Decryptor = _stream_core.Decryptor


aes = _AES()
rsa = _RSA()
hybrid = _Hybrid()
password = _Password()
quantum = _Quantum()
stream = _Stream()
