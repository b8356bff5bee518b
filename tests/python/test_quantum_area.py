"""The asynchronous quantum area and the synchronous facade."""

from __future__ import annotations

import asyncio
import inspect

import pytest

import morvex
from morvex import errors, quantum, sync
from morvex._native import oqs as oqs_native
from morvex.quantum import core, types

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")


def test_area_names_and_reexports():
    assert quantum.__all__ == [
        "generate_keypair",
        "encrypt",
        "decrypt",
        "generate_signature_keypair",
        "sign",
        "verify",
        "QuantumGeneration",
        "QuantumStrength",
        "SignatureAlgorithm",
        "core",
    ]
    assert quantum.QuantumGeneration is types.QuantumGeneration
    assert quantum.QuantumStrength is types.QuantumStrength
    assert quantum.SignatureAlgorithm is types.SignatureAlgorithm
    assert quantum.core is core
    assert not hasattr(morvex, "QuantumGeneration")
    for name in quantum.__all__[:6]:
        assert inspect.iscoroutinefunction(getattr(quantum, name))
    defaults = inspect.signature(quantum.generate_keypair).parameters
    assert defaults["generation"].default is types.QuantumGeneration.GEN8
    assert defaults["strength"].default is types.QuantumStrength.HIGHEST
    defaults = inspect.signature(quantum.generate_signature_keypair).parameters
    assert defaults["algorithm"].default is types.SignatureAlgorithm.ML_DSA


def test_facade_members_are_the_core_operations():
    names = ["generate_keypair", "encrypt", "decrypt", "generate_signature_keypair", "sign", "verify"]
    assert [n for n in vars(type(sync.quantum)) if not n.startswith("_")] == names
    for name in names:
        assert getattr(sync.quantum, name) is getattr(core, name)


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


def test_sync_defaults():
    pub, _ = sync.quantum.generate_keypair()
    assert pub[:2] == b"\x08\x02"
    spub, _ = sync.quantum.generate_signature_keypair()
    assert spub[:2] == b"\x01\x02"


def test_signature_headers_and_failures():
    for alg in (types.SignatureAlgorithm.ML_DSA, 2):
        for strength in (0, types.QuantumStrength.MEDIUM, 2):
            pub, priv = core.generate_signature_keypair(alg, strength)
            assert pub[:2] == priv[:2] == bytes([int(alg), int(strength)])
            sig = core.sign(b"", priv)
            assert core.verify(b"", sig, pub) is True
            assert core.verify(b"x", sig, pub) is False
    pub, priv = core.generate_signature_keypair(1, 0)
    assert len(pub) == 2 + 1312
    sig = core.sign(b"d", priv)
    assert len(sig) == 2420
    assert core.verify(b"d", sig, b"\x01") is False
    assert core.verify(b"d", sig, b"\x00" + pub[1:]) is False
    assert core.verify(b"d", sig, b"\x03" + pub[1:]) is False
    assert core.verify(b"d", sig[:-1], pub) is False
    assert core.verify(b"d", sig, core.generate_signature_keypair(1, 0)[0]) is False
    with pytest.raises(errors.InvalidInputError) as exc:
        core.sign(b"d", b"\x07" + priv[1:])
    assert str(exc.value) == "Unsupported signature scheme id 7"
    assert isinstance(exc.value.__cause__, ValueError)
    with pytest.raises(IndexError):
        core.verify(b"d", sig, b"\x01\x05" + pub[2:])
    with pytest.raises(IndexError):
        core.sign(b"d", b"\x01\x05" + priv[2:])
    for args in ((3,), (0,), (1, 3), (1, -1), (2**80,)):
        with pytest.raises(ValueError):
            core.generate_signature_keypair(*args)
    assert core._sig_strip(b"\x02\x01", "signature public") == (2, 1, b"")
    assert core._sig_kind(types.SignatureAlgorithm.ML_DSA) == "mldsa"
    assert core._sig_kind(types.SignatureAlgorithm.SLH_DSA) == "slhdsa"
