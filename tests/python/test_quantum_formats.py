"""Post-quantum key generation, dispatch and the message formats through the
binding: argument conversion, error classes and order, buffers, the GIL. The
layouts and their edge cases are the C++ suite's; the formats are checked
against an independent implementation in test_quantum_interop.py."""

from __future__ import annotations

import threading

import pytest

from morvex import errors
from morvex._native import oqs as oqs_native
from morvex.quantum import _oqs, core
from morvex.quantum.types import QuantumGeneration, QuantumStrength

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")

LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


@pytest.fixture
def backend_absent():
    oqs_native._set_backend_available(False)
    try:
        yield
    finally:
        oqs_native._set_backend_available(True)


def test_text_round_trips_through_the_binding(quantum_keys):
    # Every generation and strength: the C++ suite.
    pub, priv = quantum_keys(8, 2)
    for text in ["", "Grüße ✓ 𝄞 — ночь"]:
        secret, message = core.encrypt(text, pub)
        assert core.decrypt(message, priv, secret) == text


def test_key_generation_takes_enumeration_members():
    # GEN3 names GEN6 keys; GEN4 is always FrodoKEM-1344.
    pub3, priv3 = core.generate_keypair(QuantumGeneration.GEN3, QuantumStrength.MEDIUM)
    assert pub3[:2] == priv3[:2] == b"\x06\x01"
    assert len(pub3) - 2 == _oqs.kem_sizes("FrodoKEM-976-AES")[0]
    assert core.generate_keypair(4, QuantumStrength.STANDARD)[0][:2] == b"\x04\x02"


@pytest.mark.parametrize(
    "args",
    [(9,), (0,), (-1,), (2**70,), (2, 3), (4, 5), (8, -1), (QuantumGeneration.GEN8, 2**64)],
)
def test_generate_keypair_refuses_values_naming_no_member(backend_absent, args):
    # Conversion comes before the backend.
    with pytest.raises(ValueError, match="is not a valid Quantum"):
        core.generate_keypair(*args)


def test_generate_keypair_without_backend(backend_absent):
    with pytest.raises(errors.QuantumOperationError) as exc:
        core.generate_keypair(6, 0)
    assert str(exc.value) == LOADER


def test_dispatch_error_classes_and_order(quantum_keys):
    with pytest.raises(errors.InvalidInputError) as exc:
        core.encrypt("x", b"\x06\x01" + bytes(500))
    assert str(exc.value) == "Invalid or empty quantum public key" and exc.value.__cause__ is None
    # The key is checked before the text is encoded.
    with pytest.raises(errors.InvalidInputError):
        core.encrypt("\ud800", b"\x08\x02")
    with pytest.raises(UnicodeEncodeError):
        core.encrypt("\ud800", b"\x01\x00\x01")
    with pytest.raises(errors.QuantumOperationError, match="^Quantum generation 0x09 is not supported for decryption$"):
        core.decrypt(b"m", b"\x09\x00\x00", b"s")
    for empty in (b"", None, bytearray()):
        with pytest.raises(errors.InvalidInputError, match="^Encapsulated secret required for quantum decryption$"):
            core.decrypt(b"m", b"\x08\x02\x00", empty)
    # A strength byte outside 0..2 fails in the mechanism lookup.
    pub7, priv7 = quantum_keys(7, 2)
    secret7 = core.encrypt("x", pub7)[0]
    for pub, priv, secret in [
        (b"\x08\x03" + b"\x01" * 2000, b"\x08\x03" + b"\x01" * 2000, (100).to_bytes(4, "little") + b"\x01" * 132),
        (b"\x07\x03" + pub7[2:], b"\x07\x03" + priv7[2:], secret7),
    ]:
        with pytest.raises(IndexError):
            core.encrypt("x", pub)
        with pytest.raises(IndexError):
            core.decrypt(b"\x01" * 200, priv, secret)


def test_plaintext_must_be_utf8(quantum_keys):
    pub, priv = quantum_keys(8, 0)
    secret, message = core._gen8_encrypt(b"ok\xff", pub[2:], 0)
    with pytest.raises(errors.DecryptionError) as exc:
        core.decrypt(message, priv, secret)
    assert str(exc.value) == "Decrypted quantum data is not valid UTF-8"
    assert isinstance(exc.value.__cause__, UnicodeDecodeError)


def test_buffer_arguments(quantum_keys):
    pub, priv = quantum_keys(8, 0)
    secret, message = core.encrypt("buffers", bytearray(pub))
    assert core.decrypt(memoryview(message), bytearray(priv), memoryview(secret)) == "buffers"
    with pytest.raises(TypeError):
        core.encrypt("x", "not bytes")
    with pytest.raises(TypeError):
        _oqs.encapsulate("ML-KEM-512", "text")


@pytest.mark.parametrize("layer", ["core", "adapter"])
def test_gil_is_released(quantum_keys, layer):
    # A slow Classic McEliece decryption (about a tenth of a second) on a
    # worker leaves this thread free: with the GIL held through the call the
    # loop below could not run until the call had finished.
    pub, priv = quantum_keys(2, 0)
    secret, message = core.encrypt("slow", pub)
    if layer == "core":
        call, want = (lambda: core.decrypt(message, priv, secret)), "slow"
    else:
        alg = "Classic-McEliece-6688128"
        ct, ss = _oqs.encapsulate(alg, pub[2:])
        call, want = (lambda: _oqs.decapsulate(alg, priv[2:], ct)), ss
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
    assert result == [want]
    assert spins > 1000
