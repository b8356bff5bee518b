// The adapter's operations: loader first, then a guarded call into the
// backend that turns every failure into QuantumOperationError with the
// operation's prefix and the mechanism name. Lengths are checked here, so the
// libraries only ever see objects of their mechanism's exact sizes.
#include <algorithm>
#include <mutex>
#include <string>

#include "morvex/errors.hpp"
#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs {
namespace {

using internal::Mechanism;

constexpr const char* kKemKeygen = "KEM key generation failed (";
constexpr const char* kKemEncaps = "KEM encapsulation failed (";
constexpr const char* kKemDecaps = "KEM decapsulation failed (";
constexpr const char* kSigKeygen = "Signature key generation failed (";
constexpr const char* kSign = "Signing failed (";

// Runs `f` and wraps whatever it throws; the cause is the lower-level failure
// (a library's own exception is carried as PrimitiveError with its text).
template <class F>
auto guarded(const char* prefix, std::string_view alg, F&& f) -> decltype(f()) {
  std::string text;
  std::exception_ptr cause;
  try {
    return f();
  } catch (const PrimitiveError& e) {
    text = e.what();
    cause = std::current_exception();
  } catch (const std::exception& e) {
    text = e.what();
    cause = std::make_exception_ptr(PrimitiveError(text));
  }
  throw QuantumOperationError(std::string(prefix) + std::string(alg) + "): " + text, cause);
}

const Mechanism& kem(std::string_view alg) {
  const Mechanism* m = internal::find_mechanism(alg);
  if (m == nullptr || !m->is_kem()) throw PrimitiveError("KEM mechanism not supported");
  return *m;
}

const Mechanism& sig(std::string_view alg) {
  const Mechanism* m = internal::find_mechanism(alg);
  if (m == nullptr || m->is_kem()) throw PrimitiveError("signature mechanism not supported");
  return *m;
}

void check_length(const char* what, std::size_t got, std::size_t want) {
  if (got != want)
    throw PrimitiveError(std::string(what) + " must be " + std::to_string(want) + " bytes, not " +
                         std::to_string(got));
}

std::mutex g_enabled_mutex;
std::optional<std::vector<std::string>> g_enabled_override;

}  // namespace

KeyPair generate_keypair(std::string_view alg) {
  const internal::Backend& b = internal::backend();
  return guarded(kKemKeygen, alg, [&] { return b.kem_keypair(kem(alg), nullptr); });
}

Encapsulation encapsulate(std::string_view alg, ByteView public_key) {
  const internal::Backend& b = internal::backend();
  return guarded(kKemEncaps, alg, [&] {
    const Mechanism& m = kem(alg);
    check_length("public key", public_key.size(), m.public_key);
    return b.kem_encapsulate(m, public_key, nullptr);
  });
}

SecureBytes decapsulate(std::string_view alg, ByteView secret_key, ByteView ciphertext) {
  const internal::Backend& b = internal::backend();
  return guarded(kKemDecaps, alg, [&] {
    const Mechanism& m = kem(alg);
    check_length("secret key", secret_key.size(), m.secret_key);
    check_length("ciphertext", ciphertext.size(), m.output);
    return b.kem_decapsulate(m, secret_key, ciphertext);
  });
}

KeyPair sig_generate_keypair(std::string_view alg) {
  const internal::Backend& b = internal::backend();
  return guarded(kSigKeygen, alg, [&] { return b.sig_keypair(sig(alg), nullptr); });
}

Bytes sig_sign(std::string_view alg, ByteView secret_key, ByteView message) {
  const internal::Backend& b = internal::backend();
  return guarded(kSign, alg, [&] {
    const Mechanism& m = sig(alg);
    check_length("secret key", secret_key.size(), m.secret_key);
    return b.sig_sign(m, secret_key, message, nullptr);
  });
}

bool sig_verify(std::string_view alg, ByteView public_key, ByteView message, ByteView signature) {
  const internal::Backend& b = internal::backend();
  try {
    const Mechanism* m = internal::find_mechanism(alg);
    if (m == nullptr || m->is_kem()) return false;
    if (public_key.size() != m->public_key || signature.size() != m->output) return false;
    return b.sig_verify(*m, public_key, message, signature);
  } catch (...) {
    return false;
  }
}

std::vector<std::string> enabled_sig_mechanisms() {
  (void)internal::backend();
  {
    std::lock_guard lock(g_enabled_mutex);
    if (g_enabled_override) return *g_enabled_override;
  }
  std::vector<std::string> names;
  for (const Mechanism& m : internal::mechanisms())
    if (!m.is_kem()) names.emplace_back(m.name);
  return names;
}

std::string sig_algorithm(std::string_view kind, std::int64_t strength) {
  if (kind == "mldsa") return mldsa_alg(strength);
  // Asking the backend loads it first.
  const std::vector<std::string> enabled = enabled_sig_mechanisms();
  const std::vector<std::string> candidates = slhdsa_candidates(strength);
  for (const std::string& c : candidates)
    if (std::find(enabled.begin(), enabled.end(), c) != enabled.end()) return c;
  std::string tried = "[";
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (i != 0) tried += ", ";
    tried += "'" + candidates[i] + "'";
  }
  tried += "]";
  throw QuantumOperationError("No SLH-DSA mechanism available; tried " + tried);
}

namespace testing {
void set_enabled_sig_mechanisms(std::optional<std::vector<std::string>> names) {
  std::lock_guard lock(g_enabled_mutex);
  g_enabled_override = std::move(names);
}
}  // namespace testing

}  // namespace morvex::quantum::oqs
