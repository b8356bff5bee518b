"""
Post-quantum primitive adapter.

An operation whose backend call fails raises QuantumOperationError
"<operation> failed (<alg>): <reason>"; without a backend, the loader's message.
"""

from collections.abc import Sequence


def _oqs() -> None:
    """
    Make the post-quantum backend available (raises when this build has none).
    """

def generate_keypair(alg: str) -> tuple[bytes, bytes]:
    """
    A KEM key pair (public_key, secret_key); fails as "KEM key generation failed (<alg>): ...".
    """

def encapsulate(alg: str, public_key: bytes | bytearray | memoryview) -> tuple[bytes, bytes]:
    """
    A fresh shared secret: (ciphertext, shared_secret); fails as "KEM encapsulation failed (<alg>): ...".
    """

def decapsulate(alg: str, secret_key: bytes | bytearray | memoryview, ciphertext: bytes | bytearray | memoryview) -> bytes:
    """
    The shared secret of a ciphertext; fails as "KEM decapsulation failed (<alg>): ...".
    """

def sig_generate_keypair(alg: str) -> tuple[bytes, bytes]:
    """
    A signature key pair (public_key, secret_key); fails as "Signature key generation failed (<alg>): ...".
    """

def sig_sign(alg: str, secret_key: bytes | bytearray | memoryview, message: bytes | bytearray | memoryview) -> bytes:
    """
    The signature of a message (pure mode, empty context); fails as "Signing failed (<alg>): ...".
    """

def sig_verify(alg: str, public_key: bytes | bytearray | memoryview, message: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview) -> bool:
    """
    Verify a signature: False for any failure, the loader's error when the backend is absent.
    """

def enabled_sig_mechanisms() -> set[str]:
    """Names of the signature mechanisms the backend enables."""

def kem_sizes(alg: str) -> tuple[int, int, int, int]:
    """
    (public_key, secret_key, ciphertext, shared_secret) lengths of a KEM mechanism.
    """

def sig_sizes(alg: str) -> tuple[int, int, int]:
    """(public_key, secret_key, signature) lengths of a signature mechanism."""

def frodo_alg(strength: int) -> str:
    """FrodoKEM mechanism name of a strength (0..2)."""

def cmce_alg(strength: int) -> str:
    """Classic McEliece mechanism name of a strength (0..2)."""

def mlkem_alg(strength: int) -> str:
    """ML-KEM mechanism name of a strength (0..2)."""

def mldsa_alg(strength: int) -> str:
    """ML-DSA mechanism name of a strength (0..2)."""

def slhdsa_candidates(strength: int) -> list[str]:
    """SLH-DSA mechanism names of a strength (0..2), in order of preference."""

def sig_algorithm(kind: str, strength: int) -> str:
    """
    Signature mechanism name: ML-DSA for kind "mldsa", otherwise the first enabled
    SLH-DSA spelling (asks the backend).
    """

_BACKEND_LINKED: bool

def _set_backend_available(available: bool) -> None:
    """Tests only: mark the backend absent (False) or present again (True)."""

def _set_enabled_sig_mechanisms(names: Sequence[str] | None) -> None:
    """
    Tests only: override (or restore, with None) the enabled signature mechanisms.
    """
