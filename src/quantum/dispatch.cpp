// The dispatch by generation: one table of the message formats drives key
// generation, encryption and decryption; the two-byte key header.
#include <algorithm>
#include <stdexcept>

#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/by_number.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {
namespace {

[[noreturn]] void not_a_member(std::int64_t value, const char* enumeration) {
  throw InvalidArgumentError(std::to_string(value) + " is not a valid " + enumeration);
}

std::string unsupported(std::uint8_t gen, const char* what) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string msg = "Quantum generation 0x";
  msg += kHex[gen >> 4];
  msg += kHex[gen & 0x0f];
  msg += " is not supported for ";
  msg += what;
  return msg;
}

}  // namespace

namespace internal {

KeyPair with_header(std::uint8_t first, std::uint8_t second, ByteView public_key, ByteView secret_key) {
  KeyPair out;
  out.public_key.reserve(2 + public_key.size());
  out.public_key.push_back(first);
  out.public_key.push_back(second);
  out.public_key.insert(out.public_key.end(), public_key.begin(), public_key.end());
  out.private_key.reserve(2 + secret_key.size());
  out.private_key.push_back(first);
  out.private_key.push_back(second);
  out.private_key.insert(out.private_key.end(), secret_key.begin(), secret_key.end());
  return out;
}

}  // namespace internal

QuantumGeneration to_generation(std::int64_t value) {
  if (value < 1 || value > 8) not_a_member(value, "QuantumGeneration");
  return static_cast<QuantumGeneration>(value);
}

QuantumStrength to_strength(std::int64_t value) {
  if (value < 0 || value > 2) not_a_member(value, "QuantumStrength");
  return static_cast<QuantumStrength>(value);
}

SignatureAlgorithm to_signature_algorithm(std::int64_t value) {
  if (value < 1 || value > 2) not_a_member(value, "SignatureAlgorithm");
  return static_cast<SignatureAlgorithm>(value);
}

namespace {

// Key pairs of the formats whose keys are one KEM's keys behind the header.
template <std::uint8_t Byte, std::string (*Mechanism)(std::int64_t)>
KeyPair kem_keys(QuantumStrength strength) {
  const auto st = static_cast<std::int64_t>(strength);
  const oqs::KeyPair kp = oqs::generate_keypair(Mechanism(st));
  return internal::with_header(Byte, static_cast<std::uint8_t>(st), kp.public_key, kp.secret_key);
}

// Gen4 has one strength: its forms take none.
Encrypted gen4_encrypt(ByteView data, ByteView raw, std::int64_t) { return _gen4_encrypt(data, raw); }
SecureBytes gen4_decrypt(ByteView enc, ByteView raw, ByteView secret, std::int64_t) {
  return _gen4_decrypt(enc, raw, secret);
}

constexpr GenerationFormat kFormats[] = {
    {2, Kem::ClassicMcEliece, false, &kem_keys<2, &oqs::cmce_alg>, &_gen2_encrypt, &_gen2_decrypt,
     "Gen2: Classic McEliece, AES-256-CBC, HMAC-SHA256."},
    {4, Kem::FrodoKem, true, &kem_keys<4, &oqs::frodo_alg>, &gen4_encrypt, &gen4_decrypt,
     "Gen4: FrodoKEM-1344, HMAC-derived key, AES-256-GCM."},
    {5, Kem::ClassicMcEliece, false, &kem_keys<5, &oqs::cmce_alg>, &_gen5_encrypt, &_gen5_decrypt,
     "Gen5: Classic McEliece, HKDF-split keys, AES-256-CBC, HMAC-SHA256."},
    {6, Kem::FrodoKem, false, &kem_keys<6, &oqs::frodo_alg>, &_gen6_encrypt, &_gen6_decrypt,
     "Gen6: FrodoKEM, HKDF, AES-256-GCM."},
    {7, Kem::RsaFrodoKem, false, &_gen7_generate, &_gen7_encrypt, &_gen7_decrypt,
     "Gen7: RSA-4096 OAEP and FrodoKEM, HKDF, AES-256-GCM."},
    {8, Kem::X25519MlKem, false, &_gen8_generate, &_gen8_encrypt, &_gen8_decrypt,
     "Gen8: X25519 and ML-KEM, HKDF, AES-256-GCM."},
};

// The format whose keys a generation makes: GEN1 makes GEN2 keys, GEN3 makes
// GEN6 keys, every other generation its own.
constexpr std::uint8_t kKeysOf[] = {0, 2, 2, 6, 4, 5, 6, 7, 8};

const GenerationFormat* format_of(std::uint8_t byte) noexcept {
  for (const GenerationFormat& f : kFormats)
    if (f.byte == byte) return &f;
  return nullptr;
}

// The first check of encrypt().
void check_public_key(ByteView public_key) {
  if (public_key.size() < 3 ||
      std::all_of(public_key.begin() + 2, public_key.end(), [](std::uint8_t b) { return b == 0; }))
    throw InvalidInputError("Invalid or empty quantum public key");
}

}  // namespace

std::span<const GenerationFormat> generation_formats() noexcept { return kFormats; }

KeyPair generate_keypair(QuantumGeneration generation, QuantumStrength strength) {
  // Validated again: a C++ caller may cast any number to the enumeration.
  const QuantumGeneration gen = to_generation(static_cast<std::int64_t>(generation));
  const QuantumStrength st = to_strength(static_cast<std::int64_t>(strength));
  const GenerationFormat& f = *format_of(kKeysOf[static_cast<std::size_t>(gen)]);
  return f.generate(f.fixed_strength ? QuantumStrength::HIGHEST : st);
}

KeyPair _generate_keypair(std::int64_t generation, std::int64_t strength) {
  const QuantumGeneration gen = to_generation(generation);
  return generate_keypair(gen, to_strength(strength));
}

Encrypted encrypt(std::string_view message, ByteView public_key) {
  check_public_key(public_key);
  const ByteView data = encoding::text_bytes(message);
  const GenerationFormat* f = format_of(public_key[0]);
  if (f == nullptr) throw QuantumOperationError(unsupported(public_key[0], "encryption"));
  return f->encrypt(data, public_key.subspan(2), public_key[1]);
}

SecureString decrypt(ByteView encrypted_message, ByteView private_key, ByteView secret) {
  if (private_key.size() < 3) throw InvalidInputError("Invalid quantum private key");
  if (secret.empty()) throw InvalidInputError("Encapsulated secret required for quantum decryption");
  const GenerationFormat* f = format_of(private_key[0]);
  if (f == nullptr) throw QuantumOperationError(unsupported(private_key[0], "decryption"));
  const SecureBytes data = f->decrypt(encrypted_message, private_key.subspan(2), secret, private_key[1]);
  try {
    encoding::validate_utf8(data);
  } catch (const Utf8Error&) {
    throw DecryptionError("Decrypted quantum data is not valid UTF-8", std::current_exception());
  }
  return to_string(data);
}

}  // namespace morvex::quantum
