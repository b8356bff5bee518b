"""What the binding adds for hostile input: text without a UTF-8 form reaches
the core (which decides), and the errors it raises never carry the caller's
text."""

from __future__ import annotations

import json

import pytest

from morvex import errors
from morvex.aes import core as aes
from morvex.hybrid import core as hybrid
from morvex.password import core as password
from morvex.quantum import core as quantum
from morvex.rsa import core as rsa

SECRET = "my secret \u00e9 \ud800 more secret"  # the surrogate is character 12


@pytest.mark.parametrize("call", [
    lambda: aes.encrypt_str(SECRET, "key"),
    lambda: aes.encrypt_str("text", SECRET),
    lambda: aes.decrypt_bytes(b"\0" * 40, SECRET),
    lambda: password.hash_password(SECRET),
    lambda: password._derive(SECRET, b"salt", 1, 8, "SHA512"),
    lambda: password.verify_password(SECRET, password.hash_password("pw", 1)),
], ids=["plaintext", "key", "key-decrypt", "hash", "derive", "verify"])
def test_encoding_errors_name_the_character_not_the_text(call):
    with pytest.raises(UnicodeEncodeError) as info:
        call()
    e = info.value
    assert (e.encoding, e.object, e.start, e.end) == ("utf-8", "\ud800", 0, 1)
    assert "character 12" in e.reason
    for shown in (str(e), repr(e), repr(e.args)):
        assert "secret" not in shown


def test_rsa_key_texts_keep_their_own_complaint(rsa_pair):
    with pytest.raises(errors.InvalidInputError, match="^Invalid RSA public key PEM: 'ascii' codec"):
        rsa.encrypt_str("text", SECRET)


def test_base64_text_with_a_surrogate_is_not_base64(rsa_pair):
    priv, pub = rsa_pair
    for decrypt, key in ((aes.decrypt_str, "key"), (rsa.decrypt_str, priv), (hybrid.decrypt_str, priv)):
        with pytest.raises(errors.DecryptionError, match="^Ciphertext is not valid Base64$"):
            decrypt("AAAA\ud800AAA", key)
    signature = rsa.sign_str("text", priv)
    assert rsa.verify_str("text", signature[:-4] + "\ud800AAA", pub) is False
    # A record is text from outside too: malformed, not an error.
    assert password.needs_rehash(json.dumps({"x": "y"})[:-1] + ', "z": "\ud800"}') is True


def test_messages_quoting_the_callers_names_come_back_intact():
    with pytest.raises(errors.MorvexError, match="^Unsupported hash algorithm: \ud800$"):
        password._derive("pw", b"s", 1, 8, "\ud800")


def test_cbc_input_that_is_not_whole_blocks_is_a_value_error():
    with pytest.raises(ValueError):
        quantum._cbc_decrypt(b"\0" * 17, b"k" * 32, b"i" * 16)
