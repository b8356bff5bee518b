"""Key normalisation and the strict Base64 reading behind it."""

from __future__ import annotations

import base64
import binascii
import hashlib
import os

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import morvex
from morvex._internal import keys


def sha(b: bytes) -> bytes:
    return hashlib.sha256(b).digest()


def b64(b: bytes) -> str:
    return base64.b64encode(b).decode()


def test_surface():
    assert keys.AES_KEY_SIZE == 32
    assert keys.__all__ == ["AES_KEY_SIZE", "convert_key"]
    assert callable(keys._try_base64)
    assert not hasattr(morvex, "_internal") or "_internal" not in morvex.__all__


def test_branches():
    k64 = bytes(range(1, 65))
    k32 = k64[:32]
    assert keys.convert_key("") == sha(b"")
    assert keys.convert_key(b64(k32)) == k32
    assert keys.convert_key(b64(k64)) == k32
    # Only the first half of a 64-byte value counts.
    assert keys.convert_key(b64(k32 + bytes(32))) == k32
    for n in [1, 2, 3, 16, 24, 31, 33, 48, 63, 65, 96]:
        raw = os.urandom(n)
        assert keys.convert_key(b64(raw)) == sha(raw), n
        assert keys.convert_key(b64(raw)) != sha(b64(raw).encode())
    # Four letters are Base64 of three bytes; five letters are a passphrase.
    assert keys.convert_key("abcd") == sha(base64.b64decode("abcd"))
    assert keys.convert_key("abcde") == sha(b"abcde")


@pytest.mark.parametrize(
    "text",
    [
        b64(bytes(range(32))) + "\n",
        b64(bytes(range(32)))[:20] + " " + b64(bytes(range(32)))[20:],
        base64.urlsafe_b64encode(bytes([0xFB, 0xFF] * 16)).decode(),  # holds "-" and "_"
        b64(bytes(range(32))).rstrip("="),
        "mot de passe",
        "clé",
        "ＡＢＣＤ",  # full-width letters look like Base64 but are not ASCII
        "\0\0\0\0",
    ],
)
def test_near_base64_is_a_passphrase(text):
    assert keys._try_base64(text) is None
    assert keys.convert_key(text) == sha(text.encode())


def test_try_base64_results():
    assert keys._try_base64("") is None
    assert keys._try_base64("Zg==") == b"f"
    assert keys._try_base64("Zm8=") == b"fo"
    assert keys._try_base64("Zm9v") == b"foo"
    # Non-canonical unused bits are accepted (another encoder's key text keeps working).
    assert keys._try_base64("Zh==") == b"f"
    assert keys._try_base64("Zm9=") == b"fo"
    for bad in ["====", "Z===", "QUJD====", "Zg==Zm9v", "=Zm9", "Zm=v", "Zg=a", "Zm9", "Zm9vY"]:
        assert keys._try_base64(bad) is None, bad
    assert type(keys._try_base64("Zm9v")) is bytes


def test_types():
    with pytest.raises(TypeError):
        keys.convert_key(b"bytes are not a key text")
    with pytest.raises(TypeError):
        keys._try_base64(b"Zm9v")
    assert type(keys.convert_key("k")) is bytes
    # A str holding a lone surrogate has no UTF-8 form.
    with pytest.raises(UnicodeEncodeError):
        keys.convert_key("\ud800")


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


def mutate(text: str, data: st.DataObject) -> str:
    """One small edit of a valid text: replace, insert or delete a character."""
    pool = st.sampled_from(B64_CHARS + " \n\r\t-_.é\0")
    op = data.draw(st.sampled_from(["replace", "insert", "delete", "pad"]))
    i = data.draw(st.integers(0, max(0, len(text) - 1)))
    if op == "replace" and text:
        return text[:i] + data.draw(pool) + text[i + 1 :]
    if op == "insert":
        return text[:i] + data.draw(pool) + text[i:]
    if op == "delete" and text:
        return text[:i] + text[i + 1 :]
    return text + "=" * data.draw(st.integers(1, 4))


@settings(max_examples=400, deadline=None)
@given(st.text(alphabet=B64_CHARS + " \n-_é", max_size=24))
@example("QUJD====")
@example("QUJD=")
@example("QQ==QQ==")
@example("Zh==")
def test_try_base64_matches_oracle_on_random_text(s):
    assert keys._try_base64(s) == oracle(s)


@settings(max_examples=400, deadline=None)
@given(st.binary(max_size=40), st.data())
def test_try_base64_matches_oracle_on_mutated_text(raw, data):
    text = b64(raw)
    assert keys._try_base64(text) == (raw or None)
    for _ in range(data.draw(st.integers(1, 3))):
        text = mutate(text, data)
    assert keys._try_base64(text) == oracle(text)


@settings(max_examples=300, deadline=None)
@given(st.text(max_size=100))
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
