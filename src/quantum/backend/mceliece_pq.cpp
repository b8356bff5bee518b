// Classic McEliece through libmceliece (the non-"f" parameter sets, whose
// keys, capsules and shared secrets are those of the reference code). The
// library picks its AVX2 or its portable code at run time.
#include "quantum/backend/mceliece.hpp"

#include <mceliece.h>

#include <array>
#include <exception>
#include <string>

#include "common/ossl.hpp"
#include "quantum/backend/thread_randomness.hpp"

namespace morvex::quantum::oqs::internal::mceliece_pq {
namespace {

using Keypair = void (*)(unsigned char*, unsigned char*);
using Enc = int (*)(unsigned char*, unsigned char*, const unsigned char*);
using Dec = int (*)(unsigned char*, const unsigned char*, const unsigned char*);

struct ParameterSet {
  std::string_view impl;
  std::size_t public_key, secret_key, ciphertext;
  Keypair keypair;
  Enc enc;
  Dec dec;
  Keypair (*dispatch_keypair)(long long);
  Enc (*dispatch_enc)(long long);
  Dec (*dispatch_dec)(long long);
  long long (*numimpl)();
  const char* (*implementation)(long long);
};

#define MORVEX_MCELIECE_SET(n)                                                                         \
  ParameterSet {                                                                                       \
    #n, mceliece_kem_##n##_PUBLICKEYBYTES, mceliece_kem_##n##_SECRETKEYBYTES,                          \
        mceliece_kem_##n##_CIPHERTEXTBYTES, mceliece_kem_##n##_keypair, mceliece_kem_##n##_enc,        \
        mceliece_kem_##n##_dec, mceliece_dispatch_kem_##n##_keypair, mceliece_dispatch_kem_##n##_enc,  \
        mceliece_dispatch_kem_##n##_dec, mceliece_numimpl_kem_##n,                                      \
        mceliece_dispatch_kem_##n##_implementation                                                     \
  }

const std::array<ParameterSet, 3> kSets{MORVEX_MCELIECE_SET(6688128), MORVEX_MCELIECE_SET(6960119),
                                        MORVEX_MCELIECE_SET(8192128)};
#undef MORVEX_MCELIECE_SET

static_assert(mceliece_kem_6688128_BYTES == 32 && mceliece_kem_6960119_BYTES == 32 &&
              mceliece_kem_8192128_BYTES == 32);

const ParameterSet& set_of(const Mechanism& m) {
  for (const ParameterSet& s : kSets)
    if (s.impl == m.impl) return s;
  throw PrimitiveError("libmceliece does not offer " + std::string(m.name));
}

// This thread's randomness for libmceliece (see thread_randomness.hpp).
thread_local ThreadRandomness tls_random;
thread_local long long tls_forced = -1;

template <class Fn>
Fn pick(Fn automatic, Fn (*dispatch)(long long)) {
  return tls_forced < 0 ? automatic : dispatch(tls_forced);
}

void expect_length(std::size_t got, std::size_t want, const char* what) {
  if (got != want) throw PrimitiveError(std::string(what) + " has an unexpected length");
}

}  // namespace

void check_available(const Mechanism& m) {
  const ParameterSet& s = set_of(m);
  expect_length(s.public_key, m.public_key, "public key");
  expect_length(s.secret_key, m.secret_key, "secret key");
  expect_length(s.ciphertext, m.output, "ciphertext");
}

KeyPair kem_keypair(const Mechanism& m, Entropy* entropy) {
  const ParameterSet& s = set_of(m);
  KeyPair kp;
  kp.public_key.resize(s.public_key);
  kp.secret_key.resize(s.secret_key);
  const RandomnessScope scope(tls_random, entropy);
  pick(s.keypair, s.dispatch_keypair)(kp.public_key.data(), kp.secret_key.data());
  scope.check();
  return kp;
}

Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy) {
  const ParameterSet& s = set_of(m);
  expect_length(public_key.size(), s.public_key, "public key");
  Encapsulation out;
  out.ciphertext.resize(s.ciphertext);
  out.shared_secret.resize(m.shared_secret);
  const RandomnessScope scope(tls_random, entropy);
  if (pick(s.enc, s.dispatch_enc)(out.ciphertext.data(), out.shared_secret.data(), public_key.data()) != 0)
    throw PrimitiveError("encapsulation failed");
  scope.check();
  return out;
}

SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext) {
  const ParameterSet& s = set_of(m);
  expect_length(secret_key.size(), s.secret_key, "secret key");
  expect_length(ciphertext.size(), s.ciphertext, "ciphertext");
  SecureBytes ss(m.shared_secret);
  // A capsule that does not decode gives the implicit-rejection secret, so
  // the result code carries nothing to act on.
  (void)pick(s.dec, s.dispatch_dec)(ss.data(), ciphertext.data(), secret_key.data());
  return ss;
}

long long implementations(const Mechanism& m) { return set_of(m).numimpl(); }

std::string implementation_name(const Mechanism& m, long long index) {
  const char* name = set_of(m).implementation(index);
  return name != nullptr ? name : "";
}

ForcedImplementation::ForcedImplementation(long long index) : saved_(tls_forced) { tls_forced = index; }
ForcedImplementation::~ForcedImplementation() { tls_forced = saved_; }

}  // namespace morvex::quantum::oqs::internal::mceliece_pq

// The one source of randomness libmceliece asks for.
extern "C" void randombytes_internal_void_voidstar_longlong(void* out, long long n) {
  namespace mp = morvex::quantum::oqs::internal::mceliece_pq;
  if (n <= 0) return;
  mp::tls_random.draw(static_cast<std::uint8_t*>(out), static_cast<std::size_t>(n));
}
