"""The AES area: core operations, the asynchronous area, the facade, and
interoperability with an independent AES-GCM implementation."""

from __future__ import annotations

import array
import asyncio
import base64
import concurrent.futures
import inspect
import os
import threading

import pytest
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from hypothesis import given, settings
from hypothesis import strategies as st

import morvex
from morvex import aes, sync
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


# --- core -------------------------------------------------------------------------


def test_constants():
    assert core.GCM_NONCE_SIZE == 12
    assert core.GCM_TAG_SIZE == 16
    assert core.__all__ == ["GCM_NONCE_SIZE", "GCM_TAG_SIZE", "encrypt_bytes", "decrypt_bytes", "encrypt_str", "decrypt_str"]


@pytest.mark.parametrize("n", [1, 2, 15, 16, 17, 255, 4096, 65537])
def test_sealed_blob_layout_and_round_trip(n):
    data = os.urandom(n)
    a = core.encrypt_bytes(data, KEY)
    b = core.encrypt_bytes(data, KEY)
    assert type(a) is bytes and len(a) == n + 28
    assert a[:12] != b[:12] and a != b
    assert core.decrypt_bytes(a, KEY) == data
    assert core.decrypt_bytes(b, KEY) == data


@pytest.mark.parametrize(
    "key",
    ["", "k", "abcd", "ＡＢＣ", b64(os.urandom(32)), b64(os.urandom(64)), b64(os.urandom(16)), b64(os.urandom(48))],
)
def test_round_trip_under_every_kind_of_key(key):
    assert core.decrypt_bytes(core.encrypt_bytes(b"payload", key), key) == b"payload"
    assert core.decrypt_str(core.encrypt_str("payload", key), key) == "payload"


def test_sixty_four_byte_key_opens_what_its_first_half_sealed():
    k32 = os.urandom(32)
    blob = core.encrypt_bytes(b"x", b64(k32))
    for tail in (bytes(32), os.urandom(32)):
        assert core.decrypt_bytes(blob, b64(k32 + tail)) == b"x"
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, blob, b64(k32[:31] + b"\0"))


def test_empty_inputs():
    expect(InvalidInputError, "Data cannot be empty", core.encrypt_bytes, b"", KEY)
    expect(InvalidInputError, "Plaintext cannot be empty", core.encrypt_str, "", KEY)
    # The empty text decodes to an empty blob: the "not GCM" error, not a Base64 error.
    expect(DecryptionError, NOT_GCM, core.decrypt_str, "", KEY)


def test_short_blobs_are_refused_without_authentication():
    for n in range(29):
        expect(DecryptionError, NOT_GCM, core.decrypt_bytes, os.urandom(n), KEY)
    # 28 bytes that would authenticate as the empty plaintext are still refused.
    nonce = os.urandom(12)
    empty_sealed = nonce + AESGCM(convert_key(KEY)).encrypt(nonce, b"", None)
    assert len(empty_sealed) == 28
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, empty_sealed, KEY)
    e = expect(DecryptionError, NOT_GCM, core.decrypt_str, b64(empty_sealed), KEY)
    assert e.__cause__ is None


def test_every_single_bit_flip_and_wrong_key_are_refused():
    blob = core.encrypt_bytes(b"tamper me", KEY)
    for i in range(len(blob) * 8):
        t = bytearray(blob)
        t[i // 8] ^= 1 << (i % 8)
        expect(DecryptionError, NOT_GCM, core.decrypt_bytes, bytes(t), KEY)
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, blob, KEY + "!")
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, blob[:-1], KEY)
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, blob + b"\0", KEY)


def test_text_wrapper():
    text = "héllo wörld 🔑"
    out = core.encrypt_str(text, KEY)
    n = len(text.encode()) + 28
    assert len(out) == 4 * ((n + 2) // 3)
    assert core.decrypt_str(out, KEY) == text
    assert core.decrypt_bytes(base64.b64decode(out), KEY) == text.encode()
    # Not strict Base64: each fails before any decryption.
    for bad in [out + "\n", out.replace("+", "-").replace("/", "_") if ("+" in out or "/" in out) else "-" + out[1:],
                " " + out[1:], out.rstrip("=") + "A" if out.endswith("=") else out[:-1], "é" + out[1:]]:
        e = expect(DecryptionError, "Ciphertext is not valid Base64", core.decrypt_str, bad, KEY)
        assert e.__cause__ is not None
    # Authenticates, but the plaintext is not UTF-8: only the text form fails.
    blob = core.encrypt_bytes(b"\xc3\x28", KEY)
    e = expect(DecryptionError, "Decrypted data is not valid UTF-8", core.decrypt_str, b64(blob), KEY)
    assert isinstance(e.__cause__, UnicodeDecodeError)
    assert core.decrypt_bytes(blob, KEY) == b"\xc3\x28"
    # Decryption failures inside decrypt_str pass through unchanged (no cause).
    e = expect(DecryptionError, NOT_GCM, core.decrypt_str, core.encrypt_str("x", KEY), "other")
    assert e.__cause__ is None


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
    # An empty bytearray or memoryview is empty data too.
    expect(InvalidInputError, "Data cannot be empty", core.encrypt_bytes, bytearray(), KEY)
    expect(InvalidInputError, "Data cannot be empty", core.encrypt_bytes, memoryview(b""), KEY)


def test_a_bytearray_being_used_cannot_be_resized_but_stays_usable():
    buf = bytearray(b"abc")
    assert core.decrypt_bytes(core.encrypt_bytes(buf, KEY), KEY) == b"abc"
    buf.extend(b"def")  # the buffer is released once the call returns
    assert buf == b"abcdef"


def test_operations_carry_docstrings_and_signatures():
    for name in ["encrypt_bytes", "decrypt_bytes", "encrypt_str", "decrypt_str"]:
        doc = getattr(core, name).__doc__
        assert doc and doc.startswith(name + "(")


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


def test_independent_aesgcm_with_a_base64_key():
    raw = AESGCM.generate_key(bit_length=256)
    nonce = os.urandom(12)
    theirs = nonce + AESGCM(raw).encrypt(nonce, "über".encode(), None)
    assert core.decrypt_str(b64(theirs), b64(raw)) == "über"
    # Associated data is never used: a blob sealed with some does not open.
    with_ad = nonce + AESGCM(raw).encrypt(nonce, b"x", b"ad")
    expect(DecryptionError, NOT_GCM, core.decrypt_bytes, with_ad, b64(raw))


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


def test_threads_share_nothing():
    def work(i):
        key = f"key {i}"
        data = os.urandom(1 + i % 300)
        return core.decrypt_bytes(core.encrypt_bytes(data, key), key) == data

    with concurrent.futures.ThreadPoolExecutor(4) as ex:
        assert all(ex.map(work, range(400)))


# --- the asynchronous area ------------------------------------------------------------


def test_async_area_names_and_forms():
    assert aes.__all__ == ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes", "core"]
    assert aes.core is core
    assert morvex.aes is aes
    public = [n for n, v in vars(aes).items() if inspect.iscoroutinefunction(v) and not n.startswith("_")]
    assert public == ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes"]
    assert list(inspect.signature(aes.encrypt).parameters) == ["plaintext", "key"]
    assert list(inspect.signature(aes.decrypt).parameters) == ["ciphertext_b64", "key"]
    assert list(inspect.signature(aes.encrypt_bytes).parameters) == ["data", "key"]
    assert list(inspect.signature(aes.decrypt_bytes).parameters) == ["blob", "key"]


@pytest.mark.asyncio
async def test_async_round_trips_and_errors():
    out = await aes.encrypt("async text", KEY)
    assert await aes.decrypt(out, KEY) == "async text"
    assert sync.aes.decrypt(out, KEY) == "async text"
    assert await aes.decrypt(sync.aes.encrypt("sync text", KEY), KEY) == "sync text"
    blob = await aes.encrypt_bytes(bytearray(b"\x00\xff"), KEY)
    assert await aes.decrypt_bytes(memoryview(blob), KEY) == b"\x00\xff"
    with pytest.raises(InvalidInputError) as info:
        await aes.encrypt("", KEY)
    assert str(info.value) == "Plaintext cannot be empty"
    with pytest.raises(DecryptionError) as info:
        await aes.decrypt("not base64!", KEY)
    assert str(info.value) == "Ciphertext is not valid Base64"
    assert info.value.__cause__ is not None
    with pytest.raises(TypeError):
        await aes.encrypt_bytes("text", KEY)


class _Recorder:
    def __init__(self, result=None, error=None):
        self.calls = []
        self.result, self.error = result, error

    def __call__(self, *args, **kwargs):
        self.calls.append((args, kwargs, threading.current_thread().name))
        if self.error is not None:
            raise self.error
        return self.result


@pytest.mark.asyncio
@pytest.mark.parametrize(
    "name,core_name",
    [("encrypt", "encrypt_str"), ("decrypt", "decrypt_str"), ("encrypt_bytes", "encrypt_bytes"), ("decrypt_bytes", "decrypt_bytes")],
)
async def test_async_forwarding(monkeypatch, name, core_name):
    loop = asyncio.get_running_loop()
    executor = concurrent.futures.ThreadPoolExecutor(1, thread_name_prefix="default-executor")
    loop.set_default_executor(executor)
    try:
        rec = _Recorder(result=object())
        monkeypatch.setattr(core, core_name, rec)
        arg0, arg1 = object(), object()
        pending = getattr(aes, name)(arg0, arg1)
        assert rec.calls == []  # nothing runs until awaited
        assert await pending is rec.result
        ((args, kwargs, thread),) = rec.calls
        assert args == (arg0, arg1) and args[0] is arg0 and kwargs == {}
        assert thread.startswith("default-executor")
        # The core's error reaches the caller as the very same object.
        err = DecryptionError("from the core")
        err.__cause__ = ValueError("low")
        monkeypatch.setattr(core, core_name, _Recorder(error=err))
        with pytest.raises(DecryptionError) as info:
            await getattr(aes, name)(arg0, arg1)
        assert info.value is err and str(info.value) == "from the core"
        assert type(info.value.__cause__) is ValueError
        # A call never awaited runs nothing.
        rec2 = _Recorder()
        monkeypatch.setattr(core, core_name, rec2)
        getattr(aes, name)(arg0, arg1).close()
        await asyncio.sleep(0)
        assert rec2.calls == []
    finally:
        executor.shutdown(wait=True)


@pytest.mark.asyncio
async def test_async_calls_do_not_block_the_loop():
    data = os.urandom(1 << 20)
    ticks = 0

    async def ticker():
        nonlocal ticks
        while True:
            ticks += 1
            await asyncio.sleep(0)

    t = asyncio.ensure_future(ticker())
    try:
        blobs = await asyncio.gather(*(aes.encrypt_bytes(data, KEY) for _ in range(8)))
    finally:
        t.cancel()
    assert all(len(b) == len(data) + 28 for b in blobs)
    assert ticks > 1


# --- the synchronous facade -----------------------------------------------------------


def test_facade_members_are_the_core_operations():
    cls = type(sync.aes)
    assert cls.__name__ == "_AES"
    assert sync._aes_core is core
    members = [n for n in vars(cls) if not n.startswith("_")]
    assert members == ["encrypt", "decrypt", "encrypt_bytes", "decrypt_bytes"]
    assert sync.aes.encrypt is core.encrypt_str
    assert sync.aes.decrypt is core.decrypt_str
    assert sync.aes.encrypt_bytes is core.encrypt_bytes
    assert sync.aes.decrypt_bytes is core.decrypt_bytes
    assert vars(sync.aes) == {}
    assert sync.__all__ == ["aes", "rsa", "hybrid", "password", "quantum"]


def test_facade_round_trip_and_errors():
    assert sync.aes.decrypt(sync.aes.encrypt("t", KEY), KEY) == "t"
    assert sync.aes.decrypt_bytes(sync.aes.encrypt_bytes(b"t", KEY), KEY) == b"t"
    expect(InvalidInputError, "Plaintext cannot be empty", sync.aes.encrypt, "", KEY)
    expect(InvalidInputError, "Data cannot be empty", sync.aes.encrypt_bytes, b"", KEY)
