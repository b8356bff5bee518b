"""Shared fixtures for the Python suite."""

from __future__ import annotations

import pathlib

import pytest

KEYS = pathlib.Path(__file__).resolve().parents[1] / "data" / "keys"


@pytest.fixture(scope="session")
def rsa_pairs() -> list[tuple[str, str]]:
    """The two RSA-4096 key pairs of tests/data/keys as (private PEM, public PEM)."""
    return [((KEYS / f"rsa4096_{n}_private.pem").read_text(), (KEYS / f"rsa4096_{n}_public.pem").read_text())
            for n in "ab"]

