// The message formats of the post-quantum generations and their building
// blocks: the format table that the dispatch of morvex/quantum.hpp reads, each
// generation's two directions over raw keys (without the two header bytes),
// the labels and sizes they use, and the symmetric steps they are made of.
// Not installed: the Python binding, the tests and the fuzz targets reach
// these; a C++ program uses the operations of morvex/quantum.hpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "morvex/aes.hpp"
#include "morvex/bytes.hpp"
#include "morvex/quantum.hpp"

namespace morvex::quantum {

// The message formats, one row per generation byte that keys carry: the KEM
// behind it, how its keys are made, and its two directions (raw keys without
// the header, the strength byte as an integer).
enum class Kem : std::uint8_t { ClassicMcEliece, FrodoKem, RsaFrodoKem, X25519MlKem };
struct GenerationFormat {
  std::uint8_t byte;
  Kem kem;
  bool fixed_strength;  // always the highest strength (Gen4)
  KeyPair (*generate)(QuantumStrength strength);
  Encrypted (*encrypt)(ByteView data, ByteView raw_public_key, std::int64_t strength);
  SecureBytes (*decrypt)(ByteView message, ByteView raw_private_key, ByteView secret, std::int64_t strength);
  const char* summary;
};
std::span<const GenerationFormat> generation_formats() noexcept;

// ---------------------------------------------------------------------------
// Constants and building blocks of the formats
// ---------------------------------------------------------------------------

inline constexpr std::string_view kGen5Info = "Gen5-CMCE-HMAC";
inline constexpr std::string_view kGen6Info = "Gen6-Frodo-GCM";
inline constexpr std::string_view kGen7Info = "Gen7-Hybrid-RSA-Frodo";
inline constexpr std::string_view kGen8Info = "Gen8-Hybrid-X25519-MLKEM";
// DER AlgorithmIdentifier of rsaEncryption with NULL parameters.
inline constexpr std::array<std::uint8_t, 15> kRsaAlgId = {
    0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};

inline constexpr std::size_t kCbcIvSize = 16;
inline constexpr std::size_t kMacSize = 32;

// HKDF-SHA256 (extract and expand). Primitive failures pass as PrimitiveError.
SecureBytes _hkdf(ByteView ikm, ByteView salt, ByteView info, std::size_t length);

struct Sealed {
  Bytes ciphertext;
  std::array<std::uint8_t, aes::GCM_TAG_SIZE> tag;
};
// AES-GCM (key of 16, 24 or 32 bytes), no associated data.
Sealed _gcm_seal(ByteView key, ByteView nonce, ByteView data);
// DecryptionError "Quantum AES-GCM decryption failed (wrong key or tampered
// data)" for any failure, the primitive's failure as cause.
SecureBytes _gcm_open(ByteView key, ByteView nonce, ByteView ciphertext, ByteView tag);

// AES-CBC with PKCS#7 (16-byte blocks); the data comes first.
Bytes _cbc_encrypt(ByteView data, ByteView key, ByteView iv);
// InvalidArgumentError for a ciphertext that is not whole blocks; DecryptionError
// "Quantum AES-CBC unpadding failed" for bad padding.
SecureBytes _cbc_decrypt(ByteView ciphertext, ByteView key, ByteView iv);

std::array<std::uint8_t, kMacSize> _hmac256(ByteView key, ByteView data);

// Gen4 and Gen6 (FrodoKEM, AES-256-GCM).
SecretArray<32> _gen4_key(ByteView ss);
Encrypted _gen4_encrypt(ByteView data, ByteView raw_pk);
SecureBytes _gen4_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule);
Encrypted _gen6_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength);
SecureBytes _gen6_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength);

// Gen2 and Gen5 (Classic McEliece, AES-256-CBC, HMAC-SHA256).
Encrypted _gen2_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength);
SecureBytes _gen2_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength);
Encrypted _gen5_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength);
SecureBytes _gen5_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength);

// Gen7 (RSA-4096 OAEP-SHA256 + FrodoKEM).
KeyPair _gen7_generate(QuantumStrength strength);
Encrypted _gen7_encrypt(ByteView data, ByteView raw, std::int64_t strength);
SecureBytes _gen7_decrypt(ByteView enc, ByteView raw, ByteView secret, std::int64_t strength);
// 32 bytes: session_key[i] ^ frodo_ss[i mod |frodo_ss|]. InvalidArgumentError
// when the session key is under 32 bytes or the FrodoKEM secret is empty.
SecretArray<32> _xor_mix(ByteView session_key, ByteView frodo_ss);
// DER definite length of n.
Bytes _der_len(std::uint64_t n);
// SubjectPublicKeyInfo (rsaEncryption) around a PKCS#1 RSAPublicKey.
Bytes _pkcs1_to_spki(ByteView pkcs1);

// Gen8 (X25519 + ML-KEM).
struct X25519Raw {
  std::array<std::uint8_t, 32> public_key;
  SecretArray<32> private_key;
};
// The raw public and private halves of the X25519 private key given raw
// (InvalidInputError when it is not 32 bytes); see also _gen8_generate.
X25519Raw _x25519_raw(ByteView private_key);
KeyPair _gen8_generate(QuantumStrength strength);
Encrypted _gen8_encrypt(ByteView data, ByteView raw, std::int64_t strength);
SecureBytes _gen8_decrypt(ByteView enc, ByteView raw, ByteView secret, std::int64_t strength);

// Signature keys.
struct SigHeader {
  std::uint8_t scheme;
  std::uint8_t strength;
  ByteView raw;
};
// InvalidInputError "Invalid <label> key: missing header" under 2 bytes.
SigHeader _sig_strip(ByteView headered, std::string_view label);
// "mldsa" for ML_DSA, "slhdsa" for anything else.
std::string_view _sig_kind(SignatureAlgorithm alg);
std::string_view _sig_kind(std::int64_t alg);

}  // namespace morvex::quantum
