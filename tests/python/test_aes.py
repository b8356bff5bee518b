"""The AES area across the binding: argument types, interoperability with an
independent AES-GCM, and fork safety."""

from __future__ import annotations

import array
import base64
import os

import pytest
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from hypothesis import given, settings
from hypothesis import strategies as st

from morvex._internal.keys import convert_key
from morvex.aes import core
from morvex.errors import DecryptionError, InvalidInputError

NOT_GCM = (
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data)."
)
KEY = "correct horse battery staple"


def b64(b: bytes) -> str:
    return base64.b64encode(b).decode()


def expect(cls, message, fn, *args):
    with pytest.raises(cls) as info:
        fn(*args)
    assert type(info.value) is cls
    assert str(info.value) == message
    return info.value


def test_bytes_like_arguments_and_types():
    data = b"bytes-like"
    blob = core.encrypt_bytes(data, KEY)
    for arg in (bytearray(data), memoryview(data), memoryview(b"xx" + data)[2:]):
        out = core.encrypt_bytes(arg, KEY)
        assert type(out) is bytes
        assert core.decrypt_bytes(out, KEY) == data
    for arg in (bytearray(blob), memoryview(blob)):
        out = core.decrypt_bytes(arg, KEY)
        assert type(out) is bytes and out == data
    # A buffer of wider items is read as its raw bytes.
    words = array.array("I", [1, 2, 3])
    assert core.decrypt_bytes(core.encrypt_bytes(words, KEY), KEY) == words.tobytes()
    # str where bytes are expected, and the reverse.
    for fn, args in [
        (core.encrypt_bytes, ("text", KEY)),
        (core.decrypt_bytes, ("text", KEY)),
        (core.encrypt_bytes, (data, b"key")),
        (core.decrypt_bytes, (blob, b"key")),
        (core.encrypt_str, (b"text", KEY)),
        (core.encrypt_str, ("text", b"key")),
        (core.decrypt_str, (b64(blob).encode(), KEY)),
        (core.decrypt_str, (b64(blob), bytearray(b"key"))),
        (core.encrypt_bytes, (None, KEY)),
        (core.encrypt_bytes, (12, KEY)),
    ]:
        with pytest.raises(TypeError):
            fn(*args)
    expect(InvalidInputError, "Data cannot be empty", core.encrypt_bytes, memoryview(b""), KEY)


def test_a_bytearray_being_used_cannot_be_resized_but_stays_usable():
    buf = bytearray(b"abc")
    assert core.decrypt_bytes(core.encrypt_bytes(buf, KEY), KEY) == b"abc"
    buf.extend(b"def")  # the buffer is released once the call returns
    assert buf == b"abcdef"


# --- interoperability with an independent implementation ----------------------------


@settings(max_examples=60, deadline=None)
@given(st.binary(min_size=1, max_size=300), st.text(max_size=30) | st.binary(min_size=1, max_size=70).map(b64))
def test_blobs_open_with_independent_aesgcm_and_back(data, key):
    raw_key = convert_key(key)
    blob = core.encrypt_bytes(data, key)
    assert AESGCM(raw_key).decrypt(blob[:12], blob[12:], None) == data
    nonce = os.urandom(12)
    theirs = nonce + AESGCM(raw_key).encrypt(nonce, data, None)
    assert core.decrypt_bytes(theirs, key) == data


def test_independent_aesgcm_edge_blobs():
    raw, nonce = AESGCM.generate_key(bit_length=256), os.urandom(12)
    # Associated data is never used: a blob sealed with some does not open;
    # 28 bytes that authenticate as the empty plaintext are still refused.
    for blob in (nonce + AESGCM(raw).encrypt(nonce, b"x", b"ad"), nonce + AESGCM(raw).encrypt(nonce, b"", None)):
        assert expect(DecryptionError, NOT_GCM, core.decrypt_bytes, blob, b64(raw)).__cause__ is None


FORK_SCRIPT = """
import os
from morvex.aes import core
core.encrypt_bytes(b"warm up", "k")
r, w = os.pipe()
pid = os.fork()
if pid == 0:
    os.write(w, b"".join(core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)))
    os._exit(0)
os.close(w)
child = b""
while True:
    chunk = os.read(r, 64)
    if not chunk:
        break
    child += chunk
os.waitpid(pid, 0)
parent = {core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)}
theirs = {child[i : i + 12] for i in range(0, len(child), 12)}
assert len(child) == 48 and len(theirs) == 4 and not parent & theirs
print("ok")
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_parent_and_forked_child_draw_different_nonces():
    import subprocess
    import sys

    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", FORK_SCRIPT], capture_output=True, text=True, env=env, timeout=60)
    assert proc.returncode == 0 and proc.stdout.strip() == "ok", proc.stderr
