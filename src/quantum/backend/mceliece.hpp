// Classic McEliece through libmceliece.
#pragma once

#include <string>

#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs::internal::mceliece_pq {

KeyPair kem_keypair(const Mechanism& m, Entropy* entropy);
Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy);
SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext);
// Throws PrimitiveError unless the library offers the mechanism with the
// table's sizes.
void check_available(const Mechanism& m);

// How many implementations of a parameter set this processor can run (AVX2,
// portable), and the name of each.
long long implementations(const Mechanism& m);
std::string implementation_name(const Mechanism& m, long long index);

// Runs this thread's Classic McEliece calls on one implementation for the
// scope's lifetime (tests: both code paths give the same bytes).
class ForcedImplementation {
 public:
  explicit ForcedImplementation(long long index);
  ~ForcedImplementation();
  ForcedImplementation(const ForcedImplementation&) = delete;
  ForcedImplementation& operator=(const ForcedImplementation&) = delete;

 private:
  long long saved_;
};

}  // namespace morvex::quantum::oqs::internal::mceliece_pq
