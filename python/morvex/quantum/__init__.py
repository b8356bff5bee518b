"""Asynchronous post-quantum operations (each runs its core operation on the
event loop's default executor)."""

from __future__ import annotations

from morvex._aio import awaitable as _awaitable
from morvex.quantum import core
from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm

__all__ = [
    "generate_keypair",
    "encrypt",
    "decrypt",
    "generate_signature_keypair",
    "sign",
    "verify",
    "QuantumGeneration",
    "QuantumStrength",
    "SignatureAlgorithm",
    "core",
]

generate_keypair = _awaitable(core.generate_keypair)
encrypt = _awaitable(core.encrypt)
decrypt = _awaitable(core.decrypt)
generate_signature_keypair = _awaitable(core.generate_signature_keypair)
sign = _awaitable(core.sign)
verify = _awaitable(core.verify)
