"""The post-quantum adapter from Python: enumerations, tables, the loader and
the error classes across the binding (the operations themselves are the C++
suite's; the interoperability checks are in test_quantum_interop.py). Also run
against the build without the backend (`make test-nopq`), where the backend is
absent for good."""

from __future__ import annotations

import pytest

from morvex import errors
from morvex._native import oqs as native
from morvex.aes import core as aes_core
from morvex.quantum import _oqs
from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm

needs_pq = pytest.mark.skipif(not native._BACKEND_LINKED, reason="built without the post-quantum backend")
LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


@pytest.fixture
def backend_absent():
    native._set_backend_available(False)
    try:
        yield
    finally:
        native._set_backend_available(True)  # without a backend: nothing to restore


def test_enumerations_and_tables():
    # The names and the lookups are the C++ suite's; here the Python members,
    # the integer argument and the lookup's error class.
    assert [(m.name, int(m)) for m in QuantumGeneration] == [(f"GEN{i}", i) for i in range(1, 9)]
    assert [(m.name, int(m)) for m in QuantumStrength] == [("STANDARD", 0), ("MEDIUM", 1), ("HIGHEST", 2)]
    assert [(m.name, int(m)) for m in SignatureAlgorithm] == [("ML_DSA", 1), ("SLH_DSA", 2)]
    assert _oqs.frodo_alg(QuantumStrength.HIGHEST) == _oqs._FRODO[2] == "FrodoKEM-1344-AES"
    for bad in (3, -(2**70)):
        with pytest.raises(IndexError):
            _oqs.mlkem_alg(bad)
    with pytest.raises(TypeError):
        _oqs.frodo_alg("2")


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


@needs_pq
def test_operation_errors_across_the_binding():
    alg = "ML-KEM-512"
    pk, sk = _oqs.generate_keypair(alg)
    ct, ss = _oqs.encapsulate(alg, bytearray(pk))
    assert _oqs.decapsulate(alg, memoryview(sk), ct) == ss
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.decapsulate(alg, sk, ct[:-1])
    assert str(exc.value).startswith(f"KEM decapsulation failed ({alg}): ")
    assert isinstance(exc.value.__cause__, RuntimeError)
