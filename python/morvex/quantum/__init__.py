"""Asynchronous post-quantum operations (each runs its core operation on the
event loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
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


async def generate_keypair(
    generation: QuantumGeneration | int = QuantumGeneration.GEN8,
    strength: QuantumStrength | int = QuantumStrength.HIGHEST,
) -> tuple[bytes, bytes]:
    """Make a post-quantum key pair (public key, private key). See core.generate_keypair."""
    return await _run(core.generate_keypair, generation, strength)


async def encrypt(message: str, public_key: bytes) -> tuple[bytes, bytes]:
    """Encrypt text to a public key; returns (secret, encrypted message). See core.encrypt."""
    return await _run(core.encrypt, message, public_key)


async def decrypt(encrypted_message: bytes, private_key: bytes, secret: bytes) -> str:
    """Decrypt with the private key and the encapsulated secret. See core.decrypt."""
    return await _run(core.decrypt, encrypted_message, private_key, secret)


async def generate_signature_keypair(
    algorithm: SignatureAlgorithm | int = SignatureAlgorithm.ML_DSA,
    strength: QuantumStrength | int = QuantumStrength.HIGHEST,
) -> tuple[bytes, bytes]:
    """Make a signature key pair (public key, private key). See core.generate_signature_keypair."""
    return await _run(core.generate_signature_keypair, algorithm, strength)


async def sign(data: bytes, private_key: bytes) -> bytes:
    """Sign data with a signature private key. See core.sign."""
    return await _run(core.sign, data, private_key)


async def verify(data: bytes, signature: bytes, public_key: bytes) -> bool:
    """Check a signature; False when it does not verify. See core.verify."""
    return await _run(core.verify, data, signature, public_key)
