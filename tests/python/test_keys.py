"""Key normalisation across the binding: text in, 32 bytes out (the strict
Base64 reading and the key rule are the C++ suite's, on the known answers of
tests/data/cases/encoding.json, and the convert_key fuzz target's)."""

from __future__ import annotations

import base64

import pytest

from morvex._internal import keys


def test_surface_and_types():
    assert keys.__all__ == ["AES_KEY_SIZE", "convert_key"] and keys.AES_KEY_SIZE == 32
    for fn in (keys.convert_key, keys._try_base64):
        with pytest.raises(TypeError):
            fn(b"Zm9v")
    raw = bytes(range(32))
    assert type(keys.convert_key("k")) is bytes and keys.convert_key(base64.b64encode(raw).decode()) == raw
    assert keys._try_base64("Zm9v") == b"foo" and keys._try_base64("Zm9") is None
