"""Hybrid envelope core."""


RSA_BLOCK: int = 512

NONCE: int = 12

TAG: int = 16

HYBR: bytes = ...

def encrypt_bytes(data: bytes | bytearray | memoryview, public_pem: str) -> bytes:
    """
    Seal data of any length to an RSA-4096 public key as a hybrid envelope:
    length (u32 LE) || RSA-OAEP block of a fresh AES-256 key || nonce || tag || ciphertext.

    Raises InvalidInputError for empty data, an unreadable key or a recipient key
    that is not 4096 bits; EncryptionError when the RSA or AES step fails.
    """

def encrypt_str(plaintext: str, public_pem: str) -> str:
    """
    Seal text (as UTF-8) as a hybrid envelope; returns Base64 text.

    Raises InvalidInputError for the empty text.
    """

def _net_decrypt(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    Open a hybrid envelope (fixed offsets; the length field is not read).

    Raises DecryptionError "Hybrid AES-GCM decryption failed (wrong key or tampered data)"
    or the RSA block's errors.
    """

def decrypt_auto(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    Decrypt whatever the RSA and hybrid areas write or wrote, told apart by the bytes:
    1. at least 8 bytes beginning with b"HYBR": legacy envelope;
    2. at least 544 bytes whose first four read 512 (u32 LE): hybrid envelope;
    3. anything else: a direct RSA-OAEP block.
    """

def _legacy_decrypt(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    Open a legacy envelope: b"HYBR" || key length (u32 BE) || RSA block || sealed AES blob.

    Raises DecryptionError "Invalid hybrid data (legacy Swift format)" when nothing
    follows the RSA block.
    """

def decrypt_str(ciphertext_b64: str, private_pem: str) -> str:
    """
    Decrypt Base64 text (any format decrypt_auto reads) back to text.

    Raises DecryptionError "Ciphertext is not valid Base64" or
    "Decrypted data is not valid UTF-8", or the error of decrypt_auto.
    """
