"""Password records across the binding: the record text and the derivation
against hashlib and json, argument conversion, JSON values as Python objects,
and the GIL released while deriving."""

from __future__ import annotations

import base64
import datetime
import hashlib
import json
import re
import threading
import time

import pytest

from morvex import errors
from morvex.password import core

RECORD_RE = re.compile(
    r'\{"algorithm":"pbkdf2","createdUtc":"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)","hash":"([A-Za-z0-9+/]{86}==)",'
    r'"parameters":\{"hashAlgorithm":"SHA512","iterations":(\d+),"outputLength":64,"saltLength":32\},'
    r'"salt":"([A-Za-z0-9+/]{43}=)","version":2\}'
)


def test_record_text_is_byte_exact_and_matches_hashlib():
    rec = core.hash_password("correct horse", 1000)
    m = RECORD_RE.fullmatch(rec)
    assert m, rec
    created, h, iterations, salt = m.groups()
    assert iterations == "1000"
    assert hashlib.pbkdf2_hmac("sha512", b"correct horse", base64.b64decode(salt), 1000, 64) == base64.b64decode(h)
    # Exactly what json writes with sorted keys and compact separators.
    assert rec == json.dumps(json.loads(rec), sort_keys=True, separators=(",", ":"))
    # UTC, to the whole second, at the time of the call.
    when = datetime.datetime.strptime(created, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
    assert abs((datetime.datetime.now(datetime.timezone.utc) - when).total_seconds()) < 30
    # Non-ASCII passwords derive over their UTF-8 bytes.
    rec = json.loads(core.hash_password("pässwörd \u20ac\U0001f600", 3))
    expect = hashlib.pbkdf2_hmac("sha512", "pässwörd \u20ac\U0001f600".encode(), base64.b64decode(rec["salt"]), 3, 64)
    assert base64.b64decode(rec["hash"]) == expect


def test_integer_and_byte_arguments():
    # Counts beyond 64 bits are refused by value, not wrapped, after the
    # password check; floats are not counts. (The bounds and the hash names
    # are the C++ suite's.)
    for n in (2**64, -(2**70)):
        with pytest.raises(errors.InvalidInputError, match="^Iteration count must be between 1 and 10000000$"):
            core.hash_password("p", n)
    with pytest.raises(errors.InvalidInputError, match="^Password cannot be empty$"):
        core.hash_password("", 2**64)
    with pytest.raises(TypeError):
        core.hash_password("p", 1000.0)  # type: ignore[arg-type]
    for length in (1, 65, 200):
        got = core._derive("pw", bytearray(b"salty"), 7, length, "sha256")
        assert got == hashlib.pbkdf2_hmac("sha256", b"pw", b"salty", 7, length)
    # The name is looked up first, before the other arguments are read.
    with pytest.raises(errors.MorvexError, match="^Unsupported hash algorithm: md5$") as e:
        core._derive("\ud800", "not bytes", 1.5, "16", "md5")  # type: ignore[arg-type]
    assert type(e.value) is errors.MorvexError
    with pytest.raises(ValueError):
        core._derive("p", b"s", 0, 16, "SHA512")


def test_parse_gives_dicts_or_none():
    value = core._parse(' {"s":"x","i":-3,"u":18446744073709551615,"f":1.5,"t":true,"n":null,"l":[1,{"k":[]}]} ')
    assert value == {"s": "x", "i": -3, "u": 2**64 - 1, "f": 1.5, "t": True, "n": None, "l": [1, {"k": []}]}
    assert core._parse('{"a":1,"a":{"b":2}}') == {"a": {"b": 2}}
    assert core._parse("[]") is None and core._parse("{") is None


def test_pbkdf2_releases_the_gil():
    # Another thread keeps running Python code while the derivation runs.
    window, ticks = [], []

    def work():
        t0 = time.perf_counter()
        core._derive("pw", b"salt", 300_000, 64, "SHA512")
        window.extend((t0, time.perf_counter()))

    worker = threading.Thread(target=work)
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    t0, t1 = window
    # Margins leave out the moments the worker itself runs Python code.
    inside = [t for t in ticks if t0 + 0.02 < t < t1 - 0.02]
    assert t1 - t0 > 0.05 and len(inside) > 100
