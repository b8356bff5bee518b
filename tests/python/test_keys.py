"""Key normalisation and the strict Base64 reading behind it."""

from __future__ import annotations

import base64
import binascii
import hashlib

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

from morvex._internal import keys


def sha(b: bytes) -> bytes:
    return hashlib.sha256(b).digest()


def b64(b: bytes) -> str:
    return base64.b64encode(b).decode()


def test_surface_and_types():
    assert keys.__all__ == ["AES_KEY_SIZE", "convert_key"] and keys.AES_KEY_SIZE == 32
    for fn in (keys.convert_key, keys._try_base64):
        with pytest.raises(TypeError):
            fn(b"Zm9v")
    assert type(keys.convert_key("k")) is bytes and type(keys._try_base64("Zm9v")) is bytes


# --- property tests against Python's own strict decoder -------------------------

B64_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="


def oracle(s: str) -> bytes | None:
    """Strict reading by Python's decoder, with the rules it does not check
    itself applied first."""
    if not s or not s.isascii() or len(s) % 4:
        return None
    # Python's strict mode also takes a final group made only of padding
    # ("QUJD====") or "x===": padding must follow two or three data characters.
    if s[-4:].count("=") > 2:
        return None
    try:
        return binascii.a2b_base64(s.encode(), strict_mode=True)
    except binascii.Error:
        return None


@st.composite
def near_base64(draw) -> str:
    """Random text over the alphabet and its neighbours, or valid Base64 with
    up to three small edits (replace, insert, delete a character, add padding)."""
    if draw(st.booleans()):
        return draw(st.text(alphabet=B64_CHARS + " \n-_é", max_size=24))
    text, pool = b64(draw(st.binary(max_size=40))), st.sampled_from(B64_CHARS + " \n\r\t-_.é\0")
    for _ in range(draw(st.integers(0, 3))):
        op, i = draw(st.sampled_from(["replace", "insert", "delete", "pad"])), draw(st.integers(0, max(0, len(text) - 1)))
        if op == "replace" and text:
            text = text[:i] + draw(pool) + text[i + 1 :]
        elif op == "insert":
            text = text[:i] + draw(pool) + text[i:]
        elif op == "delete" and text:
            text = text[:i] + text[i + 1 :]
        else:
            text += "=" * draw(st.integers(1, 4))
    return text


@settings(max_examples=600, deadline=None)
@given(near_base64())
@example("QUJD====")
@example("QUJD=")
@example("QQ==QQ==")
@example("Zh==")
@example("Zm9=")
@example("")
def test_try_base64_matches_oracle(s):
    assert keys._try_base64(s) == oracle(s)


@settings(max_examples=300, deadline=None)
@given(st.text(max_size=100))
@example(b64(bytes(range(32))))
@example(b64(bytes(range(64))))
@example(b64(bytes(range(32))) + "\n")
@example(b64(bytes(range(48))))
@example("abcd")
@example("abcde")
@example("ＡＢＣＤ")  # full-width letters look like Base64 but are not ASCII
def test_convert_key_is_always_32_bytes_and_matches_the_model(s):
    decoded = oracle(s)
    if decoded is None:
        want = sha(s.encode())
    elif len(decoded) in (32, 64):
        want = decoded[:32]
    else:
        want = sha(decoded)
    got = keys.convert_key(s)
    assert got == want and len(got) == 32
