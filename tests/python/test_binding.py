"""What the binding adds to the core: argument kinds, error classes and causes,
text without a UTF-8 form (tests/data/cases/python_calls.json), the GIL released.
Also run against the build without the post-quantum backend (`make test-nopq`)."""

from __future__ import annotations

import array
import base64
import builtins
import concurrent.futures
import functools
import importlib
import json
import pathlib
import threading
from typing import Any, Callable

import pytest

from morvex import errors
from morvex._native import oqs as oqs_native
from morvex.aes import core as aes
from morvex.password import core as password

DATA = pathlib.Path(__file__).resolve().parents[1] / "data"
CASES = json.loads((DATA / "cases" / "python_calls.json").read_text())
ENCODING = json.loads((DATA / "cases" / "encoding.json").read_text())
needs_pq = pytest.mark.skipif(not oqs_native._BACKEND_LINKED, reason="built without the post-quantum backend")


def _value(arg: Any) -> Any:
    """A value of the case table: JSON as it is, or a byte buffer, key file or JSON object by kind."""
    if not isinstance(arg, dict):
        return arg
    ((kind, spec),) = arg.items()
    if kind == "object":
        return spec
    if kind == "pem":
        return (DATA / "keys" / spec).read_text()
    parts = [spec] if isinstance(spec, str) else spec
    raw = b"".join(bytes.fromhex(p) if isinstance(p, str) else bytes.fromhex(p[0]) * p[1] for p in parts)
    return {"bytes": bytes, "bytearray": bytearray, "memoryview": memoryview}[kind](raw)


def _class(name: str) -> type:
    if "." in name:
        module, attr = name.rsplit(".", 1)
        return getattr(importlib.import_module(module), attr)
    return getattr(errors, name, None) or getattr(builtins, name)


def _call(case: dict) -> Any:
    module, name = case["call"].rsplit(".", 1)
    return getattr(importlib.import_module(f"morvex.{module}"), name)(*map(_value, case["args"]))


@pytest.mark.parametrize(
    "case", [pytest.param(c, id=c["what"], marks=[needs_pq] if c.get("pq") else []) for c in CASES["calls"]]
)
def test_call_cases(case, request):
    if case.get("backend") == "absent":
        oqs_native._set_backend_available(False)
        # Without a backend in the build there is nothing to restore.
        request.addfinalizer(lambda: oqs_native._set_backend_available(True))
    if "raises" not in case:
        got, want = _call(case), _value(case["returns"])
        assert type(got) is type(want) and got == want
        return
    cls = _class(case["raises"])
    with pytest.raises(cls) as info:
        _call(case)
    assert type(info.value) is cls
    if "message" in case:
        assert str(info.value) == case["message"]
    if "cause" in case:
        cause = info.value.__cause__
        assert cause is None if case["cause"] is None else type(cause) is _class(case["cause"])
    if case.get("hides_text"):
        e = info.value
        assert (e.encoding, e.object, e.start, e.end) == ("utf-8", "\ud800", 0, 1) and "character 12" in e.reason
        assert all("secret" not in shown for shown in (str(e), repr(e), repr(e.args)))


def test_byte_arguments_take_any_buffer_and_results_are_bytes():
    data = b"bytes-like"
    for kind in (bytes, bytearray, memoryview, lambda b: memoryview(b"xx" + b)[2:]):
        blob = aes.encrypt_bytes(kind(data), "k")
        out = aes.decrypt_bytes(kind(blob), "k")
        assert type(blob) is type(out) is bytes and out == data
    # A buffer of wider items is read as its raw bytes.
    words = array.array("I", [1, 2, 3])
    assert aes.decrypt_bytes(aes.encrypt_bytes(words, "k"), "k") == words.tobytes()
    # The buffer is released when the call returns: the bytearray can grow again.
    buf = bytearray(b"abc")
    aes.encrypt_bytes(buf, "k")
    buf.extend(b"def")
    assert buf == b"abcdef"


@pytest.mark.parametrize(
    "data",
    [t.encode() for t in ENCODING["utf8_accepted"] if t] + [bytes.fromhex(h) for h, *_ in ENCODING["utf8_refused"]],
    ids=repr,
)
def test_utf8_failure_is_the_same_decode_error_as_pythons(data):
    token = base64.b64encode(aes.encrypt_bytes(data, "k")).decode()
    try:
        want = data.decode("utf-8", "strict")
    except UnicodeDecodeError as py:
        with pytest.raises(errors.DecryptionError, match="^Decrypted data is not valid UTF-8$") as info:
            aes.decrypt_str(token, "k")
        cause = info.value.__cause__
        assert isinstance(cause, UnicodeDecodeError) and cause.reason == py.reason
        assert cause.object[cause.start : cause.end] == data[py.start : py.end]
    else:
        assert aes.decrypt_str(token, "k") == want


def _slow_call(layer: str) -> Callable[[], Any]:
    if layer == "password":
        return functools.partial(password._derive, "pw", b"salt", 300_000, 64, "SHA512")
    from morvex.quantum import _oqs, core
    from morvex.quantum.types import QuantumStrength, SignatureAlgorithm

    # An SLH-DSA-SHA2-256f signature takes tens of milliseconds (the key
    # made with enumeration members for integer arguments).
    _, priv = core.generate_signature_keypair(SignatureAlgorithm.SLH_DSA, QuantumStrength.HIGHEST)
    if layer == "quantum":
        return functools.partial(core.sign, b"slow", priv)
    return functools.partial(_oqs.sig_sign, _oqs.sig_algorithm("slhdsa", 2), priv[2:], b"slow")


@pytest.mark.parametrize("layer", ["password", pytest.param("quantum", marks=needs_pq),
                                   pytest.param("adapter", marks=needs_pq)])
def test_gil_is_released_while_the_core_works(layer):
    # With the GIL held through the call on the worker, the loop below could
    # not run until the call had finished.
    call, started = _slow_call(layer), threading.Event()
    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        future = pool.submit(lambda: started.set() or call())
        started.wait()
        spins = 0
        while not future.done():
            spins += 1
    assert future.result() and spins > 1000
