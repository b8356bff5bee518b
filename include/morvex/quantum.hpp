// Post-quantum key encapsulation and signatures: generation-tagged keys,
// the message formats of each generation, and headered signature keys.
//
// Quantum key: generation byte || strength byte || raw key. encrypt() returns
// (encapsulated secret, encrypted message); decrypt() takes the message first.
// Signature key: scheme id || strength byte || the primitive's key.
//
// Thread safety: every function may run on any number of threads at once. The
// post-quantum backend is looked up on the first call that needs it and kept
// from then on; that first lookup is safe when threads race to make it.
// Ownership: KeyPair, Encrypted and the results are values the caller owns
// (private keys and plaintexts in wiping owners); no key is kept beyond a
// call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::quantum {

// ---------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------

enum class QuantumGeneration : std::uint8_t {
  GEN1 = 1,  // makes GEN2 keys
  GEN2 = 2,  // Classic McEliece, AES-256-CBC + HMAC-SHA256
  GEN3 = 3,  // makes GEN6 keys
  GEN4 = 4,  // FrodoKEM-1344, HMAC-derived AES-256-GCM key
  GEN5 = 5,  // Classic McEliece, HKDF-split AES and MAC keys
  GEN6 = 6,  // FrodoKEM, HKDF, AES-256-GCM
  GEN7 = 7,  // hybrid RSA-4096 + FrodoKEM
  GEN8 = 8,  // hybrid X25519 + ML-KEM (default)
};

enum class QuantumStrength : std::uint8_t { STANDARD = 0, MEDIUM = 1, HIGHEST = 2 };

enum class SignatureAlgorithm : std::uint8_t { ML_DSA = 1, SLH_DSA = 2 };

// The member of the given integer value; InvalidArgumentError
// "<value> is not a valid <Enumeration>" when no member has it. An integer
// read from outside becomes a member here before any operation takes it.
QuantumGeneration to_generation(std::int64_t value);
QuantumStrength to_strength(std::int64_t value);
SignatureAlgorithm to_signature_algorithm(std::int64_t value);

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

// Both keys carry the same two header bytes.
struct KeyPair {
  Bytes public_key;
  SecureBytes private_key;
};

// The encapsulated secret first, the encrypted message second.
struct Encrypted {
  Bytes secret;
  Bytes message;
};

// GEN1 makes GEN2 keys, GEN3 makes GEN6 keys, GEN4 always uses the highest
// strength. Throws InvalidArgumentError for a number cast to an enumeration
// that names no member (before anything else), QuantumOperationError when the
// backend is missing or fails.
KeyPair generate_keypair(QuantumGeneration generation = QuantumGeneration::GEN8,
                         QuantumStrength strength = QuantumStrength::HIGHEST);

// Throws InvalidInputError "Invalid or empty quantum public key" for a key
// under 3 bytes or an all-zero raw key; QuantumOperationError for a generation
// byte other than 2, 4, 5, 6, 7, 8; then the generation's own failures:
// InvalidInputError for a malformed Gen7 or Gen8 key, OutOfRangeError for a
// strength byte outside 0..2, QuantumOperationError when the backend is
// missing or fails.
Encrypted encrypt(std::string_view message, ByteView public_key);

// Throws InvalidInputError for a private key under 3 bytes or an empty
// secret; QuantumOperationError for an unknown generation byte; then the
// generation's own failures: InvalidInputError for a message, secret or key
// shorter than its format, OutOfRangeError for a strength byte outside
// 0..2, QuantumOperationError when the backend is missing or fails,
// DecryptionError for a wrong key or altered data; last DecryptionError when
// the plaintext is not UTF-8. The text comes back in a wiping owner.
SecureString decrypt(ByteView encrypted_message, ByteView private_key, ByteView secret);

// Throws InvalidArgumentError for a number cast to an enumeration that
// names no member, QuantumOperationError when the backend is missing or fails.
KeyPair generate_signature_keypair(SignatureAlgorithm algorithm = SignatureAlgorithm::ML_DSA,
                                   QuantumStrength strength = QuantumStrength::HIGHEST);
// The raw signature. Throws InvalidInputError for a key without header or
// with an unknown scheme id, OutOfRangeError for a strength byte outside
// 0..2, QuantumOperationError when signing fails or the backend is missing.
Bytes sign(ByteView data, ByteView private_key);
// False for a bad signature or a key with no valid header; throws only
// QuantumOperationError when the backend is missing and OutOfRangeError
// for a strength byte outside 0..2.
bool verify(ByteView data, ByteView signature, ByteView public_key);

}  // namespace morvex::quantum
#pragma GCC visibility pop
