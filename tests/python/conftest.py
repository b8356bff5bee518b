"""Shared fixtures for the Python suite."""

from __future__ import annotations

import pytest


@pytest.fixture(scope="session")
def rsa_pairs() -> list[tuple[str, str]]:
    """Two RSA-4096 key pairs (private PEM, public PEM) made by the library,
    once per session: generating them is the slowest RSA operation."""
    from morvex.rsa import core

    return [core.new_key_pair() for _ in range(2)]


@pytest.fixture(scope="session")
def rsa_pair(rsa_pairs: list[tuple[str, str]]) -> tuple[str, str]:
    return rsa_pairs[0]


class _QuantumKeys:
    """Post-quantum key pairs by (generation byte, strength), made on first use.

    Classic McEliece keys take about a second and a megabyte each: Gen2 and
    Gen5 share them (only the header byte differs), as Gen4 and Gen6 share
    their FrodoKEM-1344 key, and the Gen7 keys of strengths 0 and 1 reuse the
    RSA half of the strength-2 key. The Gen2 key of strength 0 is made by
    asking for GEN1."""

    def __init__(self) -> None:
        self._cache: dict[tuple[int, int], tuple[bytes, bytes]] = {}

    def __call__(self, gen: int, strength: int) -> tuple[bytes, bytes]:
        from morvex.quantum import core

        key = (gen, strength)
        if key in self._cache:
            return self._cache[key]
        if gen in (2, 5) and (7 - gen, strength) in self._cache:
            pub, priv = self._cache[(7 - gen, strength)]
            pair = (bytes([gen]) + pub[1:], bytes([gen]) + priv[1:])
        elif gen == 6 and strength == 2 and (4, 2) in self._cache:
            pub, priv = self._cache[(4, 2)]
            pair = (b"\x06" + pub[1:], b"\x06" + priv[1:])
        elif gen == 7 and strength != 2:
            full_pub, full_priv = self(7, 2)
            frodo_pub, frodo_priv = self(6, strength)

            def rsa_part(k: bytes) -> bytes:
                return k[2 : 6 + int.from_bytes(k[2:6], "little")]

            head = bytes([7, strength])
            pair = (head + rsa_part(full_pub) + frodo_pub[2:], head + rsa_part(full_priv) + frodo_priv[2:])
        else:
            # The Gen2 key of strength 0 is made by asking for GEN1.
            pair = core.generate_keypair(1 if key == (2, 0) else gen, strength)
        self._cache[key] = pair
        return pair


@pytest.fixture(scope="session")
def quantum_keys() -> _QuantumKeys:
    return _QuantumKeys()
