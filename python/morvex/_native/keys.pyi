"""Key normalisation."""


AES_KEY_SIZE: int = 32

def convert_key(key: str) -> bytes:
    """
    Normalise a key text to the 32 bytes of an AES-256 key.

    The Base64 text of a 32-byte key gives those bytes, that of a 64-byte value its
    first 32 bytes; other Base64 is hashed (SHA-256) from its decoded bytes and any
    other text from its UTF-8 bytes. Raises UnicodeEncodeError only for text
    without a UTF-8 form.
    """

def _try_base64(s: str) -> bytes | None:
    """
    Strict Base64 reading of s, or None when s is not strict Base64 (or is empty).
    """
