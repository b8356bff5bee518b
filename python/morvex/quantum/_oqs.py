"""Post-quantum primitive adapter and the mechanism-name tables.

Every operation takes a mechanism name of the tables below. Key pairs come
as (public_key, secret_key); ``encapsulate`` returns (ciphertext,
shared_secret). Failures raise QuantumOperationError; ``sig_verify``
answers False instead, except when the backend itself is missing.
"""

from __future__ import annotations

from types import ModuleType

from morvex import errors as _errors  # noqa: F401  (the classes the native layer raises)
from morvex._native import oqs as _native

__all__ = [
    "_FRODO",
    "_CMCE",
    "_MLKEM",
    "_MLDSA",
    "_SLHDSA",
    "_oqs",
    "frodo_alg",
    "cmce_alg",
    "mlkem_alg",
    "sig_algorithm",
    "generate_keypair",
    "encapsulate",
    "decapsulate",
    "sig_generate_keypair",
    "sig_sign",
    "sig_verify",
    "enabled_sig_mechanisms",
    "kem_sizes",
    "sig_sizes",
]

# Mechanism names by strength (0 STANDARD, 1 MEDIUM, 2 HIGHEST), read from
# the native mechanism table.
_FRODO: dict[int, str] = {s: _native.frodo_alg(s) for s in range(3)}
_CMCE: dict[int, str] = {s: _native.cmce_alg(s) for s in range(3)}
_MLKEM: dict[int, str] = {s: _native.mlkem_alg(s) for s in range(3)}
_MLDSA: dict[int, str] = {s: _native.mldsa_alg(s) for s in range(3)}
# Two spellings per strength, in order of preference.
_SLHDSA: dict[int, list[str]] = {s: _native.slhdsa_candidates(s) for s in range(3)}


def _oqs() -> ModuleType:
    """Return the backend handle, loading it on first use.

    Raises QuantumOperationError when this build has no post-quantum backend;
    a failed load is not remembered.
    """
    _native._oqs()
    return _native


frodo_alg = _native.frodo_alg
cmce_alg = _native.cmce_alg
mlkem_alg = _native.mlkem_alg
sig_algorithm = _native.sig_algorithm

generate_keypair = _native.generate_keypair
encapsulate = _native.encapsulate
decapsulate = _native.decapsulate
sig_generate_keypair = _native.sig_generate_keypair
sig_sign = _native.sig_sign
sig_verify = _native.sig_verify
enabled_sig_mechanisms = _native.enabled_sig_mechanisms
kem_sizes = _native.kem_sizes
sig_sizes = _native.sig_sizes
