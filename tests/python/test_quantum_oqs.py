"""The post-quantum adapter from Python: tables, enumerations, loader and operations."""

from __future__ import annotations

import threading
import time

import pytest

from morvex import errors
from morvex._native import oqs as native
from morvex.quantum import _oqs
from morvex.quantum.types import QuantumGeneration, QuantumStrength, SignatureAlgorithm

LOADER = "Post-quantum support requires the native liboqs binding. Install it with:  pip install 'morvex[quantum]'"


@pytest.fixture
def backend_absent():
    native._set_backend_available(False)
    try:
        yield
    finally:
        native._set_backend_available(True)


@pytest.fixture
def enabled_only():
    def set_(names):
        native._set_enabled_sig_mechanisms(list(names))

    yield set_
    native._set_enabled_sig_mechanisms(None)


def test_enumerations():
    assert [m.name for m in QuantumGeneration] == [f"GEN{i}" for i in range(1, 9)]
    assert [int(m) for m in QuantumGeneration] == list(range(1, 9))
    assert QuantumGeneration.GEN8 == 8
    assert [(m.name, int(m)) for m in QuantumStrength] == [("STANDARD", 0), ("MEDIUM", 1), ("HIGHEST", 2)]
    assert [(m.name, int(m)) for m in SignatureAlgorithm] == [("ML_DSA", 1), ("SLH_DSA", 2)]
    with pytest.raises(ValueError):
        QuantumStrength(3)


def test_tables_and_lookups_agree():
    for s in (0, 1, 2):
        member = QuantumStrength(s)
        assert _oqs.frodo_alg(s) == _oqs.frodo_alg(member) == _oqs._FRODO[s]
        assert _oqs.cmce_alg(member) == _oqs._CMCE[s]
        assert _oqs.mlkem_alg(member) == _oqs._MLKEM[s]
        assert _oqs.sig_algorithm("mldsa", member) == _oqs._MLDSA[s]
        assert _oqs.sig_algorithm("slhdsa", member) == _oqs._SLHDSA[s][0]
        assert _oqs.kem_sizes(_oqs._FRODO[s])[0] > 0
    assert _oqs.frodo_alg(QuantumStrength.HIGHEST) == "FrodoKEM-1344-AES"
    assert _oqs.cmce_alg(0) == "Classic-McEliece-6688128"
    assert _oqs.mlkem_alg(1) == "ML-KEM-768"
    assert _oqs._SLHDSA[0] == ["SLH-DSA-SHA2-128f", "SLH_DSA_PURE_SHA2_128F"]


@pytest.mark.parametrize("bad", [3, -1, 2**70, -(2**70)])
def test_strength_out_of_range_is_index_error(bad):
    for f in (_oqs.frodo_alg, _oqs.cmce_alg, _oqs.mlkem_alg):
        with pytest.raises(IndexError):
            f(bad)
    with pytest.raises(IndexError):
        _oqs.sig_algorithm("mldsa", bad)
    with pytest.raises(IndexError):
        _oqs.sig_algorithm("slhdsa", bad)
    with pytest.raises(TypeError):
        _oqs.frodo_alg("2")


def test_slhdsa_spellings(enabled_only):
    assert _oqs.sig_algorithm("", 1) == "SLH-DSA-SHA2-192f"
    enabled_only(["SLH_DSA_PURE_SHA2_192F"])
    assert _oqs.sig_algorithm("slhdsa", 1) == "SLH_DSA_PURE_SHA2_192F"
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.sig_algorithm("slhdsa", 2)
    assert str(exc.value) == (
        "No SLH-DSA mechanism available; tried ['SLH-DSA-SHA2-256f', 'SLH_DSA_PURE_SHA2_256F']"
    )
    assert exc.value.__cause__ is None


def test_every_operation_reports_the_loader_while_absent(backend_absent):
    calls = [
        lambda: _oqs._oqs(),
        lambda: _oqs.generate_keypair("ML-KEM-768"),
        lambda: _oqs.encapsulate("ML-KEM-768", b"x"),
        lambda: _oqs.decapsulate("ML-KEM-768", b"x", b"y"),
        lambda: _oqs.sig_generate_keypair("ML-DSA-44"),
        lambda: _oqs.sig_sign("ML-DSA-44", b"x", b"m"),
        lambda: _oqs.sig_verify("ML-DSA-44", b"x", b"m", b"s"),
        lambda: _oqs.sig_algorithm("slhdsa", 0),
        lambda: _oqs.sig_algorithm("slhdsa", 9),
    ]
    for call in calls * 2:
        with pytest.raises(errors.QuantumOperationError) as exc:
            call()
        assert str(exc.value) == LOADER
        assert isinstance(exc.value.__cause__, RuntimeError)
    assert _oqs.sig_algorithm("mldsa", 0) == "ML-DSA-44"


def test_loader_recovers_and_returns_the_handle(backend_absent):
    with pytest.raises(errors.QuantumOperationError):
        _oqs._oqs()
    native._set_backend_available(True)
    assert _oqs._oqs() is native
    assert len(_oqs.generate_keypair("ML-KEM-512")[0]) == 800


@pytest.mark.parametrize("alg", ["ML-KEM-512", "ML-KEM-1024", "FrodoKEM-976-AES"])
def test_kem_round_trip(alg):
    pk_len, sk_len, ct_len, ss_len = _oqs.kem_sizes(alg)
    pk, sk = _oqs.generate_keypair(alg)
    assert (len(pk), len(sk)) == (pk_len, sk_len)
    ct, ss = _oqs.encapsulate(alg, bytearray(pk))
    assert (len(ct), len(ss)) == (ct_len, ss_len)
    assert _oqs.decapsulate(alg, memoryview(sk), ct) == ss
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.decapsulate(alg, sk, ct[:-1])
    assert str(exc.value).startswith(f"KEM decapsulation failed ({alg}): ")
    assert isinstance(exc.value.__cause__, RuntimeError)
    with pytest.raises(TypeError):
        _oqs.encapsulate(alg, "text")


def test_unknown_mechanism_messages():
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.generate_keypair("NotAKem")
    assert str(exc.value).startswith("KEM key generation failed (NotAKem): ")
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.encapsulate("NotAKem", b"")
    assert str(exc.value).startswith("KEM encapsulation failed (NotAKem): ")
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.sig_generate_keypair("NotASig")
    assert str(exc.value).startswith("Signature key generation failed (NotASig): ")
    with pytest.raises(errors.QuantumOperationError) as exc:
        _oqs.sig_sign("NotASig", b"", b"")
    assert str(exc.value).startswith("Signing failed (NotASig): ")
    assert _oqs.sig_verify("NotASig", b"", b"", b"") is False


@pytest.mark.parametrize("alg", ["ML-DSA-65", "SLH_DSA_PURE_SHA2_128F"])
def test_sign_and_verify(alg):
    pk, sk = _oqs.sig_generate_keypair(alg)
    sig = _oqs.sig_sign(alg, sk, "héllo".encode())
    assert len(sig) == _oqs.sig_sizes(alg)[2]
    assert _oqs.sig_verify(alg, pk, "héllo".encode(), sig) is True
    assert _oqs.sig_verify(alg, pk, b"hello", sig) is False
    assert _oqs.sig_verify(alg, pk, "héllo".encode(), sig[:-1]) is False
    assert _oqs.sig_verify(alg, pk[:-1], "héllo".encode(), sig) is False


def test_enabled_sig_mechanisms():
    names = _oqs.enabled_sig_mechanisms()
    assert set(_oqs._MLDSA.values()) <= names
    assert {n for pair in _oqs._SLHDSA.values() for n in pair} <= names


@pytest.mark.parametrize("bits", [44, 65, 87])
def test_ml_dsa_interop_with_cryptography(bits):
    from cryptography.hazmat.primitives.asymmetric import mldsa

    alg = f"ML-DSA-{bits}"
    pub_cls = getattr(mldsa, f"MLDSA{bits}PublicKey")
    priv_cls = getattr(mldsa, f"MLDSA{bits}PrivateKey")
    pk, sk = _oqs.sig_generate_keypair(alg)
    message = b"interop \x00\xff"
    signature = _oqs.sig_sign(alg, sk, message)
    pub_cls.from_public_bytes(pk).verify(signature, message)  # raises if invalid
    # And the other way round.
    theirs = priv_cls.generate()
    their_pk = theirs.public_key().public_bytes_raw()
    assert _oqs.sig_verify(alg, their_pk, message, theirs.sign(message)) is True
    assert _oqs.sig_verify(alg, their_pk, message, theirs.sign(message, b"ctx")) is False


@pytest.mark.parametrize("level", [768, 1024])
def test_ml_kem_interop_with_cryptography(level):
    from cryptography.hazmat.primitives.asymmetric import mlkem

    alg = f"ML-KEM-{level}"
    pub_cls = getattr(mlkem, f"MLKEM{level}PublicKey")
    priv_cls = getattr(mlkem, f"MLKEM{level}PrivateKey")
    pk, sk = _oqs.generate_keypair(alg)
    secret, capsule = pub_cls.from_public_bytes(pk).encapsulate()
    assert _oqs.decapsulate(alg, sk, capsule) == secret
    theirs = priv_cls.generate()
    ct, ss = _oqs.encapsulate(alg, theirs.public_key().public_bytes_raw())
    assert theirs.decapsulate(ct) == ss


@pytest.fixture(scope="module")
def cmce():
    # Classic McEliece key generation takes about a second: one key pair.
    alg = "Classic-McEliece-6960119"
    pk, sk = _oqs.generate_keypair(alg)
    return alg, pk, sk


def test_classic_mceliece_round_trip(cmce):
    alg, pk, sk = cmce
    assert (len(pk), len(sk)) == _oqs.kem_sizes(alg)[:2]
    ct, ss = _oqs.encapsulate(alg, pk)
    assert _oqs.decapsulate(alg, sk, ct) == ss
    with pytest.raises(errors.QuantumOperationError):
        _oqs.encapsulate(alg, pk[:-1])


def test_gil_is_released(cmce):
    # While another thread decapsulates (about a tenth of a second for this
    # mechanism), this thread keeps running: no gap between two of its steps
    # comes near the length of the native call.
    alg, pk, sk = cmce
    ct, ss = _oqs.encapsulate(alg, pk)
    took = []

    def work():
        start = time.perf_counter()
        assert _oqs.decapsulate(alg, sk, ct) == ss
        took.append(time.perf_counter() - start)

    worker = threading.Thread(target=work)
    last = time.perf_counter()
    worst = 0.0
    worker.start()
    while worker.is_alive():
        now = time.perf_counter()
        worst = max(worst, now - last)
        last = now
    worker.join()
    assert took and worst < took[0] / 2, (worst, took)
