"""Post-quantum core: generation-tagged key pairs, encryption of text to them,
and post-quantum signatures (synchronous operations).

Quantum key: generation byte || strength byte || raw key. ``encrypt`` returns
(encapsulated secret, encrypted message); ``decrypt`` takes the encrypted
message first, then the private key, then the secret. Signature keys carry
scheme id (1 ML-DSA, 2 SLH-DSA) || strength byte before the primitive's key.

The generation formats and building blocks (``_gen4_encrypt`` ... ``_gen8_decrypt``,
``_hkdf``, ``_gcm_seal`` ...) are exposed for tests and tooling; applications use
the six public operations.
"""

from __future__ import annotations

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._aio import operation as _operation
from morvex._native import quantum as _native
from morvex.quantum import _oqs  # noqa: F401  (the primitive adapter the formats call)
from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm

__all__ = [
    "QuantumGeneration",
    "QuantumStrength",
    "SignatureAlgorithm",
    "generate_keypair",
    "encrypt",
    "decrypt",
    "generate_signature_keypair",
    "sign",
    "verify",
]

# Public operations.
generate_keypair = _operation(_native.generate_keypair)
encrypt = _operation(_native.encrypt)
decrypt = _operation(_native.decrypt)
generate_signature_keypair = _operation(_native.generate_signature_keypair)
sign = _operation(_native.sign)
verify = _operation(_native.verify)

# HKDF labels and the DER AlgorithmIdentifier of rsaEncryption.
_GEN5_INFO: bytes = _native._GEN5_INFO
_GEN6_INFO: bytes = _native._GEN6_INFO
_GEN7_INFO: bytes = _native._GEN7_INFO
_GEN8_INFO: bytes = _native._GEN8_INFO
_RSA_ALG_ID: bytes = _native._RSA_ALG_ID

# Symmetric building blocks.
_hkdf = _native._hkdf
_gcm_seal = _native._gcm_seal
_gcm_open = _native._gcm_open
_cbc_encrypt = _native._cbc_encrypt
_cbc_decrypt = _native._cbc_decrypt
_hmac256 = _native._hmac256

# Generation formats.
_gen4_key = _native._gen4_key
_gen4_encrypt = _native._gen4_encrypt
_gen4_decrypt = _native._gen4_decrypt
_gen6_encrypt = _native._gen6_encrypt
_gen6_decrypt = _native._gen6_decrypt
_gen2_encrypt = _native._gen2_encrypt
_gen2_decrypt = _native._gen2_decrypt
_gen5_encrypt = _native._gen5_encrypt
_gen5_decrypt = _native._gen5_decrypt
_gen7_generate = _native._gen7_generate
_gen7_encrypt = _native._gen7_encrypt
_gen7_decrypt = _native._gen7_decrypt
_xor_mix = _native._xor_mix
_der_len = _native._der_len
_pkcs1_to_spki = _native._pkcs1_to_spki
_x25519_raw = _native._x25519_raw
_gen8_generate = _native._gen8_generate
_gen8_encrypt = _native._gen8_encrypt
_gen8_decrypt = _native._gen8_decrypt

# Signature keys.
_sig_strip = _native._sig_strip
_sig_kind = _native._sig_kind
