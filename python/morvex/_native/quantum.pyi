"""Post-quantum core."""

from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm


def generate_keypair(generation: int = QuantumGeneration.GEN8, strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]:
    """
    Make a post-quantum key pair (public key, private key) of a generation.

    Both keys start with the generation byte and the strength byte. GEN1 makes
    GEN2 keys, GEN3 makes GEN6 keys, GEN4 always uses the highest strength.
    Raises ValueError for a generation outside 1..8 or a strength outside 0..2,
    QuantumOperationError when the post-quantum backend fails or is missing.
    """

def encrypt(message: str, public_key: bytes | bytearray | memoryview) -> tuple[bytes, bytes]:
    """
    Encrypt text to a post-quantum public key.

    Returns (encapsulated secret, encrypted message); both must reach the
    recipient. The key's generation byte selects the format.
    Raises InvalidInputError for a key under 3 bytes or all zero after its
    header, QuantumOperationError for an unsupported generation byte.
    """

def decrypt(encrypted_message: bytes | bytearray | memoryview, private_key: bytes | bytearray | memoryview, secret: bytes | bytearray | memoryview) -> str:
    """
    Decrypt an encrypted message with the private key and the encapsulated secret.

    Raises InvalidInputError for a private key under 3 bytes or an empty secret,
    QuantumOperationError for an unsupported generation byte, DecryptionError
    for a wrong key, altered data or a plaintext that is not UTF-8.
    """

def generate_signature_keypair(algorithm: int = SignatureAlgorithm.ML_DSA, strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]:
    """
    Make a post-quantum signature key pair (public key, private key).

    Both keys start with the scheme id (1 ML-DSA, 2 SLH-DSA) and the strength.
    Raises ValueError for values naming no member, QuantumOperationError when
    the backend fails or is missing.
    """

def sign(data: bytes | bytearray | memoryview, private_key: bytes | bytearray | memoryview) -> bytes:
    """
    Sign data with a headered signature private key; returns the raw signature.

    Raises InvalidInputError for a key without header or an unknown scheme id,
    QuantumOperationError when signing fails.
    """

def verify(data: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview, public_key: bytes | bytearray | memoryview) -> bool:
    """
    Check a signature; False for a bad signature or a key without a valid header.

    Raises QuantumOperationError only when the backend is missing.
    """

_GEN5_INFO: bytes = ...

_GEN6_INFO: bytes = ...

_GEN7_INFO: bytes = ...

_GEN8_INFO: bytes = ...

_RSA_ALG_ID: bytes = ...

def _hkdf(ikm: bytes | bytearray | memoryview, salt: bytes | bytearray | memoryview, info: bytes | bytearray | memoryview, length: int) -> bytes:
    """HKDF-SHA256."""

def _gcm_seal(key: bytes | bytearray | memoryview, nonce: bytes | bytearray | memoryview, data: bytes | bytearray | memoryview) -> tuple[bytes, bytes]:
    """AES-GCM seal: (ciphertext, 16-byte tag)."""

def _gcm_open(key: bytes | bytearray | memoryview, nonce: bytes | bytearray | memoryview, ciphertext: bytes | bytearray | memoryview, tag: bytes | bytearray | memoryview) -> bytes:
    """AES-GCM open; DecryptionError for any failure."""

def _cbc_encrypt(data: bytes | bytearray | memoryview, key: bytes | bytearray | memoryview, iv: bytes | bytearray | memoryview) -> bytes:
    """AES-CBC with PKCS#7 padding."""

def _cbc_decrypt(ciphertext: bytes | bytearray | memoryview, key: bytes | bytearray | memoryview, iv: bytes | bytearray | memoryview) -> bytes:
    """
    AES-CBC decryption and PKCS#7 unpadding; DecryptionError for bad padding.
    """

def _hmac256(key: bytes | bytearray | memoryview, data: bytes | bytearray | memoryview) -> bytes:
    """HMAC-SHA256."""

def _gen4_key(ss: bytes | bytearray | memoryview) -> bytes:
    """The Gen4 AES key: HMAC-SHA256(ss, 0x01)."""

def _gen4_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview) -> tuple[bytes, bytes]:
    """Gen4 encryption: (capsule, nonce || ct || tag)."""

def _gen4_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview) -> bytes:
    """Gen4 decryption."""

def _gen2_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview, strength: int) -> tuple[bytes, bytes]:
    """Gen2: Classic McEliece, AES-256-CBC, HMAC-SHA256."""

def _gen2_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview, strength: int) -> bytes:
    """Gen2: Classic McEliece, AES-256-CBC, HMAC-SHA256."""

def _gen5_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview, strength: int) -> tuple[bytes, bytes]:
    """Gen5: Classic McEliece, HKDF-split keys, AES-256-CBC, HMAC-SHA256."""

def _gen5_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview, strength: int) -> bytes:
    """Gen5: Classic McEliece, HKDF-split keys, AES-256-CBC, HMAC-SHA256."""

def _gen6_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview, strength: int) -> tuple[bytes, bytes]:
    """Gen6: FrodoKEM, HKDF, AES-256-GCM."""

def _gen6_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview, strength: int) -> bytes:
    """Gen6: FrodoKEM, HKDF, AES-256-GCM."""

def _gen7_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview, strength: int) -> tuple[bytes, bytes]:
    """Gen7: RSA-4096 OAEP and FrodoKEM, HKDF, AES-256-GCM."""

def _gen7_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview, strength: int) -> bytes:
    """Gen7: RSA-4096 OAEP and FrodoKEM, HKDF, AES-256-GCM."""

def _gen8_encrypt(data: bytes | bytearray | memoryview, raw_pk: bytes | bytearray | memoryview, strength: int) -> tuple[bytes, bytes]:
    """Gen8: X25519 and ML-KEM, HKDF, AES-256-GCM."""

def _gen8_decrypt(enc: bytes | bytearray | memoryview, raw_sk: bytes | bytearray | memoryview, capsule: bytes | bytearray | memoryview, strength: int) -> bytes:
    """Gen8: X25519 and ML-KEM, HKDF, AES-256-GCM."""

def _gen7_generate(strength: int) -> tuple[bytes, bytes]:
    """Gen7 key pair with header."""

def _gen8_generate(strength: int) -> tuple[bytes, bytes]:
    """Gen8 key pair with header."""

def _x25519_raw(private_key: bytes | bytearray | memoryview) -> tuple[bytes, bytes]:
    """(raw public, raw private) of a raw X25519 private key."""

def _xor_mix(session_key: bytes | bytearray | memoryview, frodo_ss: bytes | bytearray | memoryview) -> bytes:
    """32 bytes: session_key[i] ^ frodo_ss[i % len]."""

def _der_len(n: int) -> bytes:
    """DER definite length."""

def _pkcs1_to_spki(pkcs1: bytes | bytearray | memoryview) -> bytes:
    """SubjectPublicKeyInfo around a PKCS#1 RSAPublicKey."""

def _sig_strip(headered: bytes | bytearray | memoryview, label: str) -> tuple[int, int, bytes]:
    """(scheme id, strength, raw key) of a signature key."""

def _sig_kind(alg: int) -> str:
    """"mldsa" for ML_DSA, "slhdsa" otherwise."""
