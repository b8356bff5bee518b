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
