"""Asynchronous RSA operations (each runs its core operation on the event
loop's default executor)."""

from __future__ import annotations

from morvex._aio import run as _run
from morvex.rsa import core

__all__ = [
    "new_key_pair",
    "encrypt",
    "decrypt",
    "encrypt_bytes",
    "decrypt_bytes",
    "sign",
    "verify",
    "sign_bytes",
    "verify_bytes",
    "core",
]


async def new_key_pair() -> tuple[str, str]:
    """Generate a fresh RSA-4096 key pair (public exponent 65537).

    Returns:
        (private key PEM, public key PEM): unencrypted PKCS#8 ("PRIVATE KEY") and
        SubjectPublicKeyInfo ("PUBLIC KEY").

    Raises:
        RuntimeError: the key generator or the PEM writer failed (not expected).

    Runs ``core.new_key_pair`` on the event loop's default executor.
    """
    return await _run(core.new_key_pair)


async def encrypt(plaintext: str, public_pem: str) -> str:
    """Encrypt text to an RSA public key.

    Args:
        plaintext: the text (its UTF-8 bytes); must not be empty.
        public_pem: the recipient's public key PEM (SubjectPublicKeyInfo or PKCS#1).

    Returns:
        Base64 text of ``encrypt_bytes``'s result.

    Raises:
        InvalidInputError: "Plaintext cannot be empty"; "Invalid RSA public key
            PEM: ..." for an unreadable key text.
        EncryptionError: "RSA encryption failed: ..." (for example a key too small).

    Runs ``core.encrypt_str`` on the event loop's default executor.
    """
    return await _run(core.encrypt_str, plaintext, public_pem)


async def decrypt(ciphertext_b64: str, private_pem: str) -> str:
    """Decrypt Base64 text made by ``encrypt`` (or by the hybrid area) back to text.

    Args:
        ciphertext_b64: strict standard Base64 of a direct block or an envelope.
        private_pem: the private key PEM (PKCS#8 or PKCS#1, unencrypted).

    Returns:
        The plaintext.

    Raises:
        DecryptionError: "Ciphertext is not valid Base64"; "RSA decryption
            failed: ..."; "Hybrid AES-GCM decryption failed (wrong key or tampered
            data)"; "Decrypted data is not valid UTF-8".
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.

    Runs ``core.decrypt_str`` on the event loop's default executor.
    """
    return await _run(core.decrypt_str, ciphertext_b64, private_pem)


async def encrypt_bytes(data: bytes, public_pem: str) -> bytes:
    """Encrypt bytes to an RSA public key.

    Up to 446 bytes become one direct RSA-OAEP block (SHA-256, 512 bytes); longer
    data becomes a hybrid envelope (len(data) + 544 bytes).

    Args:
        data: the bytes to encrypt; must not be empty.
        public_pem: the recipient's public key PEM.

    Returns:
        The direct block or the envelope.

    Raises:
        InvalidInputError: "Data cannot be empty"; "Invalid RSA public key PEM:
            ..." for an unreadable key text; data over 446 bytes to a key that
            is not 4096 bits ("Recipient RSA key is ... bits: ...").
        EncryptionError: "RSA encryption failed: ..." (a key that is not RSA,
            data over a smaller key's OAEP limit) or the envelope's AES step failed.

    Runs ``core.encrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.encrypt_bytes, data, public_pem)


async def decrypt_bytes(blob: bytes, private_pem: str) -> bytes:
    """Decrypt a direct RSA block, a hybrid envelope or a legacy envelope.

    The format is told apart by the blob's length and first four bytes.

    Args:
        blob: what ``encrypt_bytes`` or the hybrid area produced.
        private_pem: the private key PEM.

    Returns:
        The plaintext bytes.

    Raises:
        DecryptionError: "RSA decryption failed: ..."; "Hybrid AES-GCM decryption
            failed (wrong key or tampered data)"; "Invalid hybrid data (legacy
            Swift format)"; the AES error of a legacy envelope's sealed blob.
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.

    Runs ``core.decrypt_bytes`` on the event loop's default executor.
    """
    return await _run(core.decrypt_bytes, blob, private_pem)


async def sign(plaintext: str, private_pem: str) -> str:
    """Sign text with RSA-PSS (SHA-256, MGF1-SHA-256, 32-byte salt).

    Args:
        plaintext: the text whose UTF-8 bytes are signed.
        private_pem: the signer's private key PEM.

    Returns:
        The signature (512 bytes for RSA-4096) as Base64 text.

    Raises:
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.
        SignatureError: "RSA signing failed: ...".

    Runs ``core.sign_str`` on the event loop's default executor.
    """
    return await _run(core.sign_str, plaintext, private_pem)


async def verify(plaintext: str, signature_b64: str, public_pem: str) -> bool:
    """Check a Base64 RSA-PSS signature of a text.

    Args:
        plaintext: the signed text.
        signature_b64: the signature as Base64 text.
        public_pem: the signer's public key PEM.

    Returns:
        True for a valid signature; False for any other signature, including a
        signature text that is not strict Base64.

    Raises:
        InvalidInputError: "Invalid RSA public key PEM: ..." for an unreadable key
            text or a key that is not an RSA key.

    Runs ``core.verify_str`` on the event loop's default executor.
    """
    return await _run(core.verify_str, plaintext, signature_b64, public_pem)


async def sign_bytes(data: bytes, private_pem: str) -> bytes:
    """Sign bytes with RSA-PSS (SHA-256, MGF1-SHA-256, 32-byte salt).

    Args:
        data: the bytes to sign (may be empty).
        private_pem: the signer's private key PEM.

    Returns:
        The raw signature (512 bytes for RSA-4096).

    Raises:
        InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.
        SignatureError: "RSA signing failed: ...".

    Runs ``core.sign_bytes`` on the event loop's default executor.
    """
    return await _run(core.sign_bytes, data, private_pem)


async def verify_bytes(data: bytes, signature: bytes, public_pem: str) -> bool:
    """Check an RSA-PSS signature of bytes.

    Args:
        data: the signed bytes.
        signature: the raw signature.
        public_pem: the signer's public key PEM.

    Returns:
        True for a valid signature, False otherwise.

    Raises:
        InvalidInputError: "Invalid RSA public key PEM: ..." for an unreadable key
            text or a key that is not an RSA key.

    Runs ``core.verify_bytes`` on the event loop's default executor.
    """
    return await _run(core.verify_bytes, data, signature, public_pem)
