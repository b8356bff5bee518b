// morvex._native.oqs: the post-quantum primitive adapter.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <climits>
#include <stdexcept>

#include "glue.hpp"
#include "morvex/quantum/oqs.hpp"

namespace morvex::py {
namespace {

namespace oqs = morvex::quantum::oqs;

// A strength given as an int (an IntEnum member included). Values that do
// not fit 64 bits are out of every table's range as well.
std::int64_t strength_arg(nb::handle obj) {
  if (!PyLong_Check(obj.ptr())) {
    PyErr_Format(PyExc_TypeError, "strength must be an integer, not '%s'", Py_TYPE(obj.ptr())->tp_name);
    throw nb::python_error();
  }
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(obj.ptr(), &overflow);
  if (overflow != 0) throw std::out_of_range("strength index out of range");
  if (v == -1 && PyErr_Occurred()) throw nb::python_error();
  return static_cast<std::int64_t>(v);
}

nb::tuple pair(const Bytes& first, const SecureBytes& second) {
  return nb::make_tuple(to_py_bytes(first), to_py_bytes(second));
}

}  // namespace

void bind_quantum_oqs(nb::module_& m) {
  m.def(
      "_oqs", [] { unlocked([] { oqs::_oqs(); }); },
      "Make the post-quantum backend available.\n\n"
      "Raises QuantumOperationError (the loader message) when this build has none.");

  m.def(
      "generate_keypair",
      [](const nb::str& alg) {
        const std::string a(text_arg(alg));
        const oqs::KeyPair kp = unlocked([&] { return oqs::generate_keypair(a); });
        return pair(kp.public_key, kp.secret_key);
      },
      nb::arg("alg"), nb::sig("def generate_keypair(alg: str) -> tuple[bytes, bytes]"),
      "Generate a KEM key pair; returns (public_key, secret_key).\n\n"
      "Raises QuantumOperationError \"KEM key generation failed (<alg>): ...\".");

  m.def(
      "encapsulate",
      [](const nb::str& alg, nb::handle public_key) {
        const std::string a(text_arg(alg));
        const BytesArg pk(public_key);
        const oqs::Encapsulation e = unlocked([&] { return oqs::encapsulate(a, pk.view()); });
        return pair(e.ciphertext, e.shared_secret);
      },
      nb::arg("alg"), nb::arg("public_key"),
      nb::sig("def encapsulate(alg: str, public_key: bytes | bytearray | memoryview) -> tuple[bytes, bytes]"),
      "Encapsulate a fresh shared secret; returns (ciphertext, shared_secret).\n\n"
      "Raises QuantumOperationError \"KEM encapsulation failed (<alg>): ...\".");

  m.def(
      "decapsulate",
      [](const nb::str& alg, nb::handle secret_key, nb::handle ciphertext) {
        const std::string a(text_arg(alg));
        const BytesArg sk(secret_key), ct(ciphertext);
        const SecureBytes ss = unlocked([&] { return oqs::decapsulate(a, sk.view(), ct.view()); });
        return to_py_bytes(ss);
      },
      nb::arg("alg"), nb::arg("secret_key"), nb::arg("ciphertext"),
      nb::sig("def decapsulate(alg: str, secret_key: bytes | bytearray | memoryview, "
              "ciphertext: bytes | bytearray | memoryview) -> bytes"),
      "Recover the shared secret of a ciphertext.\n\n"
      "Raises QuantumOperationError \"KEM decapsulation failed (<alg>): ...\".");

  m.def(
      "sig_generate_keypair",
      [](const nb::str& alg) {
        const std::string a(text_arg(alg));
        const oqs::KeyPair kp = unlocked([&] { return oqs::sig_generate_keypair(a); });
        return pair(kp.public_key, kp.secret_key);
      },
      nb::arg("alg"), nb::sig("def sig_generate_keypair(alg: str) -> tuple[bytes, bytes]"),
      "Generate a signature key pair; returns (public_key, secret_key).\n\n"
      "Raises QuantumOperationError \"Signature key generation failed (<alg>): ...\".");

  m.def(
      "sig_sign",
      [](const nb::str& alg, nb::handle secret_key, nb::handle message) {
        const std::string a(text_arg(alg));
        const BytesArg sk(secret_key), msg(message);
        const Bytes sig = unlocked([&] { return oqs::sig_sign(a, sk.view(), msg.view()); });
        return to_py_bytes(sig);
      },
      nb::arg("alg"), nb::arg("secret_key"), nb::arg("message"),
      nb::sig("def sig_sign(alg: str, secret_key: bytes | bytearray | memoryview, "
              "message: bytes | bytearray | memoryview) -> bytes"),
      "Sign a message (pure mode, empty context).\n\n"
      "Raises QuantumOperationError \"Signing failed (<alg>): ...\".");

  m.def(
      "sig_verify",
      [](const nb::str& alg, nb::handle public_key, nb::handle message, nb::handle signature) {
        const std::string a(text_arg(alg));
        const BytesArg pk(public_key), msg(message), sig(signature);
        return unlocked([&] { return oqs::sig_verify(a, pk.view(), msg.view(), sig.view()); });
      },
      nb::arg("alg"), nb::arg("public_key"), nb::arg("message"), nb::arg("signature"),
      nb::sig("def sig_verify(alg: str, public_key: bytes | bytearray | memoryview, "
              "message: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview) -> bool"),
      "Verify a signature: False for any failure, the loader's error when the backend is absent.");

  m.def(
      "enabled_sig_mechanisms",
      [] {
        const std::vector<std::string> names = unlocked([] { return oqs::enabled_sig_mechanisms(); });
        nb::set out;
        for (const std::string& n : names) out.add(to_py_str(n));
        return out;
      },
      nb::sig("def enabled_sig_mechanisms() -> set[str]"),
      "Names of the signature mechanisms the backend enables.");

  m.def(
      "kem_sizes",
      [](const nb::str& alg) {
        const oqs::KemSizes s = oqs::kem_sizes(text_arg(alg));
        return nb::make_tuple(s.public_key, s.secret_key, s.ciphertext, s.shared_secret);
      },
      nb::arg("alg"), nb::sig("def kem_sizes(alg: str) -> tuple[int, int, int, int]"),
      "(public_key, secret_key, ciphertext, shared_secret) lengths of a KEM mechanism.");

  m.def(
      "sig_sizes",
      [](const nb::str& alg) {
        const oqs::SigSizes s = oqs::sig_sizes(text_arg(alg));
        return nb::make_tuple(s.public_key, s.secret_key, s.signature);
      },
      nb::arg("alg"), nb::sig("def sig_sizes(alg: str) -> tuple[int, int, int]"),
      "(public_key, secret_key, signature) lengths of a signature mechanism.");

  m.def(
      "frodo_alg", [](nb::handle s) { return oqs::frodo_alg(strength_arg(s)); }, nb::arg("strength"),
      nb::sig("def frodo_alg(strength: int) -> str"), "FrodoKEM mechanism name of a strength (0..2).");
  m.def(
      "cmce_alg", [](nb::handle s) { return oqs::cmce_alg(strength_arg(s)); }, nb::arg("strength"),
      nb::sig("def cmce_alg(strength: int) -> str"), "Classic McEliece mechanism name of a strength (0..2).");
  m.def(
      "mlkem_alg", [](nb::handle s) { return oqs::mlkem_alg(strength_arg(s)); }, nb::arg("strength"),
      nb::sig("def mlkem_alg(strength: int) -> str"), "ML-KEM mechanism name of a strength (0..2).");
  m.def(
      "sig_algorithm",
      [](const nb::str& kind, nb::handle s) {
        const std::string k(text_arg(kind));
        const std::int64_t strength = strength_arg(s);
        return unlocked([&] { return oqs::sig_algorithm(k, strength); });
      },
      nb::arg("kind"), nb::arg("strength"), nb::sig("def sig_algorithm(kind: str, strength: int) -> str"),
      "Signature mechanism name: ML-DSA for kind \"mldsa\", otherwise the first enabled\n"
      "SLH-DSA spelling (asks the backend).");

  // Test seams (not part of the package surface).
#ifdef MORVEX_WITH_PQ
  m.attr("_BACKEND_LINKED") = true;
#else
  m.attr("_BACKEND_LINKED") = false;
#endif
  m.def(
      "_set_backend_available", [](bool available) { oqs::testing::set_backend_available(available); },
      nb::arg("available"), "Tests only: mark the backend absent (False) or present again (True).");
  m.def(
      "_set_enabled_sig_mechanisms",
      [](std::optional<std::vector<std::string>> names) {
        oqs::testing::set_enabled_sig_mechanisms(std::move(names));
      },
      nb::arg("names").none(), "Tests only: override (or restore, with None) the enabled signature mechanisms.");
}

}  // namespace morvex::py
