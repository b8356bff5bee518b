// FrodoKEM-*-AES, ML-KEM and ML-DSA through liboqs, whose raw encodings are
// the ones the mechanism table names (the library is their reference).
#ifdef MORVEX_WITH_LIBOQS

#include <oqs/oqs.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/ossl.hpp"
#include "quantum/backend/families.hpp"
#include "quantum/backend/thread_randomness.hpp"

// liboqs signs with an ML-DSA secret key as it is given, while OpenSSL first
// checks it (s1 and s2 within [-eta, eta], t0 and tr those that the key's own
// public part gives) and refuses a corrupt one. The same check comes from the
// code liboqs signs with: mldsa-native's pk_from_sk, which liboqs builds (in
// the object of the signing code) but does not declare. Declared weak here:
// a liboqs without it leaves ML-DSA to OpenSSL, so both refuse the same keys.
extern "C" {
#define MORVEX_MLDSA_KEY_CHECK(n)                                                                                 \
  int PQCP_MLDSA_NATIVE_MLDSA##n##_C_pk_from_sk(std::uint8_t*, const std::uint8_t*) __attribute__((weak));      \
  int PQCP_MLDSA_NATIVE_MLDSA##n##_X86_64_pk_from_sk(std::uint8_t*, const std::uint8_t*) __attribute__((weak));
MORVEX_MLDSA_KEY_CHECK(44)
MORVEX_MLDSA_KEY_CHECK(65)
MORVEX_MLDSA_KEY_CHECK(87)
#undef MORVEX_MLDSA_KEY_CHECK
}

namespace morvex::quantum::oqs::internal::liboqs_pq {
namespace {

using KeyCheck = int (*)(std::uint8_t*, const std::uint8_t*);

// The check for an ML-DSA parameter set, on the code path liboqs itself
// takes on this processor; nullptr when this liboqs lacks it.
KeyCheck mldsa_key_check(const Mechanism& m) {
  struct Row {
    std::string_view name;
    KeyCheck portable, x86_64;
  };
  const Row rows[] = {
      {"ML-DSA-44", PQCP_MLDSA_NATIVE_MLDSA44_C_pk_from_sk, PQCP_MLDSA_NATIVE_MLDSA44_X86_64_pk_from_sk},
      {"ML-DSA-65", PQCP_MLDSA_NATIVE_MLDSA65_C_pk_from_sk, PQCP_MLDSA_NATIVE_MLDSA65_X86_64_pk_from_sk},
      {"ML-DSA-87", PQCP_MLDSA_NATIVE_MLDSA87_C_pk_from_sk, PQCP_MLDSA_NATIVE_MLDSA87_X86_64_pk_from_sk},
  };
  const bool avx2 = OQS_CPU_has_extension(OQS_CPU_EXT_AVX2) != 0 && OQS_CPU_has_extension(OQS_CPU_EXT_BMI2) != 0 &&
                    OQS_CPU_has_extension(OQS_CPU_EXT_POPCNT) != 0;
  for (const Row& r : rows)
    if (r.name == m.name) return avx2 && r.x86_64 != nullptr ? r.x86_64 : r.portable;
  return nullptr;
}

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const noexcept { Free(p); }
};
using Kem = std::unique_ptr<OQS_KEM, Deleter<OQS_KEM, OQS_KEM_free>>;
using Sig = std::unique_ptr<OQS_SIG, Deleter<OQS_SIG, OQS_SIG_free>>;

// This thread's randomness for liboqs, one draw per request of the library
// (which is how its published answers were made); see thread_randomness.hpp.
thread_local ThreadRandomness tls_random;

void draw_random(std::uint8_t* out, std::size_t n) noexcept { tls_random.draw(out, n); }

// liboqs keeps one process-wide pointer to its random source. It is set here
// once, inside the initialisation of a function-local static, and every path
// into liboqs (the checks of the loader and each operation below) passes
// through that initialisation first: C++ runs it exactly once and makes every
// other thread wait for it, so no liboqs call can race with the write or see
// the library's default source. Nothing else in the process sets the pointer:
// a liboqs built by `make deps` is linked statically with its symbols kept
// private to morvex. (A shared system liboqs would be shared with other users
// in the process; they would then draw from the system source through this
// function, which is what liboqs's own default does too.)
void ensure_random_source() {
  static const bool installed = [] {
    OQS_randombytes_custom_algorithm(&draw_random);
    return true;
  }();
  (void)installed;
}

// Installs the source first (see above), then scopes this thread's draws.
RandomnessScope scoped_randomness(Entropy* entropy) {
  ensure_random_source();
  return RandomnessScope(tls_random, entropy);
}

Kem new_kem(const Mechanism& m) {
  ensure_random_source();
  Kem k(OQS_KEM_new(std::string(m.name).c_str()));
  if (!k) throw PrimitiveError("liboqs does not offer " + std::string(m.name));
  return k;
}

Sig new_sig(const Mechanism& m) {
  ensure_random_source();
  Sig s(OQS_SIG_new(std::string(m.name).c_str()));
  if (!s) throw PrimitiveError("liboqs does not offer " + std::string(m.name));
  return s;
}

// A non-null pointer for an empty message.
const std::uint8_t* data_of(ByteView v) {
  static const std::uint8_t none = 0;
  return v.empty() ? &none : v.data();
}

void expect_length(std::size_t got, std::size_t want, const char* what) {
  if (got != want) throw PrimitiveError(std::string("liboqs: ") + what + " has an unexpected length");
}

}  // namespace

bool offers(const Mechanism& m) {
  const std::string name(m.name);
  if (m.is_kem()) {
    if (OQS_KEM_alg_is_enabled(name.c_str()) == 0) return false;
    const Kem k = new_kem(m);
    return k->length_public_key == m.public_key && k->length_secret_key == m.secret_key &&
           k->length_ciphertext == m.output && k->length_shared_secret == m.shared_secret;
  }
  if (OQS_SIG_alg_is_enabled(name.c_str()) == 0 || mldsa_key_check(m) == nullptr) return false;
  const Sig s = new_sig(m);
  return s->length_public_key == m.public_key && s->length_secret_key == m.secret_key &&
         s->length_signature == m.output;
}

KeyPair kem_keypair(const Mechanism& m, Entropy* entropy) {
  const Kem k = new_kem(m);
  KeyPair kp;
  kp.public_key.resize(m.public_key);
  kp.secret_key.resize(m.secret_key);
  const RandomnessScope scope = scoped_randomness(entropy);
  if (OQS_KEM_keypair(k.get(), kp.public_key.data(), kp.secret_key.data()) != OQS_SUCCESS)
    throw PrimitiveError("key generation failed");
  scope.check();
  return kp;
}

Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy) {
  const Kem k = new_kem(m);
  expect_length(public_key.size(), m.public_key, "public key");
  Encapsulation out;
  out.ciphertext.resize(m.output);
  out.shared_secret.resize(m.shared_secret);
  const RandomnessScope scope = scoped_randomness(entropy);
  if (OQS_KEM_encaps(k.get(), out.ciphertext.data(), out.shared_secret.data(), public_key.data()) != OQS_SUCCESS)
    throw PrimitiveError("encapsulation failed");
  scope.check();
  return out;
}

SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext) {
  const Kem k = new_kem(m);
  expect_length(secret_key.size(), m.secret_key, "secret key");
  expect_length(ciphertext.size(), m.output, "ciphertext");
  SecureBytes ss(m.shared_secret);
  // An altered capsule gives the implicit-rejection secret, not an error.
  if (OQS_KEM_decaps(k.get(), ss.data(), ciphertext.data(), secret_key.data()) != OQS_SUCCESS)
    throw PrimitiveError("decapsulation failed");
  return ss;
}

KeyPair sig_keypair(const Mechanism& m, Entropy* entropy) {
  const Sig s = new_sig(m);
  KeyPair kp;
  kp.public_key.resize(m.public_key);
  kp.secret_key.resize(m.secret_key);
  const RandomnessScope scope = scoped_randomness(entropy);
  if (OQS_SIG_keypair(s.get(), kp.public_key.data(), kp.secret_key.data()) != OQS_SUCCESS)
    throw PrimitiveError("key generation failed");
  scope.check();
  return kp;
}

Bytes sig_sign(const Mechanism& m, ByteView secret_key, ByteView message, Entropy* entropy) {
  const Sig s = new_sig(m);
  expect_length(secret_key.size(), m.secret_key, "secret key");
  Bytes public_key(m.public_key);
  if (mldsa_key_check(m)(public_key.data(), secret_key.data()) != 0) throw PrimitiveError("invalid secret key");
  Bytes out(m.output);
  std::size_t len = out.size();
  const RandomnessScope scope = scoped_randomness(entropy);
  // Pure signing with an empty context, the same signature as OpenSSL's.
  if (OQS_SIG_sign(s.get(), out.data(), &len, data_of(message), message.size(), secret_key.data()) != OQS_SUCCESS)
    throw PrimitiveError("signing failed");
  scope.check();
  expect_length(len, m.output, "signature");
  return out;
}

bool sig_verify(const Mechanism& m, ByteView public_key, ByteView message, ByteView signature) {
  const Sig s = new_sig(m);
  if (public_key.size() != m.public_key || signature.size() != m.output) return false;
  return OQS_SIG_verify(s.get(), data_of(message), message.size(), signature.data(), signature.size(),
                        public_key.data()) == OQS_SUCCESS;
}

}  // namespace morvex::quantum::oqs::internal::liboqs_pq

#endif  // MORVEX_WITH_LIBOQS
