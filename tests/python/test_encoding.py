"""Strict UTF-8 reading checked against Python's own decoder, through the AES
text operation: the same texts are read, the same are refused, and a refusal
carries a UnicodeDecodeError naming the same first fault."""

from __future__ import annotations

import base64

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from morvex.aes import core
from morvex.errors import DecryptionError

KEY = "encoding tests"
EDGES = [
    b"\x80", b"\xc0\xaf", b"\xe0\x80\xaf", b"\xf0\x80\x80\xaf",  # lone continuation, overlong forms
    b"\xed\xa0\x80", b"\xed\xa0\xbd\xed\xb2\x96",  # a surrogate, a pair written as CESU-8
    b"\xf4\x90\x80\x80", b"\xf5\x80\x80\x80", b"\xf8\x88\x80\x80\x80", b"\xff",  # beyond U+10FFFF
    b"ok\xf0\x9f\x94", b"\xc3(", b"\xe2\x28\xa1",  # truncated, bad continuation
    "\ufeffbyte-order mark kept".encode(), "\U0010ffff\ud7ff\ue000\ufffd".encode(), b"\0nul\0",
]
EDGE_BYTES = [0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0x9F, 0xA0]


@st.composite
def near_utf8(draw):
    """Valid text, random bytes, and valid text with one byte set, cut or inserted."""
    kind = draw(st.sampled_from(["edge", "valid", "random", "altered"]))
    if kind == "edge":
        return draw(st.sampled_from(EDGES))
    if kind == "random":
        return draw(st.binary(min_size=1, max_size=12))
    b = bytearray(draw(st.text(min_size=1, max_size=20)).encode())
    if kind == "altered":
        i, op, x = draw(st.integers(0, len(b) - 1)), draw(st.sampled_from("sci")), draw(st.sampled_from(EDGE_BYTES))
        if op == "s":
            b[i] = x
        elif op == "c":
            del b[max(i, 1):]
        else:
            b.insert(i, x)
    return bytes(b)


@settings(max_examples=500, deadline=None)
@given(near_utf8())
def test_utf8_matches_python_decoder(data):
    token = base64.b64encode(core.encrypt_bytes(data, KEY)).decode()
    try:
        want = data.decode("utf-8", "strict")
    except UnicodeDecodeError as py:
        with pytest.raises(DecryptionError, match="^Decrypted data is not valid UTF-8$") as info:
            core.decrypt_str(token, KEY)
        cause = info.value.__cause__
        assert isinstance(cause, UnicodeDecodeError) and cause.reason == py.reason
        assert cause.object[cause.start : cause.end] == data[py.start : py.end]
    else:
        assert core.decrypt_str(token, KEY) == want
