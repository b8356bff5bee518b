"""A build without the post-quantum backend: every post-quantum call reports
the loader, the rest of the package works (run by `make test-nopq`)."""

from __future__ import annotations

import pytest

from morvex.aes import core as aes_core
from morvex import errors
from morvex._native import oqs as native
from morvex.quantum import _oqs

pytestmark = pytest.mark.skipif(native._BACKEND_LINKED, reason="this build links the post-quantum backend")

LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


def test_every_post_quantum_call_reports_the_loader():
    calls = [
        _oqs._oqs,
        lambda: _oqs.generate_keypair("ML-KEM-768"),
        lambda: _oqs.encapsulate("FrodoKEM-640-AES", b"k"),
        lambda: _oqs.decapsulate("Classic-McEliece-6688128", b"k", b"c"),
        lambda: _oqs.sig_generate_keypair("ML-DSA-65"),
        lambda: _oqs.sig_sign("ML-DSA-65", b"k", b"m"),
        lambda: _oqs.sig_verify("ML-DSA-65", b"k", b"m", b"s"),
        lambda: _oqs.sig_algorithm("slhdsa", 0),
    ]
    for call in calls * 2:
        with pytest.raises(errors.QuantumOperationError) as exc:
            call()
        assert str(exc.value) == LOADER
        assert isinstance(exc.value.__cause__, RuntimeError)
    native._set_backend_available(True)  # nothing to restore: still absent
    with pytest.raises(errors.QuantumOperationError):
        _oqs._oqs()


def test_the_rest_of_the_package_works():
    assert _oqs.sig_algorithm("mldsa", 2) == "ML-DSA-87"
    assert _oqs.frodo_alg(0) == "FrodoKEM-640-AES"
    key = "correct horse battery staple"
    assert aes_core.decrypt_str(aes_core.encrypt_str("héllo", key), key) == "héllo"
