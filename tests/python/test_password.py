import asyncio
import base64
import datetime
import hashlib
import json
import re

import pytest

import morvex
from morvex import errors, password, sync
from morvex.password import core

RECORD_RE = re.compile(
    r'\{"algorithm":"pbkdf2","createdUtc":"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)","hash":"([A-Za-z0-9+/]{86}==)",'
    r'"parameters":\{"hashAlgorithm":"SHA512","iterations":(\d+),"outputLength":64,"saltLength":32\},'
    r'"salt":"([A-Za-z0-9+/]{43}=)","version":2\}'
)


def hand_record(pw: str, iterations: int, hash_name: str = "sha512", length: int = 64, salt: bytes = b"s" * 32):
    """A record built with hashlib and json alone."""
    digest = hashlib.pbkdf2_hmac(hash_name, pw.encode(), salt, iterations, length)
    return {
        "algorithm": "pbkdf2",
        "createdUtc": "2024-01-02T03:04:05Z",
        "hash": base64.b64encode(digest).decode(),
        "parameters": {
            "hashAlgorithm": hash_name.upper(),
            "iterations": iterations,
            "outputLength": length,
            "saltLength": len(salt),
        },
        "salt": base64.b64encode(salt).decode(),
        "version": 2,
    }


def test_constants_and_hash_table():
    assert (core.ALGORITHM, core.VERSION, core.DEFAULT_ITERATIONS) == ("pbkdf2", 2, 210000)
    assert (core.SALT_LENGTH, core.OUTPUT_LENGTH, core.HASH_ALGORITHM) == (32, 64, "SHA512")
    assert core.UPGRADE_THRESHOLD == 210000
    assert list(core._HASHES) == ["SHA512", "SHA256"]
    with pytest.raises(TypeError):
        core._HASHES["MD5"] = "md5"  # type: ignore[index]


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


def test_default_count_record_round_trip():
    rec = core.hash_password("p")
    assert json.loads(rec)["parameters"]["iterations"] == 210000
    assert core.verify_password("p", rec)
    assert not core.verify_password("q", rec)
    assert not core.needs_rehash(rec)


def test_hash_password_refusals():
    with pytest.raises(errors.InvalidInputError, match="^Password cannot be empty$"):
        core.hash_password("")
    with pytest.raises(errors.InvalidInputError, match="^Password cannot be empty$"):
        core.hash_password("", 0)  # the password is checked first
    for n in (0, -1, 10_000_001, 2**64, -(2**70)):
        with pytest.raises(errors.InvalidInputError, match="^Iteration count must be between 1 and 10000000$"):
            core.hash_password("p", n)
    with pytest.raises(TypeError):
        core.hash_password("p", 1000.0)  # type: ignore[arg-type]
    assert core.verify_password("x", core.hash_password("x", 1))


def test_derive_matches_hashlib_and_names_its_hashes():
    for name, ref in (("sha512", "sha512"), ("SHA256", "sha256"), ("Sha512", "sha512"), ("\u017fha256", "sha256")):
        for length in (1, 32, 64, 65, 200):
            got = core._derive("pw", bytearray(b"salty"), 7, length, name)
            assert got == hashlib.pbkdf2_hmac(ref, b"pw", b"salty", 7, length)
    assert core._derive("pw", b"", 2, 16, "SHA512") == hashlib.pbkdf2_hmac("sha512", b"pw", b"", 2, 16)
    for bad in ("MD5", "md5", "SHA1", "SHA384", "SHA3_512", "sha-512"):
        with pytest.raises(errors.MorvexError) as e:
            core._derive("p", b"s", 1, 16, bad)
        assert type(e.value) is errors.MorvexError
        assert str(e.value) == "Unsupported hash algorithm: " + bad
    # The name is looked up first, before the other arguments are read.
    with pytest.raises(errors.MorvexError, match="^Unsupported hash algorithm: MD5$"):
        core._derive("\ud800", "not bytes", 1.5, "16", "MD5")  # type: ignore[arg-type]
    with pytest.raises(ValueError):
        core._derive("p", b"s", 0, 16, "SHA512")
    with pytest.raises(ValueError):
        core._derive("p", b"s", 1, 0, "SHA512")


def test_hand_built_records_verify():
    rec = hand_record("s3cret", 1000)
    text = json.dumps(rec)  # default separators and key order: any JSON layout reads
    assert core.verify_password("s3cret", text)
    assert not core.verify_password("s3cret ", text)
    assert core.needs_rehash(text)

    sha256 = hand_record("s3cret", 50, "sha256", 32, salt=b"")
    sha256["parameters"]["hashAlgorithm"] = "sha256"
    assert core.verify_password("s3cret", json.dumps(sha256))
    del rec["parameters"]["hashAlgorithm"]  # absent: SHA512
    rec["algorithm"] = "something-else"
    rec["version"] = 99
    del rec["createdUtc"]
    assert core.verify_password("s3cret", json.dumps(rec, indent=2))
    rec["parameters"]["iterations"] = "1000"
    assert core.verify_password("s3cret", json.dumps(rec))
    rec["parameters"]["iterations"] = 1000.7
    assert core.verify_password("s3cret", json.dumps(rec))

    # Thresholds of the rehash policy, strings and fractions included.
    for value, expected in ((210000, False), (209999, True), (210001, False), ("210000", False),
                            (" 210000 ", False), (210000.7, False), (209999.99, True), (True, True),
                            (10**30, False), (-(10**30), True), (str(10**30), False), ("-" + str(10**30), True)):
        assert core.needs_rehash(json.dumps({"parameters": {"iterations": value}})) is expected, value


def _variants():
    base = hand_record("pw", 10)

    def edit(fn):
        r = json.loads(json.dumps(base))
        fn(r)
        return json.dumps(r)

    p = lambda r: r["parameters"]  # noqa: E731
    return {
        "no salt": (edit(lambda r: r.pop("salt")), True),
        "no hash": (edit(lambda r: r.pop("hash")), True),
        "no parameters": (edit(lambda r: r.pop("parameters")), True),
        "no iterations": (edit(lambda r: p(r).pop("iterations")), True),
        "no outputLength": (edit(lambda r: p(r).pop("outputLength")), True),
        "salt a number": (edit(lambda r: r.update(salt=5)), True),
        "parameters a list": (edit(lambda r: r.update(parameters=[1, 2])), True),
        "parameters a string": (edit(lambda r: r.update(parameters="x")), True),
        "salt with a space": (edit(lambda r: r.update(salt=r["salt"][:8] + " " + r["salt"][8:])), True),
        "salt with a line break": (edit(lambda r: r.update(salt=r["salt"][:8] + "\n" + r["salt"][8:])), True),
        "hash not Base64": (edit(lambda r: r.update(hash="!!" + r["hash"][2:])), True),
        "iterations null": (edit(lambda r: p(r).update(iterations=None)), True),
        "iterations a list": (edit(lambda r: p(r).update(iterations=[10])), True),
        "iterations words": (edit(lambda r: p(r).update(iterations="ten")), True),
        "iterations underscores": (edit(lambda r: p(r).update(iterations="1_0")), True),
        "iterations NaN": (edit(lambda r: p(r).update(iterations=float("nan"))), True),
        "iterations Infinity": (edit(lambda r: p(r).update(iterations=float("inf"))), True),
        "outputLength a dict": (edit(lambda r: p(r).update(outputLength={})), True),
        "hashAlgorithm null": (edit(lambda r: p(r).update(hashAlgorithm=None)), True),
        "hashAlgorithm a number": (edit(lambda r: p(r).update(hashAlgorithm=512)), True),
        "hashAlgorithm SHA1": (edit(lambda r: p(r).update(hashAlgorithm="SHA1")), True),
        "hash one byte longer": (edit(lambda r: r.update(hash=base64.b64encode(base64.b64decode(r["hash"]) + b"\0").decode())), True),
        "hash one byte shorter": (edit(lambda r: r.update(hash=base64.b64encode(base64.b64decode(r["hash"])[:-1]).decode())), True),
        "iterations zero": (edit(lambda r: p(r).update(iterations=0)), True),
        "iterations above the bound": (edit(lambda r: p(r).update(iterations=10_000_001)), False),
        "iterations beyond 64 bits": (edit(lambda r: p(r).update(iterations=2**64 + 10)), False),
        "outputLength zero": (edit(lambda r: p(r).update(outputLength=0)), True),
        "outputLength 1025": (edit(lambda r: p(r).update(outputLength=1025)), True),
        "outputLength beyond 64 bits": (edit(lambda r: p(r).update(outputLength=str(2**80))), True),
        "empty text": ("", True),
        "plain words": ("not a record", True),
        "array": ("[1, 2]", True),
        "number": ("5", True),
        "string": ('"{}"', True),
        "byte order mark": ("\ufeff" + json.dumps(base), True),
        "trailing garbage": (json.dumps(base) + " x", True),
        "lone surrogate in the text": (json.dumps(base)[:-1] + ', "x": "\ud800"}', True),
        "deep nesting": ("[" * 100000 + "]" * 100000, True),
    }


@pytest.mark.parametrize("case", list(_variants()))
def test_malformed_records_are_false_and_need_rehash(case):
    text, rehash = _variants()[case]
    assert core.verify_password("pw", text) is False
    assert core.needs_rehash(text) is rehash


def test_verify_edge_cases():
    # An empty password is false, even against a record made from "".
    assert core.verify_password("", json.dumps(hand_record("", 3))) is False
    # A repeated key keeps its last occurrence.
    text = json.dumps(hand_record("pw", 5))
    assert core.verify_password("pw", '{"hash":"AAAA",' + text[1:])
    assert not core.verify_password("pw", text[:-1] + ',"hash":"AAAA"}')
    assert core._parse('{"a":1,"a":{"b":2}}') == {"a": {"b": 2}}
    # A password with no UTF-8 form cannot be derived over...
    with pytest.raises(UnicodeEncodeError):
        core.verify_password("\ud800", text)
    # ...but a malformed record is false first.
    assert core.verify_password("\ud800", "junk") is False


def test_parse_gives_dicts_or_none():
    value = core._parse(' {"s":"x","i":-3,"u":18446744073709551615,"f":1.5,"t":true,"n":null,"l":[1,{"k":[]}]} ')
    assert value == {"s": "x", "i": -3, "u": 2**64 - 1, "f": 1.5, "t": True, "n": None, "l": [1, {"k": []}]}
    for text in ("", "[]", "1", "null", '"a"', "{", "{'a':1}", "{} {}", "NaN"):
        assert core._parse(text) is None
    deep = core._parse('{"x":' + "[" * 50000 + "]" * 50000 + "}")
    assert isinstance(deep, dict)


@pytest.mark.asyncio
async def test_async_area_runs_the_core_operations():
    assert password.__all__ == ["hash", "verify", "needs_rehash", "core"]
    assert password.core is core
    rec = await password.hash("pw", 100)
    assert json.loads(rec)["parameters"]["iterations"] == 100
    assert await password.verify("pw", rec) is True
    assert await password.verify("px", rec) is False
    assert await password.needs_rehash(rec) is True
    assert await password.needs_rehash("nonsense") is True
    with pytest.raises(errors.InvalidInputError, match="^Password cannot be empty$"):
        await password.hash("")
    # Concurrent calls on the executor all succeed and stay independent.
    recs = await asyncio.gather(*(password.hash(f"pw{i}", 50) for i in range(8)))
    oks = await asyncio.gather(*(password.verify(f"pw{i}", r) for i, r in enumerate(recs)))
    assert all(oks) and len(set(recs)) == 8


@pytest.mark.asyncio
async def test_async_default_count_is_210000():
    rec = await password.hash("pw")
    assert json.loads(rec)["parameters"]["iterations"] == 210000
    assert await password.needs_rehash(rec) is False


def test_sync_facade_is_the_core():
    assert sync.password.hash is core.hash_password
    assert sync.password.verify is core.verify_password
    assert sync.password.needs_rehash is core.needs_rehash
    assert sync.password is morvex.sync.password
    rec = sync.password.hash("pw", 20)
    assert sync.password.verify("pw", rec) and sync.password.needs_rehash(rec)

