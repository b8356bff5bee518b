"""Password records against hashlib and json: the record text, the
derivation, and JSON values as Python objects (argument kinds and the GIL:
test_binding.py; the record rules: the C++ suite and the frozen vectors)."""

from __future__ import annotations

import base64
import datetime
import hashlib
import json
import re

from morvex.password import core

RECORD_RE = re.compile(
    r'\{"algorithm":"pbkdf2","createdUtc":"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)","hash":"([A-Za-z0-9+/]{86}==)",'
    r'"parameters":\{"hashAlgorithm":"SHA512","iterations":(\d+),"outputLength":64,"saltLength":32\},'
    r'"salt":"([A-Za-z0-9+/]{43}=)","version":2\}'
)


def test_record_text_is_byte_exact_and_matches_hashlib():
    password = "pässwörd \u20ac\U0001f600"
    rec = core.hash_password(password, 1000)
    m = RECORD_RE.fullmatch(rec)
    assert m, rec
    created, h, iterations, salt = m.groups()
    # Non-ASCII passwords derive over their UTF-8 bytes.
    want = hashlib.pbkdf2_hmac("sha512", password.encode(), base64.b64decode(salt), 1000, 64)
    assert iterations == "1000" and base64.b64decode(h) == want
    # Exactly what json writes with sorted keys and compact separators.
    assert rec == json.dumps(json.loads(rec), sort_keys=True, separators=(",", ":"))
    # UTC, to the whole second, at the time of the call.
    when = datetime.datetime.strptime(created, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
    assert abs((datetime.datetime.now(datetime.timezone.utc) - when).total_seconds()) < 30
    for length in (1, 65, 200):
        got = core._derive("pw", bytearray(b"salty"), 7, length, "sha256")
        assert got == hashlib.pbkdf2_hmac("sha256", b"pw", b"salty", 7, length)


def test_parse_gives_dicts_or_none():
    value = core._parse(' {"s":"x","i":-3,"u":18446744073709551615,"f":1.5,"t":true,"n":null,"l":[1,{"k":[]}]} ')
    assert value == {"s": "x", "i": -3, "u": 2**64 - 1, "f": 1.5, "t": True, "n": None, "l": [1, {"k": []}]}
    assert core._parse('{"a":1,"a":{"b":2}}') == {"a": {"b": 2}}
    assert core._parse("[]") is None and core._parse("{") is None
