"""RSA core."""


KEY_SIZE: int = 4096

PUBLIC_EXPONENT: int = 65537

MAX_OAEP_PLAINTEXT: int = 446

_OAEP: tuple[str, str, str, bytes]

_PSS: tuple[str, str, str, int]

class KeyHandle:
    """A loaded key (released when the object goes)."""

    @property
    def type_name(self) -> str:
        """The key's algorithm, e.g. "RSA"."""

    @property
    def bits(self) -> int:
        """Modulus size in bits for an RSA key."""

    @property
    def public_exponent(self) -> int | None:
        """The RSA public exponent, or None for another key type."""

    @property
    def is_private(self) -> bool: ...

    def __repr__(self) -> str: ...

def new_key_pair() -> tuple[str, str]:
    """
    A fresh RSA-4096 key pair (e = 65537) as (private key PEM, public key PEM).

    PKCS#8 private key (PRIVATE KEY), SubjectPublicKeyInfo public key (PUBLIC KEY).
    """

def _load_public(public_pem: str) -> KeyHandle:
    """
    Read a public key PEM (SubjectPublicKeyInfo or PKCS#1).

    Raises InvalidInputError "Invalid RSA public key PEM: ...", also for an RSA key
    whose public exponent is 1 or even.
    """

def _load_private(private_pem: str) -> KeyHandle:
    """
    Read an unencrypted private key PEM (PKCS#8 or PKCS#1).

    Raises InvalidInputError "Invalid RSA private key PEM: ..."; encrypted keys are refused.
    """

def _encrypt_oaep(data: bytes | bytearray | memoryview, public_pem: str) -> bytes:
    """
    One direct RSA-OAEP block (SHA-256, MGF1-SHA-256, empty label).

    Raises InvalidInputError for more than 446 bytes or an unreadable key,
    EncryptionError "RSA encryption failed: ...".
    """

def _decrypt_oaep(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    The plaintext of one RSA-OAEP block.

    Raises InvalidInputError for an unreadable key, DecryptionError "RSA decryption failed: ...".
    """

def sign_bytes(data: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    RSA-PSS signature (SHA-256, MGF1-SHA-256, 32-byte salt) of the data.

    Raises InvalidInputError for an unreadable key, SignatureError "RSA signing failed: ...".
    """

def verify_bytes(data: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview, public_pem: str) -> bool:
    """
    True when the signature is a valid RSA-PSS signature of the data, else False.

    An unreadable key text, or one holding a non-RSA key, raises InvalidInputError.
    """

def sign_str(plaintext: str, private_pem: str) -> str:
    """
    Sign the UTF-8 bytes of the text; returns the signature as Base64 text.
    """

def verify_str(plaintext: str, signature_b64: str, public_pem: str) -> bool:
    """
    Verify a Base64 signature of the text's UTF-8 bytes.

    A signature text that is not strict Base64 gives False.
    """

def encrypt_bytes(data: bytes | bytearray | memoryview, public_pem: str) -> bytes:
    """
    Encrypt to the public key: up to 446 bytes as one direct RSA-OAEP block,
    longer data as a hybrid envelope.

    Raises InvalidInputError for empty data or an unreadable key, EncryptionError.
    """

def decrypt_bytes(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes:
    """
    Decrypt a direct RSA block, a hybrid envelope or a legacy envelope
    (recognised by their bytes).
    """

def encrypt_str(plaintext: str, public_pem: str) -> str:
    """
    Encrypt text (as UTF-8) to the public key; returns Base64 text.

    Raises InvalidInputError for the empty text.
    """

def decrypt_str(ciphertext_b64: str, private_pem: str) -> str:
    """
    Decrypt Base64 text made by encrypt_str back to text.

    Raises DecryptionError "Ciphertext is not valid Base64" or
    "Decrypted data is not valid UTF-8", or the error of decrypt_bytes.
    """
