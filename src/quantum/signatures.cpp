// Post-quantum signatures (ML-DSA, SLH-DSA) with headered keys:
// scheme id || strength byte || the primitive's key. Signatures are raw.
#include <stdexcept>

#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/by_number.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {

SigHeader _sig_strip(ByteView headered, std::string_view label) {
  if (headered.size() < 2) throw InvalidInputError("Invalid " + std::string(label) + " key: missing header");
  return {headered[0], headered[1], headered.subspan(2)};
}

std::string_view _sig_kind(SignatureAlgorithm alg) {
  return alg == SignatureAlgorithm::ML_DSA ? "mldsa" : "slhdsa";
}

std::string_view _sig_kind(std::int64_t alg) {
  return alg == static_cast<std::int64_t>(SignatureAlgorithm::ML_DSA) ? "mldsa" : "slhdsa";
}

KeyPair _generate_signature_keypair(std::int64_t algorithm, std::int64_t strength) {
  const SignatureAlgorithm alg = to_signature_algorithm(algorithm);
  return generate_signature_keypair(alg, to_strength(strength));
}

KeyPair generate_signature_keypair(SignatureAlgorithm algorithm, QuantumStrength strength) {
  // Validated again: a C++ caller may cast any number to the enumeration.
  const SignatureAlgorithm alg = to_signature_algorithm(static_cast<std::int64_t>(algorithm));
  const QuantumStrength st = to_strength(static_cast<std::int64_t>(strength));
  const std::string mechanism = oqs::sig_algorithm(_sig_kind(alg), static_cast<std::int64_t>(st));
  const oqs::KeyPair kp = oqs::sig_generate_keypair(mechanism);
  return internal::with_header(static_cast<std::uint8_t>(alg), static_cast<std::uint8_t>(st), kp.public_key,
                             kp.secret_key);
}

Bytes sign(ByteView data, ByteView private_key) {
  const SigHeader h = _sig_strip(private_key, "signature private");
  SignatureAlgorithm alg;
  try {
    alg = to_signature_algorithm(h.scheme);
  } catch (const InvalidArgumentError&) {
    throw InvalidInputError("Unsupported signature scheme id " + std::to_string(h.scheme),
                            std::current_exception());
  }
  const std::string mechanism = oqs::sig_algorithm(_sig_kind(alg), h.strength);
  return oqs::sig_sign(mechanism, h.raw, data);
}

bool verify(ByteView data, ByteView signature, ByteView public_key) {
  if (public_key.size() < 2) return false;
  const SigHeader h = _sig_strip(public_key, "signature public");
  if (h.scheme != 1 && h.scheme != 2) return false;
  const auto alg = static_cast<SignatureAlgorithm>(h.scheme);
  const std::string mechanism = oqs::sig_algorithm(_sig_kind(alg), h.strength);
  return oqs::sig_verify(mechanism, h.raw, data, signature);
}

}  // namespace morvex::quantum
