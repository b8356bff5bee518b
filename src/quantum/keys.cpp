// Quantum key generation, the two-byte key header and the dispatch of
// encrypt/decrypt by generation byte.
#include <algorithm>
#include <stdexcept>

#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "morvex/quantum/oqs.hpp"
#include "quantum/formats.hpp"

namespace morvex::quantum {
namespace {

[[noreturn]] void not_a_member(std::int64_t value, const char* enumeration) {
  throw std::invalid_argument(std::to_string(value) + " is not a valid " + enumeration);
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

namespace detail {

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

}  // namespace detail

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

KeyPair generate_keypair(std::int64_t generation, std::int64_t strength) {
  const QuantumGeneration gen = to_generation(generation);
  QuantumStrength st = to_strength(strength);
  std::uint8_t byte = 0;
  std::string mechanism;
  using G = QuantumGeneration;
  if (gen == G::GEN1 || gen == G::GEN2) {
    byte = 2;
    mechanism = oqs::cmce_alg(static_cast<std::int64_t>(st));
  } else if (gen == G::GEN5) {
    byte = 5;
    mechanism = oqs::cmce_alg(static_cast<std::int64_t>(st));
  } else if (gen == G::GEN3 || gen == G::GEN6) {
    byte = 6;
    mechanism = oqs::frodo_alg(static_cast<std::int64_t>(st));
  } else if (gen == G::GEN4) {
    byte = 4;
    st = QuantumStrength::HIGHEST;
    mechanism = oqs::frodo_alg(static_cast<std::int64_t>(st));
  } else if (gen == G::GEN7) {
    return _gen7_generate(st);
  } else {
    return _gen8_generate(st);
  }
  const oqs::KeyPair kp = oqs::generate_keypair(mechanism);
  return detail::with_header(byte, static_cast<std::uint8_t>(st), kp.public_key, kp.secret_key);
}

void _check_public_key(ByteView public_key) {
  if (public_key.size() < 3 ||
      std::all_of(public_key.begin() + 2, public_key.end(), [](std::uint8_t b) { return b == 0; }))
    throw InvalidInputError("Invalid or empty quantum public key");
}

Encrypted encrypt(std::string_view message, ByteView public_key) {
  _check_public_key(public_key);
  const std::uint8_t gen = public_key[0];
  const std::int64_t strength = public_key[1];
  const ByteView raw = public_key.subspan(2);
  const ByteView data = encoding::text_bytes(message);
  switch (gen) {
    case 4: return _gen4_encrypt(data, raw);
    case 6: return _gen6_encrypt(data, raw, strength);
    case 2: return _gen2_encrypt(data, raw, strength);
    case 5: return _gen5_encrypt(data, raw, strength);
    case 7: return _gen7_encrypt(data, raw, strength);
    case 8: return _gen8_encrypt(data, raw, strength);
    default: throw QuantumOperationError(unsupported(gen, "encryption"));
  }
}

std::string decrypt(ByteView encrypted_message, ByteView private_key, ByteView secret) {
  if (private_key.size() < 3) throw InvalidInputError("Invalid quantum private key");
  if (secret.empty()) throw InvalidInputError("Encapsulated secret required for quantum decryption");
  const std::uint8_t gen = private_key[0];
  const std::int64_t strength = private_key[1];
  const ByteView raw = private_key.subspan(2);
  Bytes data;
  switch (gen) {
    case 4: data = _gen4_decrypt(encrypted_message, raw, secret); break;
    case 6: data = _gen6_decrypt(encrypted_message, raw, secret, strength); break;
    case 2: data = _gen2_decrypt(encrypted_message, raw, secret, strength); break;
    case 5: data = _gen5_decrypt(encrypted_message, raw, secret, strength); break;
    case 7: data = _gen7_decrypt(encrypted_message, raw, secret, strength); break;
    case 8: data = _gen8_decrypt(encrypted_message, raw, secret, strength); break;
    default: throw QuantumOperationError(unsupported(gen, "decryption"));
  }
  try {
    encoding::validate_utf8(data);
  } catch (const Utf8Error&) {
    secure_wipe(data.data(), data.size());
    throw DecryptionError("Decrypted quantum data is not valid UTF-8", std::current_exception());
  }
  std::string text(reinterpret_cast<const char*>(data.data()), data.size());
  secure_wipe(data.data(), data.size());
  return text;
}

}  // namespace morvex::quantum
