"""Post-quantum key generation, dispatch and the message formats through the
binding: argument conversion, error classes and order, buffers, the GIL. The
layouts and their edge cases are the C++ suite's; the formats are checked
against an independent implementation in test_quantum_interop.py."""

from __future__ import annotations

import re
import threading

import pytest

from morvex import errors
from morvex._native import oqs as oqs_native
from morvex.quantum import _oqs, core
from morvex.quantum.types import QuantumGeneration, QuantumStrength

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")

GCM_FAILED = "Quantum AES-GCM decryption failed (wrong key or tampered data)"
LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"
# Classic McEliece at strength 0 only here (its keys take seconds; the C++
# suite covers every strength).
ALL_KEYS = [(4, 2), (6, 0), (6, 1), (6, 2), (2, 0), (5, 0)] + [(g, s) for g in (7, 8) for s in (0, 1, 2)]
TEXTS = ["", "hello", "Grüße ✓ 𝄞 — ночь", "x" * 1000]


def message_size(gen: int, n: int) -> int:
    m = 16 * (n // 16 + 1)
    return {4: n + 28, 6: n + 44, 2: m + 48, 5: m + 80}.get(gen, n + 60)


@pytest.fixture
def backend_absent():
    oqs_native._set_backend_available(False)
    try:
        yield
    finally:
        oqs_native._set_backend_available(True)


@pytest.mark.parametrize("gen,strength", ALL_KEYS)
def test_every_generation_and_strength_round_trips(quantum_keys, gen, strength):
    pub, priv = quantum_keys(gen, strength)
    assert pub[:2] == priv[:2] == bytes([gen, strength])
    # Classic McEliece decapsulation takes about a tenth of a second: two texts
    # there.
    cmce = gen in (2, 5)
    for text in TEXTS:
        secret, message = core.encrypt(text, pub)
        assert len(message) == message_size(gen, len(text.encode()))
        if not cmce or text in (TEXTS[0], TEXTS[2]):
            assert core.decrypt(message, priv, secret) == text
    a, b = core.encrypt("same", pub), core.encrypt("same", pub)
    assert a[0] != b[0] and a[1] != b[1]


def test_key_generation_headers(quantum_keys):
    # GEN1 and GEN3 name GEN2 and GEN6 keys; GEN4 is always FrodoKEM-1344.
    pub3, priv3 = core.generate_keypair(QuantumGeneration.GEN3, 1)
    assert pub3[:2] == priv3[:2] == b"\x06\x01"
    assert len(pub3) - 2 == _oqs.kem_sizes("FrodoKEM-976-AES")[0]
    pub4, _ = core.generate_keypair(4, QuantumStrength.STANDARD)
    assert pub4[:2] == b"\x04\x02"
    assert len(pub4) - 2 == _oqs.kem_sizes("FrodoKEM-1344-AES")[0]
    # The default is GEN8 at HIGHEST: 2 + 32 + 1568 and 2 + 32 + 3168 bytes.
    pub8, priv8 = core.generate_keypair()
    assert pub8[:2] == b"\x08\x02" and len(pub8) == 1602 and len(priv8) == 3202
    pub8s, priv8s = quantum_keys(8, 0)
    assert len(pub8s) == 834 and len(priv8s) == 1666


@pytest.mark.parametrize(
    "args",
    [(9,), (0,), (-1,), (2**70,), (2, 3), (4, 5), (8, -1), (QuantumGeneration.GEN8, 2**64)],
)
def test_generate_keypair_refuses_values_naming_no_member(backend_absent, args):
    with pytest.raises(ValueError, match="is not a valid Quantum"):
        core.generate_keypair(*args)


def test_generate_keypair_without_backend(backend_absent):
    with pytest.raises(errors.QuantumOperationError) as exc:
        core.generate_keypair(6, 0)
    assert str(exc.value) == LOADER


def test_dispatch_checks_and_their_order(quantum_keys):
    for bad in (b"", b"\x06", b"\x06\x01", b"\x06\x01" + bytes(500), b"\x01\x00\x00"):
        with pytest.raises(errors.InvalidInputError) as exc:
            core.encrypt("x", bad)
        assert str(exc.value) == "Invalid or empty quantum public key" and exc.value.__cause__ is None
    # The key is checked before the text is encoded.
    with pytest.raises(errors.InvalidInputError):
        core.encrypt("\ud800", b"\x08\x02")
    with pytest.raises(UnicodeEncodeError):
        core.encrypt("\ud800", b"\x01\x00\x01")
    for byte, digits in ((1, "01"), (3, "03"), (255, "ff"), (0, "00"), (9, "09")):
        with pytest.raises(errors.QuantumOperationError) as exc:
            core.encrypt("x", bytes([byte, 0, 1]))
        assert str(exc.value) == f"Quantum generation 0x{digits} is not supported for encryption"
        with pytest.raises(errors.QuantumOperationError) as exc:
            core.decrypt(b"m", bytes([byte, 0, 0]), b"s")
        assert str(exc.value) == f"Quantum generation 0x{digits} is not supported for decryption"

    with pytest.raises(errors.InvalidInputError, match="^Invalid quantum private key$"):
        core.decrypt(b"m", b"\x08\x02", b"")
    for empty in (b"", None, bytearray()):
        with pytest.raises(errors.InvalidInputError, match="^Encapsulated secret required for quantum decryption$"):
            core.decrypt(b"m", b"\x08\x02\x00", empty)
    # A strength byte outside 0..2 fails in the mechanism lookup.
    for gen in (6, 2, 5, 8, 7):
        pub = bytes([gen, 3]) + b"\x01" * 2000
        secret = (100).to_bytes(4, "little") + b"\x01" * 132
        if gen == 7:
            pub = b"\x07\x03" + quantum_keys(7, 2)[0][2:]
            priv = b"\x07\x03" + quantum_keys(7, 2)[1][2:]
            secret = core.encrypt("x", quantum_keys(7, 2)[0])[0]
        else:
            priv = pub
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


def test_gil_is_released(quantum_keys):
    # A slow Classic McEliece decryption on a worker leaves this thread free.
    pub, priv = quantum_keys(2, 0)
    secret, message = core.encrypt("slow", pub)
    started, done = threading.Event(), threading.Event()
    result = []

    def work():
        started.set()
        result.append(core.decrypt(message, priv, secret))
        done.set()

    worker = threading.Thread(target=work)
    spins = 0
    worker.start()
    started.wait()
    # With the GIL held through the call this loop could not run until the
    # decryption had finished.
    while not done.is_set():
        spins += 1
    worker.join()
    assert result == ["slow"]
    assert spins > 1000
