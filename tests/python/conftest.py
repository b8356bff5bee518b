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
    """Post-quantum key pairs by (generation byte, strength), made on first use."""

    def __init__(self) -> None:
        self._cache: dict[tuple[int, int], tuple[bytes, bytes]] = {}

    def __call__(self, gen: int, strength: int) -> tuple[bytes, bytes]:
        from morvex.quantum import core

        if (gen, strength) not in self._cache:
            self._cache[(gen, strength)] = core.generate_keypair(gen, strength)
        return self._cache[(gen, strength)]


@pytest.fixture(scope="session")
def quantum_keys() -> _QuantumKeys:
    return _QuantumKeys()
