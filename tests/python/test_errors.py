"""The error family, and how native failures arrive across the binding."""

from __future__ import annotations

import base64
import binascii

import pytest

from morvex import errors
from morvex.aes import core as aes_core

NOT_GCM = (
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data)."
)


def test_classes_bases_and_messages():
    assert errors.__all__ == ["MorvexError", "InvalidInputError", "EncryptionError", "DecryptionError",
                              "SignatureError", "QuantumOperationError"]
    assert errors.MorvexError.__bases__ == (Exception,)
    for name in errors.__all__:
        cls = getattr(errors, name)
        if cls is not errors.MorvexError:
            assert cls.__bases__ == (errors.MorvexError,)
        # No class adds behaviour or fields of its own.
        assert {k for k in vars(cls) if not (k.startswith("__") and k.endswith("__"))} == set()
        for message in ["", "with: colon", "line\nbreak", "héllo 🔑"]:
            e = cls(message)
            assert str(e) == message and e.args == (message,) and e.__cause__ is None


def _raised(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    return info.value


@pytest.mark.parametrize(
    "fn,args,cls,message",
    [
        (aes_core.encrypt_bytes, (b"", "k"), errors.InvalidInputError, "Data cannot be empty"),
        (aes_core.encrypt_bytes, (bytearray(), "k"), errors.InvalidInputError, "Data cannot be empty"),
        (aes_core.encrypt_str, ("", "k"), errors.InvalidInputError, "Plaintext cannot be empty"),
        (aes_core.decrypt_bytes, (b"\0" * 40, "k"), errors.DecryptionError, NOT_GCM),
        # The empty text decodes to an empty blob: "not GCM", not a Base64 error.
        (aes_core.decrypt_str, ("", "k"), errors.DecryptionError, NOT_GCM),
        # A failed decryption inside the text form passes through unchanged.
        (aes_core.decrypt_str, (aes_core.encrypt_str("x", "k"), "other"), errors.DecryptionError, NOT_GCM),
    ],
)
def test_native_errors_without_cause(fn, args, cls, message):
    e = _raised(fn, *args)
    assert type(e) is cls and str(e) == message and e.__cause__ is None


@pytest.mark.parametrize("bad", ["Zm9v\n", " Zm9v", "-_9v", "Zm9", "éZm9"])
def test_base64_failure_carries_the_decoder_error(bad):
    e = _raised(aes_core.decrypt_str, bad, "k")
    assert type(e) is errors.DecryptionError
    assert str(e) == "Ciphertext is not valid Base64"
    assert type(e.__cause__) is binascii.Error
    assert str(e.__cause__)  # the decoder says what is wrong


def test_utf8_failure_carries_the_decoder_error():
    blob = aes_core.encrypt_bytes(b"ok \xff", "k")
    e = _raised(aes_core.decrypt_str, base64.b64encode(blob).decode(), "k")
    assert type(e) is errors.DecryptionError
    assert str(e) == "Decrypted data is not valid UTF-8"
    cause = e.__cause__
    assert isinstance(cause, UnicodeDecodeError)
    assert cause.encoding == "utf-8" and cause.reason == "invalid start byte"
    assert cause.object[cause.start : cause.end] == b"\xff"
    assert aes_core.decrypt_bytes(blob, "k") == b"ok \xff"  # only the text form fails


def test_each_raise_builds_a_fresh_error():
    first = _raised(aes_core.decrypt_str, "-___", "k")
    second = _raised(aes_core.decrypt_str, "-___", "k")
    assert first is not second
    assert first.__cause__ is not second.__cause__
