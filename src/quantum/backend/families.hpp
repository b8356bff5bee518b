// The mechanism code of each library, one set of functions per library.
#pragma once

#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs::internal {

// OpenSSL: ML-KEM, ML-DSA and SLH-DSA.
namespace ossl_pq {
KeyPair kem_keypair(const Mechanism& m, Entropy* entropy);
Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy);
SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext);
KeyPair sig_keypair(const Mechanism& m, Entropy* entropy);
Bytes sig_sign(const Mechanism& m, ByteView secret_key, ByteView message, Entropy* entropy);
bool sig_verify(const Mechanism& m, ByteView public_key, ByteView message, ByteView signature);
// Throws PrimitiveError unless OpenSSL offers the mechanism.
void check_available(const Mechanism& m);
}  // namespace ossl_pq

// Botan: FrodoKEM.
namespace botan_pq {
KeyPair kem_keypair(const Mechanism& m, Entropy* entropy);
Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy);
SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext);
void check_available(const Mechanism& m);
}  // namespace botan_pq

#ifdef MORVEX_WITH_LIBOQS
// liboqs: FrodoKEM-*-AES, ML-KEM and ML-DSA.
namespace liboqs_pq {
KeyPair kem_keypair(const Mechanism& m, Entropy* entropy);
Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key, Entropy* entropy);
SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key, ByteView ciphertext);
KeyPair sig_keypair(const Mechanism& m, Entropy* entropy);
Bytes sig_sign(const Mechanism& m, ByteView secret_key, ByteView message, Entropy* entropy);
bool sig_verify(const Mechanism& m, ByteView public_key, ByteView message, ByteView signature);
// Whether this liboqs has the mechanism enabled, with the table's sizes.
bool offers(const Mechanism& m);
}  // namespace liboqs_pq
#endif

}  // namespace morvex::quantum::oqs::internal
