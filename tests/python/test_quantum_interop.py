"""The post-quantum formats against `cryptography`: ML-DSA, ML-KEM, and each
generation's messages opened from their parts (morvex reading its own messages:
the C++ round trips and the frozen vectors)."""

from __future__ import annotations

import pytest

from morvex._native import oqs as oqs_native
from morvex.quantum import _oqs, core

pytestmark = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")

NEEDS = "this cryptography has no ML-DSA or ML-KEM (needs 47 or later)"
mldsa = pytest.importorskip("cryptography.hazmat.primitives.asymmetric.mldsa", reason=NEEDS)
mlkem = pytest.importorskip("cryptography.hazmat.primitives.asymmetric.mlkem", reason=NEEDS)
from cryptography.hazmat.primitives import hashes, hmac, serialization  # noqa: E402
from cryptography.hazmat.primitives import padding as sym_padding  # noqa: E402
from cryptography.hazmat.primitives.asymmetric import padding, x25519  # noqa: E402
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes  # noqa: E402
from cryptography.hazmat.primitives.ciphers.aead import AESGCM  # noqa: E402
from cryptography.hazmat.primitives.kdf.hkdf import HKDF  # noqa: E402


def hkdf(ikm: bytes, salt: bytes, info: bytes, length: int = 32) -> bytes:
    return HKDF(algorithm=hashes.SHA256(), length=length, salt=salt or None, info=info).derive(ikm)


def hmac256(key: bytes, data: bytes) -> bytes:
    h = hmac.HMAC(key, hashes.SHA256())
    h.update(data)
    return h.finalize()


def cbc_open(ct: bytes, key: bytes, iv: bytes) -> bytes:
    d = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    u = sym_padding.PKCS7(128).unpadder()
    return u.update(d.update(ct) + d.finalize()) + u.finalize()


def hkdf_gcm_open(ikm: bytes, info: bytes, message: bytes, salt_len: int = 32) -> bytes:
    """salt || nonce || ct || tag, under the key HKDF(ikm, salt, info)."""
    key = hkdf(ikm, message[:salt_len], info)
    return AESGCM(key).decrypt(message[salt_len : salt_len + 12], message[salt_len + 12 :], None)


def test_our_frodo_messages_open_with_cryptography():
    # Gen4: key = HMAC-SHA256(ss, 0x01); nonce || ct || tag.
    pub, priv = core.generate_keypair(4, 2)
    capsule, enc = core.encrypt("four", pub)
    ss = _oqs.decapsulate("FrodoKEM-1344-AES", priv[2:], capsule)
    assert AESGCM(hmac256(ss, b"\x01")).decrypt(enc[:12], enc[12:], None) == b"four"
    # Gen6: key = HKDF(ss, salt, "Gen6-Frodo-GCM"), a salt of 16 bytes.
    pub, priv = core.generate_keypair(6, 1)
    capsule, enc = core.encrypt("", pub)
    assert len(enc) == 44
    ss = _oqs.decapsulate("FrodoKEM-976-AES", priv[2:], capsule)
    assert hkdf_gcm_open(ss, b"Gen6-Frodo-GCM", enc, 16) == b""


def test_our_classic_mceliece_messages_open_with_cryptography():
    # Gen2: AES key = HKDF(ss), MAC = HMAC(ss, iv || ct); iv || ct || mac.
    pub, priv = core.generate_keypair(2, 0)
    capsule, enc = core._gen2_encrypt(b"", pub[2:], 0)
    assert len(enc) == 64
    ss = _oqs.decapsulate("Classic-McEliece-6688128", priv[2:], capsule)
    assert enc[-32:] == hmac256(ss, enc[:-32])
    assert cbc_open(enc[16:-32], hkdf(ss, b"", b""), enc[:16]) == b""
    # Gen5: aes_key || mac_key = HKDF(ss, salt, "Gen5-CMCE-HMAC", 64);
    # salt || iv || ct || HMAC(mac_key, salt || iv || ct).
    pub, priv = core.generate_keypair(5, 0)
    capsule, enc = core._gen5_encrypt(b"a" * 16, pub[2:], 0)
    assert len(enc) == 112
    ss = _oqs.decapsulate("Classic-McEliece-6688128", priv[2:], capsule)
    dk = hkdf(ss, enc[:32], b"Gen5-CMCE-HMAC", 64)
    assert enc[-32:] == hmac256(dk[32:], enc[:-32])
    assert cbc_open(enc[48:-32], dk[:32], enc[32:48]) == b"a" * 16


@pytest.mark.parametrize("strength", [0, 1, 2])
def test_ml_dsa_signatures_verify_both_ways(strength):
    bits = (44, 65, 87)[strength]
    pub, priv = core.generate_signature_keypair(1, strength)
    data = b"interop \x00\xff" * 10
    key = getattr(mldsa, f"MLDSA{bits}PublicKey").from_public_bytes(pub[2:])
    key.verify(core.sign(data, priv), data)  # raises InvalidSignature on failure
    with pytest.raises(Exception):
        key.verify(core.sign(data, priv), data + b"!")
    theirs = getattr(mldsa, f"MLDSA{bits}PrivateKey").generate()
    their_pk, alg = theirs.public_key().public_bytes_raw(), f"ML-DSA-{bits}"
    assert _oqs.sig_verify(alg, their_pk, data, theirs.sign(data)) is True
    assert _oqs.sig_verify(alg, their_pk, data, theirs.sign(data, b"ctx")) is False


@pytest.mark.parametrize("strength", [1, 2])
def test_ml_kem_both_ways_and_our_gen8_message_opens_with_cryptography(strength):
    # cryptography offers ML-KEM-768 and -1024 (not -512). Its encapsulation
    # to our Gen8 key's ML-KEM part decapsulates through our adapter.
    level, alg = (512, 768, 1024)[strength], _oqs.mlkem_alg(strength)
    pub, priv = core.generate_keypair(8, strength)
    kem_ss, kem_ct = getattr(mlkem, f"MLKEM{level}PublicKey").from_public_bytes(pub[34:]).encapsulate()
    assert _oqs.decapsulate(alg, priv[34:], kem_ct) == kem_ss
    theirs = getattr(mlkem, f"MLKEM{level}PrivateKey").generate()
    ct, ss = _oqs.encapsulate(alg, theirs.public_key().public_bytes_raw())
    assert theirs.decapsulate(ct) == ss
    # Our Gen8 message opens with cryptography's X25519, HKDF and AES-GCM.
    secret, message = core.encrypt("made here", pub)
    c = int.from_bytes(secret[:4], "little")
    kem_ss = _oqs.decapsulate(alg, priv[34:], secret[4 : 4 + c])
    eph_pub = x25519.X25519PublicKey.from_public_bytes(secret[4 + c : 4 + c + 32])
    x_ss = x25519.X25519PrivateKey.from_private_bytes(priv[2:34]).exchange(eph_pub)
    assert hkdf_gcm_open(x_ss + kem_ss, b"Gen8-Hybrid-X25519-MLKEM", message) == b"made here"


def test_our_gen7_message_opens_with_cryptography():
    # The session key XOR the FrodoKEM secret (repeated) is HKDF's input.
    pub, priv = core.generate_keypair(7, 0)
    secret, message = core.encrypt("seven", pub)
    raw = priv[2:]
    length, r = int.from_bytes(raw[:4], "little"), int.from_bytes(secret[:4], "little")
    rsa_key = serialization.load_der_private_key(raw[4 : 4 + length], password=None)
    oaep = padding.OAEP(mgf=padding.MGF1(algorithm=hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
    session = rsa_key.decrypt(secret[4 : 4 + r], oaep)
    frodo_ss = _oqs.decapsulate("FrodoKEM-640-AES", raw[4 + length :], secret[4 + r :])
    assert len(session) == 32 and len(frodo_ss) == 16
    combined = bytes(session[i] ^ frodo_ss[i % 16] for i in range(32))
    assert hkdf_gcm_open(combined, b"Gen7-Hybrid-RSA-Frodo", message) == b"seven"
