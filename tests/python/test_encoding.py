"""Strict UTF-8 reading and Base64 writing, checked against Python's codecs
through the AES text operations."""

from __future__ import annotations

import base64

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

from morvex.aes import core
from morvex.errors import DecryptionError

KEY = "encoding tests"


def open_as_text(data: bytes) -> str:
    """decrypt_str of a blob sealed from raw bytes: exercises the UTF-8 step alone."""
    blob = core.encrypt_bytes(data, KEY)
    return core.decrypt_str(base64.b64encode(blob).decode(), KEY)


def python_decode(data: bytes) -> str | None:
    try:
        return data.decode("utf-8", "strict")
    except UnicodeDecodeError:
        return None


MALFORMED = [
    b"\x80",  # lone continuation byte
    b"a\xbf",
    b"\xc0\xaf",  # overlong "/"
    b"\xc1\xbf",
    b"\xe0\x80\xaf",  # overlong three-byte
    b"\xf0\x80\x80\xaf",  # overlong four-byte
    b"\xed\xa0\x80",  # U+D800, a surrogate
    b"\xed\xbf\xbf",  # U+DFFF
    b"\xed\xa0\xbd\xed\xb2\x96",  # surrogate pair written as CESU-8
    b"\xf4\x90\x80\x80",  # U+110000
    b"\xf5\x80\x80\x80",
    b"\xf8\x88\x80\x80\x80",  # five-byte form
    b"\xfe",
    b"\xff",
    b"\xc3",  # truncated
    b"ok\xe2\x82",
    b"ok\xf0\x9f\x94",
    b"\xc3(",
    b"\xe2\x28\xa1",
]

WELL_FORMED = [
    b"x",
    "héllo".encode(),
    "€".encode(),
    "🔑".encode(),
    "\ufeffstarts with a byte-order mark".encode(),
    "\U0010ffff".encode(),
    "\ud7ff\ue000\ufffd".encode(),
    b"\0nul inside\0",
]


@pytest.mark.parametrize("data", MALFORMED)
def test_malformed_is_refused(data):
    assert python_decode(data) is None  # the case is what it claims to be
    with pytest.raises(DecryptionError) as info:
        open_as_text(data)
    assert str(info.value) == "Decrypted data is not valid UTF-8"
    assert isinstance(info.value.__cause__, UnicodeDecodeError)
    # The same blob opens fine as bytes.
    assert core.decrypt_bytes(core.encrypt_bytes(data, KEY), KEY) == data


@pytest.mark.parametrize("data", WELL_FORMED)
def test_well_formed_reads_back(data):
    text = open_as_text(data)
    assert text == data.decode()
    if data.startswith(b"\xef\xbb\xbf"):
        assert text[0] == "\ufeff"  # the byte-order mark is kept as a character


def _utf8ish():
    """Byte strings near UTF-8: valid text, random bytes, and valid text with
    one byte altered, cut or inserted."""
    valid = st.text(min_size=1, max_size=20).map(lambda t: t.encode())
    edge_bytes = st.sampled_from([0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0x9F, 0xA0])

    @st.composite
    def altered(draw):
        b = bytearray(draw(valid))
        i = draw(st.integers(0, len(b) - 1))
        op = draw(st.sampled_from(["set", "cut", "insert"]))
        if op == "set":
            b[i] = draw(edge_bytes)
        elif op == "cut":
            del b[i:]
            b += b"x" if not b else b""
        else:
            b.insert(i, draw(edge_bytes))
        return bytes(b)

    return st.one_of(valid, st.binary(min_size=1, max_size=12), altered())


@settings(max_examples=500, deadline=None)
@given(_utf8ish())
@example(b"\xed\x9f\xbf")
@example(b"\xee\x80\x80")
@example(b"\xf4\x8f\xbf\xbf")
def test_utf8_matches_python_decoder(data):
    want = python_decode(data)
    if want is None:
        with pytest.raises(UnicodeDecodeError) as py:
            data.decode("utf-8")
        with pytest.raises(DecryptionError) as info:
            open_as_text(data)
        # The cause names the same first fault, with the same wording.
        cause = info.value.__cause__
        assert cause.reason == py.value.reason
        assert cause.object[cause.start : cause.end] == data[py.value.start : py.value.end]
    else:
        assert open_as_text(data) == want


@settings(max_examples=200, deadline=None)
@given(st.text(min_size=1, max_size=80))
def test_base64_output_is_standard(text):
    out = core.encrypt_str(text, KEY)
    n = len(text.encode()) + 28
    assert len(out) == 4 * ((n + 2) // 3)
    assert out.isascii() and "\n" not in out
    blob = base64.b64decode(out, validate=True)
    assert base64.b64encode(blob).decode() == out  # canonical, padded
    assert core.decrypt_bytes(blob, KEY) == text.encode()
