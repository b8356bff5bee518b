"""The error family: classes, messages, causes, and how native failures arrive."""

from __future__ import annotations

import base64
import binascii

import pytest

import morvex
from morvex import errors
from morvex.aes import core as aes_core

SUBCLASSES = [
    errors.InvalidInputError,
    errors.EncryptionError,
    errors.DecryptionError,
    errors.SignatureError,
    errors.QuantumOperationError,
]

NOT_GCM = (
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data)."
)


def test_classes_order_and_bases():
    assert errors.__all__ == [
        "MorvexError",
        "InvalidInputError",
        "EncryptionError",
        "DecryptionError",
        "SignatureError",
        "QuantumOperationError",
    ]
    assert errors.MorvexError.__bases__ == (Exception,)
    for cls in SUBCLASSES:
        assert cls.__bases__ == (errors.MorvexError,)
        assert getattr(morvex, cls.__name__) is cls
    # No class adds behaviour or fields of its own.
    for cls in [errors.MorvexError, *SUBCLASSES]:
        own = {k for k in vars(cls) if not (k.startswith("__") and k.endswith("__"))}
        assert own == set()


def test_catching_by_family_and_by_exact_class():
    for cls in SUBCLASSES:
        with pytest.raises(errors.MorvexError):
            raise cls("x")
        for other in SUBCLASSES:
            if other is cls:
                continue
            with pytest.raises(cls):  # `other` handler must not swallow it
                try:
                    raise cls("x")
                except other:
                    pytest.fail(f"{other.__name__} caught {cls.__name__}")


@pytest.mark.parametrize("message", ["", "plain", "with: colon", "line\nbreak", "héllo 🔑", " padded "])
def test_message_reads_back_unchanged(message):
    for cls in [errors.MorvexError, *SUBCLASSES]:
        e = cls(message)
        assert str(e) == message
        assert e.args == (message,)
        assert e.__cause__ is None


def test_cause_attached_by_raise_from():
    low = ValueError("low")
    try:
        try:
            raise low
        except ValueError as exc:
            raise errors.EncryptionError("AES-GCM encryption failed: low") from exc
    except errors.EncryptionError as e:
        assert e.__cause__ is low


# --- errors raised by the native core -----------------------------------------


def _raised(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    return info.value


def test_native_errors_without_cause():
    cases = [
        (aes_core.encrypt_bytes, (b"", "k"), errors.InvalidInputError, "Data cannot be empty"),
        (aes_core.encrypt_str, ("", "k"), errors.InvalidInputError, "Plaintext cannot be empty"),
        (aes_core.decrypt_bytes, (b"\0" * 40, "k"), errors.DecryptionError, NOT_GCM),
        (aes_core.decrypt_bytes, (b"", "k"), errors.DecryptionError, NOT_GCM),
        (aes_core.decrypt_str, ("", "k"), errors.DecryptionError, NOT_GCM),
    ]
    for fn, args, cls, message in cases:
        e = _raised(fn, *args)
        assert type(e) is cls
        assert str(e) == message
        assert e.__cause__ is None


def test_native_errors_with_decoder_cause():
    e = _raised(aes_core.decrypt_str, "Zm9v\n", "k")
    assert type(e) is errors.DecryptionError
    assert str(e) == "Ciphertext is not valid Base64"
    assert type(e.__cause__) is binascii.Error
    assert str(e.__cause__)  # the decoder says what is wrong

    blob = aes_core.encrypt_bytes(b"ok \xff", "k")
    e = _raised(aes_core.decrypt_str, base64.b64encode(blob).decode(), "k")
    assert type(e) is errors.DecryptionError
    assert str(e) == "Decrypted data is not valid UTF-8"
    cause = e.__cause__
    assert isinstance(cause, UnicodeDecodeError)
    assert cause.encoding == "utf-8"
    assert cause.reason == "invalid start byte"
    assert cause.object[cause.start : cause.end] == b"\xff"


def test_each_raise_builds_a_fresh_error():
    first = _raised(aes_core.decrypt_str, "-___", "k")
    second = _raised(aes_core.decrypt_str, "-___", "k")
    assert first is not second
    assert first.__cause__ is not second.__cause__
