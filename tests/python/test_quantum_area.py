"""The asynchronous quantum area and the synchronous facade (their names and
signatures are checked in test_surface.py)."""

from __future__ import annotations

import asyncio

import pytest

from morvex import errors, quantum, sync
from morvex._native import oqs as oqs_native
from morvex.quantum import core, types

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")


@pytest.mark.asyncio
async def test_async_defaults_and_round_trip():
    pub, priv = await quantum.generate_keypair()
    assert pub[:2] == priv[:2] == b"\x08\x02"
    secret, message = await quantum.encrypt("async ✓", pub)
    assert await quantum.decrypt(message, priv, secret) == "async ✓"
    # ... and the facade opens what the area made.
    assert sync.quantum.decrypt(message, priv, secret) == "async ✓"
    spub, spriv = await quantum.generate_signature_keypair()
    assert spub[:2] == spriv[:2] == b"\x01\x02"
    sig = await quantum.sign(b"data", spriv)
    assert await quantum.verify(b"data", sig, spub)
    assert not await quantum.verify(b"datA", sig, spub)
    # The facade's (native) defaults are the same.
    assert sync.quantum.generate_keypair()[0][:2] == b"\x08\x02"
    assert sync.quantum.generate_signature_keypair()[0][:2] == b"\x01\x02"


@pytest.mark.asyncio
async def test_async_errors_are_the_core_errors():
    with pytest.raises(errors.InvalidInputError, match="^Invalid or empty quantum public key$"):
        await quantum.encrypt("x", b"\x08")
    with pytest.raises(ValueError):
        await quantum.generate_keypair(9)
    with pytest.raises(errors.InvalidInputError, match="^Invalid signature private key: missing header$"):
        await quantum.sign(b"x", b"\x01")
    # Concurrent calls on the executor.
    pairs = await asyncio.gather(*(quantum.generate_keypair(8, s % 3) for s in range(6)))
    assert [p[0][1] for p in pairs] == [0, 1, 2, 0, 1, 2]


def test_signature_arguments_and_error_classes():
    pub, priv = core.generate_signature_keypair(types.SignatureAlgorithm.SLH_DSA, types.QuantumStrength.STANDARD)
    assert pub[:2] == priv[:2] == b"\x02\x00"
    sig = core.sign(b"", priv)
    assert core.verify(b"", sig, pub) is True
    assert core.verify(b"x", sig, pub) is False
    assert core.verify(b"", sig, b"\x01") is False
    with pytest.raises(errors.InvalidInputError) as exc:
        core.sign(b"d", b"\x07" + priv[1:])
    assert str(exc.value) == "Unsupported signature scheme id 7"
    assert isinstance(exc.value.__cause__, ValueError)
    with pytest.raises(IndexError):
        core.verify(b"d", sig, b"\x02\x05" + pub[2:])
    with pytest.raises(IndexError):
        core.sign(b"d", b"\x02\x05" + priv[2:])
    for args in ((3,), (0,), (1, 3), (1, -1), (2**80,)):
        with pytest.raises(ValueError):
            core.generate_signature_keypair(*args)
    assert core._sig_strip(b"\x02\x01", "signature public") == (2, 1, b"")
    assert core._sig_kind(types.SignatureAlgorithm.SLH_DSA) == "slhdsa"
