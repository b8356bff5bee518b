"""Post-quantum key generation, dispatch, formats and signatures through the
binding: argument conversion, error classes and causes, the GIL (byte buffers:
test_aes.py, for the one reader of them all). The layouts and their edge cases
are the C++ suite's; the formats are checked against an independent
implementation in test_quantum_interop.py."""

from __future__ import annotations

import threading

import pytest

from morvex import errors
from morvex._native import oqs as oqs_native
from morvex.quantum import _oqs, core
from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")

LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


def test_key_generation_takes_enumeration_members():
    pub, priv = core.generate_keypair(QuantumGeneration.GEN3, QuantumStrength.MEDIUM)
    assert pub[:2] == priv[:2] == b"\x06\x01"
    pub, priv = core.generate_signature_keypair(SignatureAlgorithm.SLH_DSA, QuantumStrength.STANDARD)
    assert pub[:2] == priv[:2] == b"\x02\x00"
    assert core.verify(b"", core.sign(b"", priv), pub) is True


@pytest.mark.parametrize(
    "fn,args",
    [(core.generate_keypair, a) for a in [(9,), (0,), (-1,), (2**70,), (2, 3), (4, 5), (QuantumGeneration.GEN8, 2**64)]]
    + [(core.generate_signature_keypair, a) for a in [(3,), (0,), (1, 3), (1, -1), (2**80,)]],
)
def test_values_naming_no_member_are_value_errors_before_the_backend(fn, args):
    oqs_native._set_backend_available(False)
    try:
        with pytest.raises(ValueError, match="is not a valid"):
            fn(*args)
        with pytest.raises(errors.QuantumOperationError) as exc:
            fn(6 if fn is core.generate_keypair else 1, 0)
        assert str(exc.value) == LOADER
    finally:
        oqs_native._set_backend_available(True)


def test_error_classes_and_causes(quantum_keys):
    with pytest.raises(errors.InvalidInputError, match="^Invalid or empty quantum public key$") as exc:
        core.encrypt("x", b"\x06\x01" + bytes(500))
    assert exc.value.__cause__ is None
    with pytest.raises(errors.QuantumOperationError, match="^Quantum generation 0x09 is not supported for decryption$"):
        core.decrypt(b"m", b"\x09\x00\x00", b"s")
    for empty in (b"", None, bytearray()):
        with pytest.raises(errors.InvalidInputError, match="^Encapsulated secret required for quantum decryption$"):
            core.decrypt(b"m", b"\x08\x02\x00", empty)
    # A strength byte outside 0..2 fails in the mechanism lookup: IndexError.
    bad = b"\x08\x03" + b"\x01" * 2000
    with pytest.raises(IndexError):
        core.encrypt("x", bad)
    pub, priv = quantum_keys(8, 0)
    secret, message = core._gen8_encrypt(b"ok\xff", pub[2:], 0)
    with pytest.raises(errors.DecryptionError, match="^Decrypted quantum data is not valid UTF-8$") as exc:
        core.decrypt(message, priv, secret)
    assert isinstance(exc.value.__cause__, UnicodeDecodeError)
    # Signatures: the scheme id's failed conversion is the cause.
    _, spriv = core.generate_signature_keypair(1, 0)
    with pytest.raises(errors.InvalidInputError, match="^Unsupported signature scheme id 7$") as exc:
        core.sign(b"d", b"\x07" + spriv[1:])
    assert isinstance(exc.value.__cause__, ValueError)


@pytest.mark.parametrize("layer", ["core", "adapter"])
def test_gil_is_released(layer):
    # An SLH-DSA-SHA2-256f signature (tens of milliseconds) on a worker
    # leaves this thread free: with the GIL held through the call the loop
    # below could not run until the call had finished.
    pub, priv = core.generate_signature_keypair(2, 2)
    alg = _oqs.sig_algorithm("slhdsa", 2)
    call = (lambda: core.sign(b"slow", priv)) if layer == "core" else (lambda: _oqs.sig_sign(alg, priv[2:], b"slow"))
    started, done = threading.Event(), threading.Event()
    result = []

    def work():
        started.set()
        result.append(call())
        done.set()

    worker = threading.Thread(target=work)
    spins = 0
    worker.start()
    started.wait()
    while not done.is_set():
        spins += 1
    worker.join()
    assert _oqs.sig_verify(alg, pub[2:], b"slow", result[0])
    assert spins > 1000
