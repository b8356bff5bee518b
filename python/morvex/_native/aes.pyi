"""AES-256-GCM core."""


GCM_NONCE_SIZE: int = 12

GCM_TAG_SIZE: int = 16

def encrypt_bytes(data: bytes | bytearray | memoryview, key: str, *, associated_data: bytes | bytearray | memoryview = ...) -> bytes:
    """
    Seal data with AES-256-GCM under the key text.

    Returns nonce (12 bytes) || ciphertext || tag (16 bytes). associated_data is
    authenticated but not stored: decryption needs the same bytes (empty by default).
    Raises InvalidInputError for empty data, EncryptionError if sealing fails.
    """

def decrypt_bytes(blob: bytes | bytearray | memoryview, key: str, *, associated_data: bytes | bytearray | memoryview = ...) -> bytes:
    """
    Open a sealed blob made by encrypt_bytes.

    Raises DecryptionError when the blob is shorter than 29 bytes or does not
    authenticate under the key and associated data (wrong key, wrong associated
    data or altered data).
    """

def encrypt_str(plaintext: str, key: str, *, associated_data: bytes | bytearray | memoryview = ...) -> str:
    """
    Encrypt text (as UTF-8) and return the sealed blob as Base64 text.

    associated_data is authenticated but not stored (empty by default).
    Raises InvalidInputError for the empty text, EncryptionError if sealing fails.
    """

def decrypt_str(ciphertext_b64: str, key: str, *, associated_data: bytes | bytearray | memoryview = ...) -> str:
    """
    Decrypt the Base64 text of a sealed blob back to text.

    Raises DecryptionError: "Ciphertext is not valid Base64", the error of
    decrypt_bytes, or "Decrypted data is not valid UTF-8".
    """
