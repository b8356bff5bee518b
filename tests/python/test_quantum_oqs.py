"""The post-quantum loader from Python (the operations, tables and messages
are the C++ suite's; argument and error conversions: test_binding.py). Also
run against the build without the backend (`make test-nopq`), where the
backend is absent for good."""

from __future__ import annotations

import pytest

from morvex import errors
from morvex._native import oqs as native
from morvex.aes import core as aes_core
from morvex.quantum import _oqs

LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


@pytest.fixture
def backend_absent():
    native._set_backend_available(False)
    try:
        yield
    finally:
        native._set_backend_available(True)  # without a backend: nothing to restore


def test_every_operation_reports_the_loader_while_absent(backend_absent):
    # Every call's loader check is the C++ suite's; the class and the cause
    # cross the binding the same way for each.
    for call in (_oqs._oqs, lambda: _oqs.sig_verify("ML-DSA-44", b"x", b"m", b"s")):
        with pytest.raises(errors.QuantumOperationError) as exc:
            call()
        assert str(exc.value) == LOADER
        assert isinstance(exc.value.__cause__, RuntimeError)
    # The rest of the package works.
    assert _oqs.sig_algorithm("mldsa", 0) == "ML-DSA-44"
    assert aes_core.decrypt_str(aes_core.encrypt_str("héllo", "k"), "k") == "héllo"
