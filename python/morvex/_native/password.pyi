"""Password hash core."""


ALGORITHM: str = 'pbkdf2'

VERSION: int = 2

DEFAULT_ITERATIONS: int = 210000

SALT_LENGTH: int = 32

OUTPUT_LENGTH: int = 64

HASH_ALGORITHM: str = 'SHA512'

UPGRADE_THRESHOLD: int = 210000

MAX_ITERATIONS: int = 10000000

MAX_OUTPUT_LENGTH: int = 1024

_HASHES: list[tuple[str, str]]

def _derive(password: str, salt: bytes | bytearray | memoryview, iterations: int, length: int, hash_algorithm: str) -> bytes:
    """
    PBKDF2-HMAC over the UTF-8 password; returns `length` bytes.

    The hash name is looked up case-insensitively in _HASHES. Raises MorvexError
    "Unsupported hash algorithm: <name>" for another name, ValueError for an
    iteration count or length below 1.
    """

def hash_password(password: str, iterations: int = 210000) -> str:
    """
    Hash a password into a new JSON record (PBKDF2-HMAC-SHA512, fresh 32-byte salt).

    Raises InvalidInputError "Password cannot be empty", or InvalidInputError for an
    iteration count outside 1..10000000.
    """

def verify_password(password: str, hash_json: str) -> bool:
    """
    True when the password matches the record (constant-time comparison).

    False, never an error, for an empty password, a malformed record, an
    iteration count outside 1..10000000, an output length outside 1..1024, an
    unknown hash, or a mismatch.
    """

def needs_rehash(hash_json: str) -> bool:
    """
    True when the record was made with fewer than 210000 iterations, or its
    iteration count cannot be read (malformed record).
    """

def _parse(hash_json: str) -> dict[str, object] | None:
    """
    The record's top-level JSON object as a dict, or None when the text is not
    a JSON object. A repeated key keeps its last value.
    """
