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
    """Generate a post-quantum key pair of a generation.

    Args:
        generation: a ``QuantumGeneration`` (or its number); GEN8 (X25519 +
            ML-KEM) by default. GEN1 makes GEN2 keys, GEN3 makes GEN6 keys.
        strength: a ``QuantumStrength`` (or 0..2); HIGHEST by default.

    Returns:
        (public key, private key), each starting with the generation byte and the
        strength byte.

    Raises:
        ValueError: a generation or strength outside its range.
        QuantumOperationError: the post-quantum backend is missing or failed.

    Runs ``core.generate_keypair`` on the event loop's default executor.
    """
    return await _run(core.generate_keypair, generation, strength)


async def encrypt(message: str, public_key: bytes) -> tuple[bytes, bytes]:
    """Encrypt text to a post-quantum public key.

    Args:
        message: the text to encrypt.
        public_key: a key from ``generate_keypair``; its first byte selects the format.

    Returns:
        (encapsulated secret, encrypted message); both must reach the recipient.

    Raises:
        InvalidInputError: a key under 3 bytes or all zero after its header.
        QuantumOperationError: an unsupported generation byte, or the backend is
            missing or failed.

    Runs ``core.encrypt`` on the event loop's default executor.
    """
    return await _run(core.encrypt, message, public_key)


async def decrypt(encrypted_message: bytes, private_key: bytes, secret: bytes) -> str:
    """Decrypt an encrypted message with the private key and the encapsulated secret.

    Args:
        encrypted_message: the second item of ``encrypt``'s result.
        private_key: the matching private key.
        secret: the first item of ``encrypt``'s result.

    Returns:
        The plaintext.

    Raises:
        InvalidInputError: a private key under 3 bytes or an empty secret; a
            message shorter than its generation's minimum ("Invalid Gen8
            encrypted message"); a malformed Gen7 or Gen8 secret or Gen7 key.
        QuantumOperationError: an unsupported generation byte, or the backend is
            missing or failed.
        DecryptionError: a wrong key, altered data or a plaintext that is not UTF-8.

    Runs ``core.decrypt`` on the event loop's default executor.
    """
    return await _run(core.decrypt, encrypted_message, private_key, secret)


async def generate_signature_keypair(
    algorithm: SignatureAlgorithm | int = SignatureAlgorithm.ML_DSA,
    strength: QuantumStrength | int = QuantumStrength.HIGHEST,
) -> tuple[bytes, bytes]:
    """Generate a post-quantum signature key pair.

    Args:
        algorithm: a ``SignatureAlgorithm`` (or its number); ML_DSA by default.
        strength: a ``QuantumStrength`` (or 0..2); HIGHEST by default.

    Returns:
        (public key, private key), each starting with the scheme id (1 ML-DSA,
        2 SLH-DSA) and the strength byte.

    Raises:
        ValueError: an algorithm or strength naming no member.
        QuantumOperationError: the backend is missing or failed.

    Runs ``core.generate_signature_keypair`` on the event loop's default executor.
    """
    return await _run(core.generate_signature_keypair, algorithm, strength)


async def sign(data: bytes, private_key: bytes) -> bytes:
    """Sign data with a post-quantum signature private key.

    Args:
        data: the bytes to sign.
        private_key: a private key from ``generate_signature_keypair``.

    Returns:
        The raw signature.

    Raises:
        InvalidInputError: a key without header or with an unknown scheme id.
        QuantumOperationError: signing failed, or the backend is missing.

    Runs ``core.sign`` on the event loop's default executor.
    """
    return await _run(core.sign, data, private_key)


async def verify(data: bytes, signature: bytes, public_key: bytes) -> bool:
    """Check a post-quantum signature.

    Args:
        data: the signed bytes.
        signature: the raw signature.
        public_key: a public key from ``generate_signature_keypair``.

    Returns:
        True for a valid signature; False for a bad signature or a key without a
        valid header.

    Raises:
        QuantumOperationError: only when the backend is missing.

    Runs ``core.verify`` on the event loop's default executor.
    """
    return await _run(core.verify, data, signature, public_key)
