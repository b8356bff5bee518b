"""Frozen vectors of morvex's own formats (tests/data/vectors, written once by
scripts/gen_vectors.py): what was stored with an earlier build must keep
opening, whatever the writer does today."""

from __future__ import annotations

import base64
import json
import pathlib

import pytest

from morvex._native import oqs as oqs_native
from morvex.aes import core as aes
from morvex.hybrid import core as hybrid
from morvex.password import core as password
from morvex.quantum import core as quantum
from morvex.rsa import core as rsa

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
needs_pq = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")


def cases(file: str, *kinds: str) -> list:
    table = json.loads((DATA / "vectors" / file).read_text())
    return [pytest.param(c, id=f"{kind}{i}") for kind in kinds for i, c in enumerate(table[kind])]


def raw(case: dict, field: str) -> bytes:
    return base64.b64decode(case[field], validate=True)


@pytest.mark.parametrize("case", cases("aes.json", "sealed_blob"))
def test_sealed_blob(case):
    assert aes.decrypt_bytes(raw(case, "blob"), case["key"]) == raw(case, "plaintext")


@pytest.mark.parametrize("case", cases("aes.json", "sealed_text"))
def test_sealed_text(case):
    assert aes.decrypt_str(case["ciphertext"], case["key"]) == case["plaintext"]


@pytest.mark.parametrize("case", cases("rsa.json", "direct_block", "envelope", "legacy_envelope"))
def test_rsa_side_ciphertext(case):
    # One reader for all three layouts; the text form where the plaintext is text.
    key = (DATA / "keys" / case["private_key"]).read_text()
    plaintext, blob = raw(case, "plaintext"), raw(case, "ciphertext")
    assert hybrid.decrypt_auto(blob, key) == rsa.decrypt_bytes(blob, key) == plaintext
    text = plaintext.decode(errors="replace")
    if text.encode() == plaintext:
        assert hybrid.decrypt_str(case["ciphertext"], key) == rsa.decrypt_str(case["ciphertext"], key) == text


@pytest.mark.parametrize("case", cases("rsa.json", "pss_signature"))
def test_pss_signature(case):
    key, data = (DATA / "keys" / case["public_key"]).read_text(), raw(case, "data")
    assert rsa.verify_bytes(data, raw(case, "signature"), key) is case["valid"]


@pytest.mark.parametrize("case", cases("password.json", "record"))
def test_password_record(case):
    assert password.verify_password(case["password"], case["record"]) is case["verifies"]
    assert password.needs_rehash(case["record"]) is case["needs_rehash"]


@needs_pq
@pytest.mark.parametrize("case", cases("quantum.json", "generation") + cases("quantum_gen2_gen5.json", "generation"))
def test_quantum_message(case):
    assert quantum.decrypt(raw(case, "message"), raw(case, "private_key"), raw(case, "secret")) == case["plaintext"]


@needs_pq
@pytest.mark.parametrize("case", cases("quantum.json", "signature"))
def test_quantum_signature(case):
    key, data, sig = raw(case, "public_key"), raw(case, "data"), raw(case, "signature")
    assert quantum.verify(data, sig, key) is True
    assert quantum.verify(data + b"!", sig, key) is False
