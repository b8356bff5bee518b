"""Asynchronous hybrid envelope operations (each runs its core operation on
the event loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.hybrid import core

__all__ = ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]


async def encrypt(plaintext: str, public_pem: str) -> str:
    """Seal text to an RSA-4096 public key as a hybrid envelope.

    Args:
        plaintext: the text (its UTF-8 bytes); must not be empty.
        public_pem: the recipient's RSA-4096 public key PEM.

    Returns:
        The envelope as Base64 text.

    Raises:
        InvalidInputError: "Plaintext cannot be empty"; "Invalid RSA public key
            PEM: ..."; a recipient key that is not 4096 bits.
        EncryptionError: the RSA or the AES step failed.

    Runs ``core.encrypt_str`` on the event loop's default executor.
    """
    return await _run(core.encrypt_str, plaintext, public_pem)


async def decrypt(ciphertext_b64: str, private_pem: str) -> str:
    """Decrypt Base64 text of any RSA-side format back to text.

    Args:
        ciphertext_b64: strict standard Base64 of an envelope, a direct RSA block
            or a legacy envelope.
        private_pem: the private key PEM.

    Returns:
        The plaintext.

    Raises:
        DecryptionError: "Ciphertext is not valid Base64"; any error of
            ``decrypt_bytes``; "Decrypted data is not valid UTF-8".
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.

    Runs ``core.decrypt_str`` on the event loop's default executor.
    """
    return await _run(core.decrypt_str, ciphertext_b64, private_pem)


async def encrypt_bytes(data: bytes, public_pem: str) -> bytes:
    """Seal bytes of any length to an RSA-4096 public key as a hybrid envelope.

    Envelope: 512 (u32 little-endian) || RSA-OAEP block of a fresh AES-256 key ||
    nonce (12) || tag (16) || ciphertext.

    Args:
        data: the bytes to seal; must not be empty.
        public_pem: the recipient's RSA-4096 public key PEM.

    Returns:
        The envelope, len(data) + 544 bytes.

    Raises:
        InvalidInputError: "Data cannot be empty"; "Invalid RSA public key PEM:
            ..."; a recipient key that is not 4096 bits.
        EncryptionError: the RSA or the AES step failed.

    Runs ``core.encrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.encrypt_bytes, data, public_pem)


async def decrypt_bytes(blob: bytes, private_pem: str) -> bytes:
    """Open a hybrid envelope, a direct RSA-OAEP block or a legacy envelope.

    The format is told apart by the blob's length and first four bytes:
    b"HYBR" starts a legacy envelope, a first u32 of 512 in a blob of 544 bytes
    or more an envelope, anything else is a direct block.

    Args:
        blob: the ciphertext.
        private_pem: the private key PEM.

    Returns:
        The plaintext bytes.

    Raises:
        DecryptionError: "RSA decryption failed: ..."; "Hybrid AES-GCM decryption
            failed (wrong key or tampered data)"; "Invalid hybrid data (legacy
            Swift format)"; the AES error of a legacy envelope's sealed blob.
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.

    Runs ``core.decrypt_auto`` on the event loop's default executor.
    """
    return await _run(core.decrypt_auto, blob, private_pem)
