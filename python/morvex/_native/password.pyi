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

def _derive(password: str, salt: bytes | bytearray | memoryview, iterations: int, length: int, hash_algorithm: str) -> bytes: ...

def hash_password(password: str, iterations: int = 210000) -> str: ...

def verify_password(password: str, hash_json: str) -> bool: ...

def needs_rehash(hash_json: str) -> bool: ...

def _parse(hash_json: str) -> dict[str, object] | None: ...
