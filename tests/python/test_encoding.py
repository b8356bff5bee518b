"""Strict UTF-8 reading and Base64 writing, checked against Python's codecs
through the AES text operations."""

from __future__ import annotations

import base64

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from morvex.aes import core
from morvex.errors import DecryptionError

KEY = "encoding tests"


def open_as_text(data: bytes) -> str:
    """decrypt_str of a blob sealed from raw bytes: the UTF-8 step alone."""
    blob = core.encrypt_bytes(data, KEY)
    return core.decrypt_str(base64.b64encode(blob).decode(), KEY)


def check_against_python(data: bytes) -> None:
    """The text form reads what Python's strict decoder reads, and refuses what
    it refuses with a cause naming the same first fault."""
    try:
        want = data.decode("utf-8", "strict")
    except UnicodeDecodeError as py:
        with pytest.raises(DecryptionError) as info:
            open_as_text(data)
        assert str(info.value) == "Decrypted data is not valid UTF-8"
        cause = info.value.__cause__
        assert isinstance(cause, UnicodeDecodeError)
        assert cause.reason == py.reason
        assert cause.object[cause.start : cause.end] == data[py.start : py.end]
    else:
        assert open_as_text(data) == want


@pytest.mark.parametrize(
    "data",
    [
        b"\x80",  # lone continuation byte
        b"\xc0\xaf",  # overlong "/"
        b"\xe0\x80\xaf",  # overlong three-byte
        b"\xf0\x80\x80\xaf",  # overlong four-byte
        b"\xed\xa0\x80",  # U+D800, a surrogate
        b"\xed\xa0\xbd\xed\xb2\x96",  # surrogate pair written as CESU-8
        b"\xf4\x90\x80\x80",  # U+110000
        b"\xf5\x80\x80\x80",
        b"\xf8\x88\x80\x80\x80",  # five-byte form
        b"\xff",
        b"ok\xf0\x9f\x94",  # truncated
        b"\xc3(",
        b"\xe2\x28\xa1",
        "\ufeffstarts with a byte-order mark".encode(),  # kept as a character
        "\U0010ffff\ud7ff\ue000\ufffd".encode(),
        b"\0nul inside\0",
    ],
)
def test_edge_sequences_match_python(data):
    check_against_python(data)


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
def test_utf8_matches_python_decoder(data):
    check_against_python(data)


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
