"""The UTF-8 step's failure across the binding: a DecryptionError whose cause
is a UnicodeDecodeError naming the same first fault as Python's own decoder
(the validator itself is the C++ suite's and the convert_key fuzz target's)."""

from __future__ import annotations

import base64

import pytest

from morvex.aes import core
from morvex.errors import DecryptionError

KEY = "encoding tests"
EDGES = [
    b"\x80", b"\xc0\xaf", b"\xe0\x80\xaf", b"\xf0\x80\x80\xaf",  # lone continuation, overlong forms
    b"\xed\xa0\x80", b"\xed\xa0\xbd\xed\xb2\x96",  # a surrogate, a pair written as CESU-8
    b"\xf4\x90\x80\x80", b"\xf5\x80\x80\x80", b"\xff",  # beyond U+10FFFF
    b"ok\xf0\x9f\x94", b"\xc3(", b"ab\xe2\x28\xa1",  # truncated, bad continuation
    "\ufeffbyte-order mark kept \U0010ffff\ud7ff\ue000\ufffd".encode(), b"\0nul\0",
]


@pytest.mark.parametrize("data", EDGES, ids=repr)
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
