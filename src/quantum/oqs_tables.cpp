// Mechanism names by strength, the mechanism table and the lookups.
#include <array>
#include <stdexcept>
#include <string>

#include "morvex/errors.hpp"
#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs {
namespace internal {
namespace {

constexpr std::size_t kDraw = 0;  // one draw per request of the library

constexpr std::array<Mechanism, 18> kMechanisms{{
    // name, family, impl, pk, sk, capsule/signature, shared secret, keygen draw, encaps draw
    {"ML-KEM-512", Family::MlKem, "ML-KEM-512", 800, 1632, 768, 32, 64, 32},
    {"ML-KEM-768", Family::MlKem, "ML-KEM-768", 1184, 2400, 1088, 32, 64, 32},
    {"ML-KEM-1024", Family::MlKem, "ML-KEM-1024", 1568, 3168, 1568, 32, 64, 32},
    // s || seedSE || z, and mu || salt.
    {"FrodoKEM-640-AES", Family::FrodoKem, "FrodoKEM-640-AES", 9616, 19888, 9752, 16, 16 + 32 + 16, 16 + 32},
    {"FrodoKEM-976-AES", Family::FrodoKem, "FrodoKEM-976-AES", 15632, 31296, 15792, 24, 24 + 48 + 16, 24 + 48},
    {"FrodoKEM-1344-AES", Family::FrodoKem, "FrodoKEM-1344-AES", 21520, 43088, 21696, 32, 32 + 64 + 16, 32 + 64},
    // One 32-byte seed; one draw per rejection-sampling attempt.
    {"Classic-McEliece-6688128", Family::ClassicMcEliece, "6688128", 1044992, 13932, 208, 32, 32, kDraw},
    {"Classic-McEliece-6960119", Family::ClassicMcEliece, "6960119", 1047319, 13948, 194, 32, 32, kDraw},
    {"Classic-McEliece-8192128", Family::ClassicMcEliece, "8192128", 1357824, 14120, 208, 32, 32, kDraw},
    // Seed xi, and the signing randomness rnd.
    {"ML-DSA-44", Family::MlDsa, "ML-DSA-44", 1312, 2560, 2420, 0, 32, 32},
    {"ML-DSA-65", Family::MlDsa, "ML-DSA-65", 1952, 4032, 3309, 0, 32, 32},
    {"ML-DSA-87", Family::MlDsa, "ML-DSA-87", 2592, 4896, 4627, 0, 32, 32},
    {"SLH-DSA-SHA2-128f", Family::SlhDsa, "SLH-DSA-SHA2-128f", 32, 64, 17088, 0, 48, 16},
    {"SLH-DSA-SHA2-192f", Family::SlhDsa, "SLH-DSA-SHA2-192f", 48, 96, 35664, 0, 72, 24},
    {"SLH-DSA-SHA2-256f", Family::SlhDsa, "SLH-DSA-SHA2-256f", 64, 128, 49856, 0, 96, 32},
    {"SLH_DSA_PURE_SHA2_128F", Family::SlhDsa, "SLH-DSA-SHA2-128f", 32, 64, 17088, 0, 48, 16},
    {"SLH_DSA_PURE_SHA2_192F", Family::SlhDsa, "SLH-DSA-SHA2-192f", 48, 96, 35664, 0, 72, 24},
    {"SLH_DSA_PURE_SHA2_256F", Family::SlhDsa, "SLH-DSA-SHA2-256f", 64, 128, 49856, 0, 96, 32},
}};

}  // namespace

std::span<const Mechanism> mechanisms() noexcept { return kMechanisms; }

const Mechanism* find_mechanism(std::string_view name) noexcept {
  for (const Mechanism& m : kMechanisms)
    if (m.name == name) return &m;
  return nullptr;
}

std::size_t strength_index(std::int64_t strength) {
  if (strength < 0 || strength > 2) throw OutOfRangeError("strength index out of range");
  return static_cast<std::size_t>(strength);
}

}  // namespace internal

namespace {
// The names by strength come from the mechanism table, which lists each
// family from the lowest strength up; the SLH-DSA parameter sets go by two
// spellings, the three preferred ones first.
std::string nth(internal::Family family, std::size_t index) {
  for (const internal::Mechanism& m : internal::mechanisms())
    if (m.family == family && index-- == 0) return std::string(m.name);
  throw OutOfRangeError("strength index out of range");
}
}  // namespace

std::string frodo_alg(std::int64_t strength) { return nth(internal::Family::FrodoKem, internal::strength_index(strength)); }
std::string cmce_alg(std::int64_t strength) {
  return nth(internal::Family::ClassicMcEliece, internal::strength_index(strength));
}
std::string mlkem_alg(std::int64_t strength) { return nth(internal::Family::MlKem, internal::strength_index(strength)); }
std::string mldsa_alg(std::int64_t strength) { return nth(internal::Family::MlDsa, internal::strength_index(strength)); }

std::vector<std::string> slhdsa_candidates(std::int64_t strength) {
  const std::size_t i = internal::strength_index(strength);
  return {nth(internal::Family::SlhDsa, i), nth(internal::Family::SlhDsa, i + 3)};
}

KemSizes kem_sizes(std::string_view alg) {
  const internal::Mechanism* m = internal::find_mechanism(alg);
  if (m == nullptr || !m->is_kem())
    throw QuantumOperationError("Unknown KEM mechanism: " + std::string(alg));
  return {m->public_key, m->secret_key, m->output, m->shared_secret};
}

SigSizes sig_sizes(std::string_view alg) {
  const internal::Mechanism* m = internal::find_mechanism(alg);
  if (m == nullptr || m->is_kem())
    throw QuantumOperationError("Unknown signature mechanism: " + std::string(alg));
  return {m->public_key, m->secret_key, m->output};
}

}  // namespace morvex::quantum::oqs
