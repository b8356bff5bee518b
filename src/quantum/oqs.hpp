// The post-quantum primitive adapter: mechanisms driven by their liboqs names
// (liboqs, when built in, for FrodoKEM, ML-KEM and ML-DSA, else Botan 3 and
// OpenSSL 3.5; OpenSSL for SLH-DSA; libmceliece for Classic McEliece), with
// byte-identical keys, capsules and signatures. Not installed: the format
// code, the Python binding's private adapter module and the tests use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvex/bytes.hpp"

namespace morvex::quantum::oqs {

// Key pairs come public key first, secret key second.
struct KeyPair {
  Bytes public_key;
  SecureBytes secret_key;
};

// The capsule that travels to the recipient first, the shared secret second.
struct Encapsulation {
  Bytes ciphertext;
  SecureBytes shared_secret;
};

// Lengths of a KEM mechanism's objects, in bytes.
struct KemSizes {
  std::size_t public_key, secret_key, ciphertext, shared_secret;
};

// The loader: returns when the backend is available, else throws
// QuantumOperationError with the loader's message (nothing is remembered
// about a failure).
void _oqs();

// Each throws QuantumOperationError "<prefix><alg>): <reason>" on failure,
// after _oqs(); lengths that do not suit the mechanism are refused before the
// library sees them.
KeyPair generate_keypair(std::string_view alg);
Encapsulation encapsulate(std::string_view alg, ByteView public_key);
SecureBytes decapsulate(std::string_view alg, ByteView secret_key, ByteView ciphertext);
KeyPair sig_generate_keypair(std::string_view alg);
Bytes sig_sign(std::string_view alg, ByteView secret_key, ByteView message);
// False for any failure inside the guard; throws only the loader's error.
bool sig_verify(std::string_view alg, ByteView public_key, ByteView message, ByteView signature);
// Names of the enabled signature mechanisms (no guard of its own).
std::vector<std::string> enabled_sig_mechanisms();

// Mechanism sizes; throws QuantumOperationError for an unknown name.
KemSizes kem_sizes(std::string_view alg);

// Lengths of a signature mechanism's objects, in bytes (every mechanism here
// makes signatures of one fixed length).
struct SigSizes {
  std::size_t public_key, secret_key, signature;
};
// Throws QuantumOperationError for an unknown name (either SLH-DSA spelling
// is known).
SigSizes sig_sizes(std::string_view alg);

// Name tables, indexed by strength 0..2; OutOfRangeError outside.
std::string frodo_alg(std::int64_t strength);
std::string cmce_alg(std::int64_t strength);
std::string mlkem_alg(std::int64_t strength);
std::string sig_algorithm(std::string_view kind, std::int64_t strength);
// The ML-DSA name table, and the SLH-DSA candidate names in order of
// preference (no library query).
std::string mldsa_alg(std::int64_t strength);
std::vector<std::string> slhdsa_candidates(std::int64_t strength);

namespace testing {
// Test seam: marks the backend absent (false) or restores the build's state.
void set_backend_available(bool available);
// Test seam: replaces the answer of enabled_sig_mechanisms() (std::nullopt
// restores the backend's own answer).
void set_enabled_sig_mechanisms(std::optional<std::vector<std::string>> names);
}  // namespace testing

}  // namespace morvex::quantum::oqs
