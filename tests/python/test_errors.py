"""The error family, and the causes that native failures carry across the
binding (the messages are the C++ suite's)."""

from __future__ import annotations

import binascii

import pytest

from morvex import errors
from morvex.aes import core as aes_core


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
        e = cls("héllo: 🔑\n")
        assert str(e) == "héllo: 🔑\n" and e.args == ("héllo: 🔑\n",) and e.__cause__ is None


@pytest.mark.parametrize("bad", ["Zm9v\n", " Zm9v", "-_9v", "Zm9", "éZm9"])
def test_base64_failure_carries_the_decoder_error(bad):
    with pytest.raises(errors.DecryptionError, match="^Ciphertext is not valid Base64$") as info:
        aes_core.decrypt_str(bad, "k")
    assert type(info.value) is errors.DecryptionError
    assert type(info.value.__cause__) is binascii.Error and str(info.value.__cause__)


def test_errors_without_cause_and_each_raise_fresh():
    with pytest.raises(errors.InvalidInputError) as info:
        aes_core.encrypt_bytes(bytearray(), "k")
    assert type(info.value) is errors.InvalidInputError and info.value.__cause__ is None
    raised = []
    for _ in range(2):
        with pytest.raises(errors.DecryptionError) as info:
            aes_core.decrypt_str("-___", "k")
        raised.append(info.value)
    assert raised[0] is not raised[1] and raised[0].__cause__ is not raised[1].__cause__
