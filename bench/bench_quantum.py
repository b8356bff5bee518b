"""Post-quantum: morvex against the same work done with the raw primitives.

The reference of every case does what the morvex call does, with the
post-quantum primitive called through the adapter's native operation
(``morvex.quantum._oqs``: the KEM or signature alone, no format) and the
classical parts through ``cryptography`` (X25519, RSA-OAEP, HKDF, HMAC,
AES-GCM, AES-CBC). So the ratio is the cost of morvex's formats, checks and
bindings on top of the primitives. Keys are made once, before timing.

Classic McEliece key generation (a tenth of a second or more) is too slow
for the shared timing loop: extra() reports it as the mean of several
interleaved calls, for Gen2 and Gen5 (the same Classic McEliece call behind
another header byte), and Gen7 key generation (dominated by the RSA-4096
prime search, whose time varies from call to call).
"""

from __future__ import annotations

import os
import time

from cryptography.hazmat.primitives import hashes, hmac, padding as sym_padding, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa, x25519
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF

from morvex.quantum import _oqs, core

TEXT = "A post-quantum message of a typical size. " * 4  # 172 bytes
DATA = TEXT.encode()
OAEP = padding.OAEP(mgf=padding.MGF1(algorithm=hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
STRENGTHS = (0, 1, 2)
_keys: dict[tuple[int, int], tuple[bytes, bytes]] = {}


def keys(gen: int, strength: int) -> tuple[bytes, bytes]:
    """Key pairs made once; Gen5 reuses the Gen2 Classic McEliece keys."""
    if (gen, strength) not in _keys:
        if gen == 5:
            pub, priv = keys(2, strength)
            _keys[(5, strength)] = (b"\x05" + pub[1:], b"\x05" + priv[1:])
        else:
            _keys[(gen, strength)] = core.generate_keypair(gen, strength)
    return _keys[(gen, strength)]


def _hkdf(ikm: bytes, salt: bytes, info: bytes, length: int = 32) -> bytes:
    return HKDF(algorithm=hashes.SHA256(), length=length, salt=salt or None, info=info).derive(ikm)


def _hmac(key: bytes, data: bytes) -> bytes:
    h = hmac.HMAC(key, hashes.SHA256())
    h.update(data)
    return h.finalize()


def _cbc_encrypt(data: bytes, key: bytes, iv: bytes) -> bytes:
    p = sym_padding.PKCS7(128).padder()
    padded = p.update(data) + p.finalize()
    e = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return e.update(padded) + e.finalize()


def _cbc_decrypt(ct: bytes, key: bytes, iv: bytes) -> bytes:
    d = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    padded = d.update(ct) + d.finalize()
    u = sym_padding.PKCS7(128).unpadder()
    return u.update(padded) + u.finalize()


# --- reference encryptions and decryptions, one per generation --------------------


def ref_encrypt(gen: int, strength: int, raw_pk: bytes, extra: object = None):
    if gen in (4, 6):
        mech = _oqs.frodo_alg(2 if gen == 4 else strength)
        capsule, ss = _oqs.encapsulate(mech, raw_pk)
        if gen == 4:
            key, head = _hmac(ss, b"\x01"), b""
        else:
            head = os.urandom(16)
            key = _hkdf(ss, head, b"Gen6-Frodo-GCM")
        nonce = os.urandom(12)
        return capsule, head + nonce + AESGCM(key).encrypt(nonce, DATA, None)
    if gen in (2, 5):
        capsule, ss = _oqs.encapsulate(_oqs.cmce_alg(strength), raw_pk)
        if gen == 2:
            iv = os.urandom(16)
            body = iv + _cbc_encrypt(DATA, _hkdf(ss, b"", b""), iv)
            return capsule, body + _hmac(ss, body)
        salt = os.urandom(32)
        dk = _hkdf(ss, salt, b"Gen5-CMCE-HMAC", 64)
        iv = os.urandom(16)
        body = salt + iv + _cbc_encrypt(DATA, dk[:32], iv)
        return capsule, body + _hmac(dk[32:], body)
    if gen == 7:
        rsa_pub, frodo_pk = extra  # parsed outside the loop would be unfair: parse here
        public = serialization.load_der_public_key(core._pkcs1_to_spki(rsa_pub))
        session = os.urandom(32)
        rsa_ct = public.encrypt(session, OAEP)
        capsule, ss = _oqs.encapsulate(_oqs.frodo_alg(strength), frodo_pk)
        combined = bytes(session[i] ^ ss[i % len(ss)] for i in range(32))
        salt, nonce = os.urandom(32), os.urandom(12)
        key = _hkdf(combined, salt, b"Gen7-Hybrid-RSA-Frodo")
        secret = len(rsa_ct).to_bytes(4, "little") + rsa_ct + capsule
        return secret, salt + nonce + AESGCM(key).encrypt(nonce, DATA, None)
    # Gen8
    kem_ct, kem_ss = _oqs.encapsulate(_oqs.mlkem_alg(strength), raw_pk[32:])
    eph = x25519.X25519PrivateKey.generate()
    x_ss = eph.exchange(x25519.X25519PublicKey.from_public_bytes(raw_pk[:32]))
    eph_pub = eph.public_key().public_bytes(serialization.Encoding.Raw, serialization.PublicFormat.Raw)
    salt, nonce = os.urandom(32), os.urandom(12)
    key = _hkdf(x_ss + kem_ss, salt, b"Gen8-Hybrid-X25519-MLKEM")
    secret = len(kem_ct).to_bytes(4, "little") + kem_ct + eph_pub
    return secret, salt + nonce + AESGCM(key).encrypt(nonce, DATA, None)


def ref_decrypt(gen: int, strength: int, raw_sk: bytes, secret: bytes, enc: bytes, extra: object = None) -> str:
    if gen in (4, 6):
        mech = _oqs.frodo_alg(2 if gen == 4 else strength)
        ss = _oqs.decapsulate(mech, raw_sk, secret)
        if gen == 4:
            key, body = _hmac(ss, b"\x01"), enc
        else:
            key, body = _hkdf(ss, enc[:16], b"Gen6-Frodo-GCM"), enc[16:]
        return AESGCM(key).decrypt(body[:12], body[12:], None).decode()
    if gen in (2, 5):
        ss = _oqs.decapsulate(_oqs.cmce_alg(strength), raw_sk, secret)
        if gen == 2:
            if not hmac_ok(ss, enc[:-32], enc[-32:]):
                raise ValueError
            return _cbc_decrypt(enc[16:-32], _hkdf(ss, b"", b""), enc[:16]).decode()
        dk = _hkdf(ss, enc[:32], b"Gen5-CMCE-HMAC", 64)
        if not hmac_ok(dk[32:], enc[:-32], enc[-32:]):
            raise ValueError
        return _cbc_decrypt(enc[48:-32], dk[:32], enc[32:48]).decode()
    if gen == 7:
        rsa_der, frodo_sk = extra
        private = serialization.load_der_private_key(rsa_der, password=None, unsafe_skip_rsa_key_validation=True)
        r = int.from_bytes(secret[:4], "little")
        session = private.decrypt(secret[4 : 4 + r], OAEP)
        ss = _oqs.decapsulate(_oqs.frodo_alg(strength), frodo_sk, secret[4 + r :])
        combined = bytes(session[i] ^ ss[i % len(ss)] for i in range(32))
        key = _hkdf(combined, enc[:32], b"Gen7-Hybrid-RSA-Frodo")
        return AESGCM(key).decrypt(enc[32:44], enc[44:], None).decode()
    c = int.from_bytes(secret[:4], "little")
    kem_ss = _oqs.decapsulate(_oqs.mlkem_alg(strength), raw_sk[32:], secret[4 : 4 + c])
    x_ss = x25519.X25519PrivateKey.from_private_bytes(raw_sk[:32]).exchange(
        x25519.X25519PublicKey.from_public_bytes(secret[4 + c : 4 + c + 32])
    )
    key = _hkdf(x_ss + kem_ss, enc[:32], b"Gen8-Hybrid-X25519-MLKEM")
    return AESGCM(key).decrypt(enc[32:44], enc[44:], None).decode()


def hmac_ok(key: bytes, data: bytes, tag: bytes) -> bool:
    h = hmac.HMAC(key, hashes.SHA256())
    h.update(data)
    try:
        h.verify(tag)
        return True
    except Exception:
        return False


def gen7_parts(raw: bytes) -> tuple[bytes, bytes]:
    n = int.from_bytes(raw[:4], "little")
    return raw[4 : 4 + n], raw[4 + n :]


def ref_keygen(gen: int, strength: int):
    if gen in (4, 6):
        return _oqs.generate_keypair(_oqs.frodo_alg(2 if gen == 4 else strength))
    x = x25519.X25519PrivateKey.generate()
    x.public_key().public_bytes(serialization.Encoding.Raw, serialization.PublicFormat.Raw)
    x.private_bytes(serialization.Encoding.Raw, serialization.PrivateFormat.Raw, serialization.NoEncryption())
    return _oqs.generate_keypair(_oqs.mlkem_alg(strength))


def _label(gen: int, strength: int) -> str:
    return f"Gen{gen}/{strength}"


def cases():
    out = []
    # Key generation (Classic McEliece and Gen7 in extra()).
    for gen, strength in [(4, 2)] + [(6, s) for s in STRENGTHS] + [(8, s) for s in STRENGTHS]:
        mech = {4: "FrodoKEM-1344-AES", 6: _oqs.frodo_alg(strength), 8: "X25519 + " + _oqs.mlkem_alg(strength)}[gen]
        out.append(
            (
                f"generate_keypair {_label(gen, strength)}",
                lambda g=gen, s=strength: core.generate_keypair(g, s),
                lambda g=gen, s=strength: ref_keygen(g, s),
                f"keygen {mech}",
            )
        )
    # Encryption and decryption.
    gens = [(4, 2)] + [(g, s) for g in (6, 2, 5, 7, 8) for s in STRENGTHS]
    for gen, strength in gens:
        pub, priv = keys(gen, strength)
        raw_pk, raw_sk = pub[2:], priv[2:]
        pk_extra = gen7_parts(raw_pk) if gen == 7 else None
        sk_extra = gen7_parts(raw_sk) if gen == 7 else None
        out.append(
            (
                f"encrypt {_label(gen, strength)}",
                lambda p=pub: core.encrypt(TEXT, p),
                lambda g=gen, s=strength, r=raw_pk, x=pk_extra: ref_encrypt(g, s, r, x),
                "adapter encapsulate + cryptography",
            )
        )
        secret, enc = core.encrypt(TEXT, pub)
        assert ref_decrypt(gen, strength, raw_sk, secret, enc, sk_extra) == TEXT
        out.append(
            (
                f"decrypt {_label(gen, strength)}",
                lambda e=enc, k=priv, c=secret: core.decrypt(e, k, c),
                lambda g=gen, s=strength, r=raw_sk, c=secret, e=enc, x=sk_extra: ref_decrypt(g, s, r, c, e, x),
                "adapter decapsulate + cryptography",
            )
        )
    # Signatures.
    for alg, kind in ((1, "mldsa"), (2, "slhdsa")):
        for strength in STRENGTHS:
            mech = _oqs.sig_algorithm(kind, strength)
            pub, priv = core.generate_signature_keypair(alg, strength)
            sig = core.sign(DATA, priv)
            raw_pk, raw_sk = pub[2:], priv[2:]
            out += [
                (
                    f"generate_signature_keypair {mech}",
                    lambda a=alg, s=strength: core.generate_signature_keypair(a, s),
                    lambda m=mech: _oqs.sig_generate_keypair(m),
                    "adapter sig_generate_keypair",
                ),
                (
                    f"sign {mech}",
                    lambda k=priv: core.sign(DATA, k),
                    lambda m=mech, k=raw_sk: _oqs.sig_sign(m, k, DATA),
                    "adapter sig_sign",
                ),
                (
                    f"verify {mech}",
                    lambda g=sig, k=pub: core.verify(DATA, g, k),
                    lambda m=mech, g=sig, k=raw_pk: _oqs.sig_verify(m, k, DATA, g),
                    "adapter sig_verify",
                ),
            ]
    return out


def _interleaved(ours, ref, runs: int) -> tuple[float, float]:
    """Mean of `runs` single calls each, alternating."""
    total_o = total_r = 0.0
    for _ in range(runs):
        t0 = time.perf_counter()
        ours()
        t1 = time.perf_counter()
        ref()
        t2 = time.perf_counter()
        total_o, total_r = total_o + t1 - t0, total_r + t2 - t1
    return total_o / runs, total_r / runs


def extra():
    lines = ["slow operations, mean of interleaved calls (morvex / reference, speed-up):"]

    def report(label: str, ours, ref, ref_label: str, runs: int) -> None:
        o, r = _interleaved(ours, ref, runs)
        lines.append(f"{label:<34} {o * 1e3:9.1f} ms / {r * 1e3:9.1f} ms  {r / o:5.2f}x  ({ref_label}, {runs} runs)")

    for gen in (2, 5):
        for strength in STRENGTHS:
            mech = _oqs.cmce_alg(strength)
            report(
                f"generate_keypair Gen{gen}/{strength}",
                lambda g=gen, s=strength: core.generate_keypair(g, s),
                lambda m=mech: _oqs.generate_keypair(m),
                f"adapter keygen {mech}",
                5,
            )
    for strength in STRENGTHS:
        mech = _oqs.frodo_alg(strength)

        def ref_gen7(m=mech):
            k = rsa.generate_private_key(public_exponent=65537, key_size=4096)
            k.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                            serialization.NoEncryption())
            k.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
            return _oqs.generate_keypair(m)

        report(
            f"generate_keypair Gen7/{strength}",
            lambda s=strength: core.generate_keypair(7, s),
            ref_gen7,
            f"cryptography RSA-4096 + adapter {mech}",
            2,
        )
    lines.append("(RSA-4096 key generation time varies widely with the prime search.)")
    return lines
