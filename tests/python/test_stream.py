"""The stream area: the Wycheproof chunked-encryption vectors through every
interface, interoperability with an independent implementation over the
`cryptography` package, files, and the incremental objects' contracts."""

from __future__ import annotations

import base64
import hashlib
import io
import json
import os
import pathlib
import re
import zlib

import pytest
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.hashes import SHA512
from cryptography.hazmat.primitives.kdf.hkdf import HKDFExpand

from morvex.errors import DecryptionError, InvalidInputError
from morvex.stream import core

DATA = pathlib.Path(__file__).resolve().parents[1] / "data" / "wycheproof"
FROZEN = pathlib.Path(__file__).resolve().parents[1] / "data" / "vectors"
TABLE = json.loads((DATA / "c2sp_chunked_encryption_aes_256_gcm_test.json").read_text())
VECTORS = [t for g in TABLE["testGroups"] for t in g["tests"]]
C, SEALED = core.CHUNK_SIZE, core.CHUNK_SIZE + core.TAG_SIZE
TRUNCATED = "Stream decryption failed: the stream is truncated"
WRONG_KEY = "Stream decryption failed: wrong key or context (the key commitment does not match)"
BAD_CHUNK = "Stream decryption failed: a chunk does not authenticate (tampered, reordered or trailing data)"


# --- an independent implementation of the scheme ------------------------------

def _derive(key: bytes, salt: bytes, ctx: bytes) -> tuple[bytes, bytes, bytes]:
    okm = HKDFExpand(SHA512(), 76, b"c2sp.org/chunked-encryption@v1+AEAD_AES_256_GCM\x00" + salt + ctx).derive(key)
    return okm[:32], okm[32:44], okm[44:]


def _nonce(base: bytes, i: int) -> bytes:
    return (int.from_bytes(base, "big") ^ i).to_bytes(12, "big")


def oracle_encrypt(msg: bytes, key: bytes, ctx: bytes, salt: bytes) -> bytes:
    k, base, commitment = _derive(key, salt, ctx)
    chunks = [msg[i : i + C] for i in range(0, len(msg) // C * C + 1, C)]
    return salt + commitment + b"".join(AESGCM(k).encrypt(_nonce(base, i), c, None) for i, c in enumerate(chunks))


def oracle_decrypt(ct: bytes, key: bytes, ctx: bytes) -> bytes:
    k, base, commitment = _derive(key, ct[:24], ctx)
    assert ct[24:56] == commitment
    body = ct[56:]
    pieces = [body[i : i + SEALED] for i in range(0, len(body) // SEALED * SEALED + 1, SEALED)]
    assert 16 <= len(pieces[-1]) < SEALED
    return b"".join(AESGCM(k).decrypt(_nonce(base, i), p, None) for i, p in enumerate(pieces))


# --- the vectors through every interface --------------------------------------

def _whole(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path) -> bytes:
    return core.decrypt_bytes(ct, key, ctx)


def _incremental(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path, step: int = 7001) -> bytes:
    d, out = core.Decryptor(key, ctx), bytearray()
    try:
        for i in range(0, len(ct), step):
            out += d.update(ct[i : i + step])
        out += d.finalize()
    except DecryptionError as err:
        _incremental.released = bytes(out)  # type: ignore[attr-defined]
        with pytest.raises(DecryptionError, match=re.escape(str(err))):
            d.update(b"more")  # a failed decryptor keeps failing
        with pytest.raises(DecryptionError, match=re.escape(str(err))):
            d.finalize()
        raise
    return bytes(out)


def _paths(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path) -> bytes:
    (tmp / "ct").write_bytes(ct)
    try:
        core.decrypt_file(tmp / "ct", str(tmp / "pt"), key, ctx)
    finally:
        assert sorted(p.name for p in tmp.iterdir()) in (["ct"], ["ct", "pt"])  # no temporary left
    return (tmp / "pt").read_bytes()


class _Trickle:
    """A source that answers with short reads, as pipes and sockets do."""

    def __init__(self, data: bytes) -> None:
        self._buf = io.BytesIO(data)

    def read(self, n: int = -1) -> bytes:
        return self._buf.read(min(n, 4099))


def _file_objects(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path) -> bytes:
    out = io.BytesIO()
    core.decrypt_file(_Trickle(ct), out, key, ctx)
    return out.getvalue()


def _range_forms(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path) -> list:
    (tmp / "ct").write_bytes(ct)
    return [ct, tmp / "ct", io.BytesIO(ct)]


def _ranges(ct: bytes, key: str, ctx: bytes, tmp: pathlib.Path) -> bytes:
    results = {core.read_range(src, key, 0, 1 << 40, ctx) for src in _range_forms(ct, key, ctx, tmp)}
    assert len(results) == 1
    return results.pop()


INTERFACES = {"whole": _whole, "incremental": _incremental, "paths": _paths, "file_objects": _file_objects,
              "ranges": _ranges}


def _key(v: dict) -> str:
    return base64.b64encode(bytes.fromhex(v["key"])).decode()


@pytest.mark.parametrize("how", list(INTERFACES))
@pytest.mark.parametrize("v", VECTORS, ids=lambda v: f"tc{v['tcId']}")
def test_wycheproof_vector(v, how, tmp_path):
    ct, ctx, key = zlib.decompress(bytes.fromhex(v["ct"])), bytes.fromhex(v["ctx"]), _key(v)
    decrypt = INTERFACES[how]
    if v["result"] == "valid":
        pt = decrypt(ct, key, ctx, tmp_path)
        assert len(pt) == v["msgLength"] and hashlib.sha512(pt).hexdigest() == v["msgSha512"]
        return
    with pytest.raises(DecryptionError) as err:
        decrypt(ct, key, ctx, tmp_path)
    # One message per input whatever the interface; a header failure (a 31- or
    # 33-byte key is a key text hashed to another key) is found before any chunk.
    with pytest.raises(DecryptionError) as whole:
        core.decrypt_bytes(ct, key, ctx)
    assert str(err.value) == str(whole.value) in (TRUNCATED, WRONG_KEY, BAD_CHUNK)
    if "HeaderFailure" in v["flags"]:
        assert str(err.value) in (TRUNCATED, WRONG_KEY)
    if how == "incremental":
        released = _incremental.released  # type: ignore[attr-defined]
        prefix = v.get("msgLength", 0) if "PartialPlaintext" in v["flags"] else 0
        assert len(released) <= prefix and len(released) % C == 0
        if released:
            assert hashlib.sha512(released).hexdigest() == v["msgSha512"] or len(released) < prefix


@pytest.mark.parametrize("v", VECTORS, ids=lambda v: f"tc{v['tcId']}")
def test_wycheproof_vector_length_authentication(v, tmp_path):
    # A range past the end decrypts the final chunk alone: it fails for every
    # invalid vector except those whose final chunk is intact.
    ct, ctx, key = zlib.decompress(bytes.fromhex(v["ct"])), bytes.fromhex(v["ctx"]), _key(v)
    for src in _range_forms(ct, key, ctx, tmp_path):
        if v["result"] == "valid" or "ValidFinalChunk" in v["flags"]:
            assert core.read_range(src, key, 1 << 40, 1, ctx) == b""
        else:
            with pytest.raises(DecryptionError):
                core.read_range(src, key, 1 << 40, 1, ctx)
    if v["result"] == "valid":
        for src in _range_forms(ct, key, ctx, tmp_path):
            assert core.read_range(src, key, -5, 10, ctx) == core.decrypt_bytes(ct, key, ctx)[-5:]


@pytest.mark.parametrize("v", [v for v in VECTORS if v["result"] == "valid"], ids=lambda v: f"tc{v['tcId']}")
def test_oracle_matches_the_vectors_and_reads_our_output(v):
    ct, ctx, key = zlib.decompress(bytes.fromhex(v["ct"])), bytes.fromhex(v["ctx"]), bytes.fromhex(v["key"])
    msg = oracle_decrypt(ct, key, ctx)
    assert oracle_encrypt(msg, key, ctx, ct[:24]) == ct  # the oracle itself is right
    ours = core.encrypt_bytes(msg, _key(v), ctx)
    assert len(ours) == len(ct) and oracle_decrypt(ours, key, ctx) == msg


# --- encryption ---------------------------------------------------------------

SIZES = [0, 1, C - 1, C, C + 1, 3 * C, 3 * C + 77]


@pytest.mark.parametrize("n", SIZES)
def test_every_writer_interoperates(n, tmp_path):
    msg, key = os.urandom(n), os.urandom(32)
    text = base64.b64encode(key).decode()
    enc = core.Encryptor(text, b"ctx")
    pieces = [enc.update(msg[i : i + 5000]) for i in range(0, n, 5000)]
    incremental = b"".join(pieces) + enc.finalize()
    (tmp_path / "pt").write_bytes(msg)
    core.encrypt_file(tmp_path / "pt", tmp_path / "ct", text, b"ctx")
    out = io.BytesIO()
    core.encrypt_file(_Trickle(msg), out, text, b"ctx")
    for ct in [core.encrypt_bytes(msg, text, b"ctx"), incremental, (tmp_path / "ct").read_bytes(), out.getvalue()]:
        assert oracle_decrypt(ct, key, b"ctx") == msg
    # and ours reads the oracle's
    theirs = oracle_encrypt(msg, key, b"ctx", os.urandom(24))
    assert core.decrypt_bytes(theirs, text, b"ctx") == msg
    assert core.read_range(theirs, text, n // 3, C + 5, b"ctx") == msg[n // 3 : n // 3 + C + 5]


def test_ranges_cut_at_the_end_and_count_from_it():
    msg = os.urandom(3 * C + 100)
    blob = core.encrypt_bytes(msg, "k")
    for offset, length in [(0, 0), (5, 0), (C - 1, 2), (2 * C, C), (3 * C + 50, 500), (10 * C, 5), (-1, 1),
                           (-C - 3, 7), (-(1 << 62), 10), (-5, 0)]:
        start = offset if offset >= 0 else max(0, len(msg) + offset)
        assert core.read_range(blob, "k", offset, length) == msg[start : start + length], (offset, length)
    with pytest.raises(InvalidInputError, match="^Range length cannot be negative$"):
        core.read_range(io.BytesIO(b""), "k", 0, -1)
    # A range of full chunks never looks at the end: a cut stream still serves it.
    assert core.read_range(blob[: 56 + 3 * SEALED], "k", 10, C) == msg[10 : 10 + C]
    with pytest.raises(DecryptionError, match=f"^{TRUNCATED}$"):
        core.read_range(blob[: 56 + 3 * SEALED], "k", 10, 2 * C)


def test_incremental_objects_refuse_use_after_the_end():
    enc = core.Encryptor("k")
    blob = enc.update(b"x") + enc.finalize()
    with pytest.raises(InvalidInputError, match="^Stream encryptor already finalized$"):
        enc.update(b"y")
    dec = core.Decryptor("k")
    assert dec.update(blob) == b"" and dec.finalize() == b"x"  # nothing before the end: 1 byte is the last chunk
    with pytest.raises(InvalidInputError, match="^Stream decryptor already finalized$"):
        dec.finalize()


def test_failed_path_decryption_leaves_the_target_untouched(tmp_path):
    blob = bytearray(core.encrypt_bytes(os.urandom(5 * C), "k"))
    blob[-1] ^= 1
    (tmp_path / "ct").write_bytes(blob)
    (tmp_path / "pt").write_bytes(b"previous")
    with pytest.raises(DecryptionError, match=f"^{re.escape(BAD_CHUNK)}$"):
        core.decrypt_file(tmp_path / "ct", tmp_path / "pt", "k")
    out = io.BytesIO()
    with pytest.raises(DecryptionError):
        core.decrypt_file(open(tmp_path / "ct", "rb"), tmp_path / "pt", "k")
    with pytest.raises(DecryptionError):
        core.decrypt_file(tmp_path / "ct", out, "k")
    assert (tmp_path / "pt").read_bytes() == b"previous"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["ct", "pt"]
    with pytest.raises(FileNotFoundError):
        core.decrypt_file(tmp_path / "missing", tmp_path / "pt", "k")


# --- associated data of the aes area ------------------------------------------

def test_aes_associated_data_frozen_blobs_and_a_wrong_value():
    # Blobs stored before associated data existed open with the empty one and
    # no other; blobs made with associated data by the cryptography package
    # open with exactly it, and a wrong value fails as a wrong key does.
    from morvex.aes import core as aes

    b64 = base64.b64decode
    for case in json.loads((FROZEN / "aes.json").read_text())["sealed_blob"]:
        assert aes.decrypt_bytes(b64(case["blob"]), case["key"], associated_data=b"") == b64(case["plaintext"])
        with pytest.raises(DecryptionError):
            aes.decrypt_bytes(b64(case["blob"]), case["key"], associated_data=b"\x00")
    for case in json.loads((FROZEN / "aes_associated_data.json").read_text())["sealed_blob_with_associated_data"]:
        blob, ad = b64(case["blob"]), b64(case["associated_data"])
        assert aes.decrypt_bytes(blob, case["key"], associated_data=ad) == b64(case["plaintext"])
        with pytest.raises(DecryptionError) as wrong_key:
            aes.decrypt_bytes(blob, "other key", associated_data=ad)
        for wrong in [b"", ad + b"x"]:
            with pytest.raises(DecryptionError) as wrong_ad:
                aes.decrypt_bytes(blob, case["key"], associated_data=wrong)
            assert str(wrong_ad.value) == str(wrong_key.value) and wrong_ad.value.__cause__ is None
    # What morvex seals with associated data, the cryptography package opens.
    key = base64.b64encode(b"K" * 32).decode()
    blob = aes.encrypt_bytes(b"payload", key, associated_data=b"header v1")
    assert AESGCM(b"K" * 32).decrypt(blob[:12], blob[12:], b"header v1") == b"payload"
