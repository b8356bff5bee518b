"""Post-quantum key generation, dispatch and message formats from Python."""

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
ALL_KEYS = [(4, 2), (6, 0), (6, 1), (6, 2), (2, 0), (2, 1), (2, 2), (5, 0), (5, 1), (5, 2)] + [
    (g, s) for g in (7, 8) for s in (0, 1, 2)
]
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
    # Classic McEliece decapsulation takes a good part of a second: one text
    # per key there, and the empty text at strength 0.
    cmce = gen in (2, 5)
    for text in TEXTS:
        secret, message = core.encrypt(text, pub)
        assert len(message) == message_size(gen, len(text.encode()))
        if not cmce or text == TEXTS[2] or (text == "" and strength == 0):
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


def test_generation_one_makes_gen2_keys(quantum_keys):
    # The session's Gen2 key of strength 0 is made by asking for GEN1.
    pub, priv = quantum_keys(2, 0)
    assert pub[:2] == priv[:2] == b"\x02\x00"
    assert len(pub) - 2 == _oqs.kem_sizes("Classic-McEliece-6688128")[0]


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


def test_gen4_ignores_the_strength_byte(quantum_keys):
    pub, priv = quantum_keys(4, 2)
    secret, message = core.encrypt("still 1344", b"\x04\x00" + pub[2:])
    assert len(secret) == _oqs.kem_sizes("FrodoKEM-1344-AES")[2]
    assert core.decrypt(message, b"\x04\x07" + priv[2:], secret) == "still 1344"


def test_plaintext_must_be_utf8(quantum_keys):
    pub, priv = quantum_keys(8, 0)
    secret, message = core._gen8_encrypt(b"ok\xff", pub[2:], 0)
    with pytest.raises(errors.DecryptionError) as exc:
        core.decrypt(message, priv, secret)
    assert str(exc.value) == "Decrypted quantum data is not valid UTF-8"
    assert isinstance(exc.value.__cause__, UnicodeDecodeError)


@pytest.fixture(scope="module")
def other_cmce_key() -> bytes:
    """The private key of a second Classic-McEliece-6688128 pair (Gen2 header)."""
    return core.generate_keypair(2, 0)[1]


@pytest.mark.parametrize("gen", [4, 6, 2, 5, 8])
def test_wrong_private_key_fails_in_authentication(quantum_keys, other_cmce_key, gen):
    pub, _ = quantum_keys(gen, 2 if gen == 4 else 0)
    if gen in (2, 5):
        other_priv = bytes([gen]) + other_cmce_key[1:]
        want = f"Gen{gen} HMAC verification failed"
    else:
        other_priv = core.generate_keypair(gen, 0)[1]
        want = GCM_FAILED
    secret, message = core.encrypt("secret", pub)
    with pytest.raises(errors.DecryptionError) as exc:
        core.decrypt(message, other_priv, secret)
    assert str(exc.value) == want


@pytest.mark.parametrize("gen", [4, 6, 2, 5, 7, 8])
def test_tampering_is_detected(quantum_keys, gen):
    pub, priv = quantum_keys(gen, 2 if gen == 4 else 0)
    secret, message = core.encrypt("tamper with me", pub)
    want = f"Gen{gen} HMAC verification failed" if gen in (2, 5) else GCM_FAILED
    positions = [0] if gen in (2, 5) else [0, len(message) // 2, len(message) - 1]
    for pos in positions:
        m = bytearray(message)
        m[pos] ^= 1
        with pytest.raises(errors.DecryptionError, match=f"^{re.escape(want)}$"):
            core.decrypt(bytes(m), priv, secret)
    s = bytearray(secret)
    s[-33 if gen == 8 else -1] ^= 1
    with pytest.raises(errors.DecryptionError, match=f"^{re.escape(want)}$"):
        core.decrypt(message, priv, bytes(s))


def test_gen4_and_gen6_length_edges(quantum_keys, backend_absent):
    # The length checks need no backend.
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen4 encrypted message$"):
        core._gen4_decrypt(bytes(27), b"k", b"c")
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen6 encrypted message$"):
        core._gen6_decrypt(bytes(43), b"k", b"c", 0)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen2 encrypted message$"):
        core._gen2_decrypt(bytes(47), b"k", b"c", 0)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen5 encrypted message$"):
        core._gen5_decrypt(bytes(79), b"k", b"c", 0)
    with pytest.raises(errors.QuantumOperationError, match="^Post-quantum support"):
        core._gen4_decrypt(bytes(28), b"k", b"c")


def test_gen4_and_gen6_empty_plaintext(quantum_keys):
    pub, priv = quantum_keys(4, 2)
    capsule, enc = core._gen4_encrypt(b"", pub[2:])
    assert len(enc) == 28 and core._gen4_decrypt(enc, priv[2:], capsule) == b""
    with pytest.raises(errors.DecryptionError, match=re.escape(GCM_FAILED)):
        core._gen4_decrypt(bytes(28), priv[2:], capsule)
    # The Gen4 key is HMAC-SHA256(ss, 0x01).
    ss = _oqs.decapsulate("FrodoKEM-1344-AES", priv[2:], capsule)
    assert core._gen4_key(ss) == core._hmac256(ss, b"\x01")
    assert core._gcm_open(core._gen4_key(ss), enc[:12], enc[12:-16], enc[-16:]) == b""

    pub, priv = quantum_keys(6, 1)
    capsule, enc = core._gen6_encrypt(b"", pub[2:], QuantumStrength.MEDIUM)
    assert len(enc) == 44 and core._gen6_decrypt(enc, priv[2:], capsule, 1) == b""
    ss = _oqs.decapsulate("FrodoKEM-976-AES", priv[2:], capsule)
    key = core._hkdf(ss, enc[:16], b"Gen6-Frodo-GCM", 32)
    assert core._gcm_open(key, enc[16:28], enc[28:-16], enc[-16:]) == b""
    bad = bytearray(enc)
    bad[3] ^= 0x10  # the salt
    with pytest.raises(errors.DecryptionError):
        core._gen6_decrypt(bytes(bad), priv[2:], capsule, 1)


def test_gen2_and_gen5_layouts_and_macs(quantum_keys):
    pub, priv = quantum_keys(2, 0)
    capsule, enc = core._gen2_encrypt(b"", pub[2:], 0)
    assert len(enc) == 64
    ss = _oqs.decapsulate("Classic-McEliece-6688128", priv[2:], capsule)
    assert enc[-32:] == core._hmac256(ss, enc[:-32])
    assert core._cbc_decrypt(enc[16:32], core._hkdf(ss, b"", b"", 32), enc[:16]) == b""
    with pytest.raises(errors.DecryptionError, match="^Gen2 HMAC verification failed$"):
        core._gen2_decrypt(bytes(48), priv[2:], capsule, 0)

    pub, priv = quantum_keys(5, 0)
    capsule, enc = core._gen5_encrypt(b"a" * 16, pub[2:], 0)
    assert len(enc) == 112
    ss = _oqs.decapsulate("Classic-McEliece-6688128", priv[2:], capsule)
    dk = core._hkdf(ss, enc[:32], core._GEN5_INFO, 64)
    assert enc[-32:] == core._hmac256(dk[32:], enc[:-32])
    assert core._cbc_decrypt(enc[48:-32], dk[:32], enc[32:48]) == b"a" * 16


def test_gen7_layout_and_checks(quantum_keys):
    pub, priv = quantum_keys(7, 2)
    assert pub[:10] == bytes([7, 2, 0x0E, 0x02, 0, 0, 0x30, 0x82, 0x02, 0x0A])
    secret, message = core._gen7_encrypt(b"", pub[2:], 2)
    assert secret[:4] == b"\x00\x02\x00\x00" and len(message) == 60
    assert core._gen7_decrypt(message, priv[2:], secret, 2) == b""
    for raw, msg in (
        (b"\x01\x02\x03", "Invalid Gen7 public key"),
        (pub[2 : 2 + 4 + 526], "Invalid Gen7 public key (truncated)"),
        (b"\xff\xff\xff\xff" + b"\x01" * 600, "Invalid Gen7 public key (truncated)"),
    ):
        with pytest.raises(errors.InvalidInputError) as exc:
            core._gen7_encrypt(b"", raw, 2)
        assert str(exc.value) == msg
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen7 RSA public key: .") as exc:
        core._gen7_encrypt(b"", (4).to_bytes(4, "little") + b"0000" + b"\x01" * 10, 2)
    assert exc.value.__cause__ is not None
    # Decryption checks key, secret, message, in this order, before parsing.
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen7 private key$"):
        core._gen7_decrypt(b"", b"abc", b"", 2)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen7 encapsulated secret$"):
        core._gen7_decrypt(b"", b"\x05\x00\x00\x00\x02", b"abc", 2)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen7 encrypted message$"):
        core._gen7_decrypt(bytes(59), b"\x05\x00\x00\x00\x02", b"abcd", 2)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen7 RSA private key: ."):
        core._gen7_decrypt(bytes(60), b"\x05\x00\x00\x00\x02" * 2, b"abcd", 2)
    bad = bytearray(secret)
    bad[10] ^= 1
    with pytest.raises(errors.DecryptionError, match="^Gen7 RSA decryption failed$") as exc:
        core._gen7_decrypt(message, priv[2:], bytes(bad), 2)
    assert exc.value.__cause__ is not None


def test_gen8_layout_and_checks(quantum_keys):
    pub, priv = quantum_keys(8, 1)
    secret, message = core._gen8_encrypt(b"", pub[2:], 1)
    assert len(secret) == 1124 and secret[:4] == b"\x40\x04\x00\x00" and len(message) == 60
    assert core._gen8_decrypt(message, priv[2:], secret, 1) == b""
    assert core._gen8_decrypt(message, priv[2:], secret + b"\xaa" * 9, 1) == b""
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 public key$"):
        core._gen8_encrypt(b"", bytes(31), 1)
    with pytest.raises(errors.QuantumOperationError, match=r"^KEM encapsulation failed \(ML-KEM-768\): "):
        core._gen8_encrypt(b"", b"\x01" * 32, 1)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 private key$"):
        core._gen8_decrypt(b"", bytes(31), b"", 1)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 encapsulated secret$"):
        core._gen8_decrypt(b"", priv[2:], bytes(35), 1)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 encrypted message$"):
        core._gen8_decrypt(bytes(59), priv[2:], secret, 1)
    for c in (0, 1089, 2**32 - 1):
        with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 encapsulated secret$"):
            core._gen8_decrypt(message, priv[2:], c.to_bytes(4, "little") + secret[4:], 1)
    other_pub, _ = core._x25519_raw(b"\x42" * 32)
    with pytest.raises(errors.DecryptionError, match="^Quantum AES-GCM"):
        core._gen8_decrypt(message, priv[2:], secret[:-32] + other_pub, 1)


def test_gen8_low_order_x25519_keys(quantum_keys):
    pub, priv = quantum_keys(8, 0)
    low = b"\x01" + bytes(31)
    with pytest.raises(errors.InvalidInputError, match="^Invalid Gen8 public key$"):
        core.encrypt("x", pub[:2] + low + pub[34:])
    secret, message = core.encrypt("x", pub)
    with pytest.raises(errors.DecryptionError, match="^Quantum AES-GCM"):
        core.decrypt(message, priv, secret[:-32] + low)


def test_helpers():
    assert core._der_len(127) == b"\x7f"
    assert core._der_len(128) == b"\x81\x80"
    assert core._der_len(300) == b"\x82\x01\x2c"
    assert core._RSA_ALG_ID == bytes.fromhex("300D06092A864886F70D0101010500")
    assert core._pkcs1_to_spki(b"") == bytes.fromhex("3012300d06092a864886f70d0101010500030100")
    s = bytes(range(1, 17))
    assert core._xor_mix(bytes(32), s) == s + s
    assert core._xor_mix(bytes(32), bytes(range(24))) == bytes(range(24)) + bytes(range(8))
    assert (core._GEN5_INFO, core._GEN6_INFO, core._GEN7_INFO, core._GEN8_INFO) == (
        b"Gen5-CMCE-HMAC",
        b"Gen6-Frodo-GCM",
        b"Gen7-Hybrid-RSA-Frodo",
        b"Gen8-Hybrid-X25519-MLKEM",
    )
    ct, tag = core._gcm_seal(bytes(32), bytes(12), b"")
    assert ct == b"" and len(tag) == 16 and core._gcm_open(bytes(32), bytes(12), ct, tag) == b""
    with pytest.raises(errors.DecryptionError) as exc:
        core._gcm_open(bytes(32), bytes(12), b"", bytes(16))
    assert exc.value.__cause__ is not None
    assert [len(core._cbc_encrypt(b"a" * n, bytes(32), bytes(16))) for n in (0, 15, 16)] == [16, 16, 32]
    with pytest.raises(errors.DecryptionError, match="^Quantum AES-CBC unpadding failed$"):
        core._cbc_decrypt(b"", bytes(32), bytes(16))
    assert core._hkdf(b"k", b"", b"i", 32) == core._hkdf(b"k", bytes(32), b"i", 32)
    assert core._hkdf(b"k", b"s", b"i", 64)[:32] == core._hkdf(b"k", b"s", b"i", 32)


def test_buffer_arguments(quantum_keys):
    pub, priv = quantum_keys(8, 0)
    secret, message = core.encrypt("buffers", bytearray(pub))
    assert core.decrypt(memoryview(message), bytearray(priv), memoryview(secret)) == "buffers"
    with pytest.raises(TypeError):
        core.encrypt("x", "not bytes")


def test_gil_is_released(quantum_keys):
    # A slow Classic McEliece decryption on a worker leaves this thread free.
    pub, priv = quantum_keys(2, 2)
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
