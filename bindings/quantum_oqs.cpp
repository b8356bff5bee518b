// morvex._native.oqs: the post-quantum primitive adapter.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/vector.h>

#include "module.hpp"
#include "quantum/oqs.hpp"

namespace morvex::py {
namespace {

namespace oqs = morvex::quantum::oqs;

nb::set enabled_sig_mechanisms() {
  const std::vector<std::string> names = [] {
    GilRelease unlocked;
    return oqs::enabled_sig_mechanisms();
  }();
  nb::set out;
  for (const std::string& n : names) out.add(nb::str(n.data(), n.size()));
  return out;
}

nb::tuple kem_sizes(std::string_view alg) {
  const oqs::KemSizes s = oqs::kem_sizes(alg);
  return nb::make_tuple(s.public_key, s.secret_key, s.ciphertext, s.shared_secret);
}

nb::tuple sig_sizes(std::string_view alg) {
  const oqs::SigSizes s = oqs::sig_sizes(alg);
  return nb::make_tuple(s.public_key, s.secret_key, s.signature);
}

}  // namespace

void bind_quantum_oqs(nb::module_& m) {
  m.def("_oqs", &oqs::_oqs, guard(), "Make the post-quantum backend available (raises when this build has none).");
  m.def("generate_keypair", &oqs::generate_keypair, guard(), "alg"_a,
        "A KEM key pair (public_key, secret_key); fails as \"KEM key generation failed (<alg>): ...\".");
  m.def("encapsulate", &oqs::encapsulate, guard(), "alg"_a, "public_key"_a,
        "A fresh shared secret: (ciphertext, shared_secret); fails as \"KEM encapsulation failed (<alg>): ...\".");
  m.def("decapsulate", &oqs::decapsulate, guard(), "alg"_a, "secret_key"_a, "ciphertext"_a,
        "The shared secret of a ciphertext; fails as \"KEM decapsulation failed (<alg>): ...\".");
  m.def("sig_generate_keypair", &oqs::sig_generate_keypair, guard(), "alg"_a,
        "A signature key pair (public_key, secret_key); fails as \"Signature key generation failed (<alg>): ...\".");
  m.def("sig_sign", &oqs::sig_sign, guard(), "alg"_a, "secret_key"_a, "message"_a,
        "The signature of a message (pure mode, empty context); fails as \"Signing failed (<alg>): ...\".");
  m.def("sig_verify", &oqs::sig_verify, guard(), "alg"_a, "public_key"_a, "message"_a, "signature"_a,
        "Verify a signature: False for any failure, the loader's error when the backend is absent.");
  m.def("enabled_sig_mechanisms", &enabled_sig_mechanisms, nb::sig("def enabled_sig_mechanisms() -> set[str]"),
        "Names of the signature mechanisms the backend enables.");
  m.def("kem_sizes", &kem_sizes, "alg"_a, nb::sig("def kem_sizes(alg: str) -> tuple[int, int, int, int]"),
        "(public_key, secret_key, ciphertext, shared_secret) lengths of a KEM mechanism.");
  m.def("sig_sizes", &sig_sizes, "alg"_a, nb::sig("def sig_sizes(alg: str) -> tuple[int, int, int]"),
        "(public_key, secret_key, signature) lengths of a signature mechanism.");
  m.def("frodo_alg", &oqs::frodo_alg, "strength"_a, "FrodoKEM mechanism name of a strength (0..2).");
  m.def("cmce_alg", &oqs::cmce_alg, "strength"_a, "Classic McEliece mechanism name of a strength (0..2).");
  m.def("mlkem_alg", &oqs::mlkem_alg, "strength"_a, "ML-KEM mechanism name of a strength (0..2).");
  m.def("mldsa_alg", &oqs::mldsa_alg, "strength"_a, "ML-DSA mechanism name of a strength (0..2).");
  m.def("slhdsa_candidates", &oqs::slhdsa_candidates, "strength"_a,
        "SLH-DSA mechanism names of a strength (0..2), in order of preference.");
  m.def("sig_algorithm", &oqs::sig_algorithm, guard(), "kind"_a, "strength"_a,
        "Signature mechanism name: ML-DSA for kind \"mldsa\", otherwise the first enabled\n"
        "SLH-DSA spelling (asks the backend).");

  // Test seams (not part of the package surface).
#ifdef MORVEX_WITH_PQ
  m.attr("_BACKEND_LINKED") = true;
#else
  m.attr("_BACKEND_LINKED") = false;
#endif
  m.def("_set_backend_available", &oqs::testing::set_backend_available, "available"_a,
        "Tests only: mark the backend absent (False) or present again (True).");
  m.def("_set_enabled_sig_mechanisms", &oqs::testing::set_enabled_sig_mechanisms, "names"_a.none(),
        "Tests only: override (or restore, with None) the enabled signature mechanisms.");
}

}  // namespace morvex::py
