// Post-quantum signatures (ML-DSA, SLH-DSA) with headered keys:
// scheme id || strength byte || the primitive's key. Signatures are raw.
#include <stdexcept>

#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "morvex/quantum/oqs.hpp"

namespace morvex::quantum {

SigHeader _sig_strip(ByteView headered, std::string_view label) {
  if (headered.size() < 2) throw InvalidInputError("Invalid " + std::string(label) + " key: missing header");
  return {headered[0], headered[1], headered.subspan(2)};
}

std::string_view _sig_kind(SignatureAlgorithm alg) {
  return alg == SignatureAlgorithm::ML_DSA ? "mldsa" : "slhdsa";
}

KeyPair generate_signature_keypair(std::int64_t algorithm, std::int64_t strength) {
  const SignatureAlgorithm alg = to_signature_algorithm(algorithm);
  const QuantumStrength st = to_strength(strength);
  const std::string mechanism = oqs::sig_algorithm(_sig_kind(alg), static_cast<std::int64_t>(st));
  oqs::KeyPair kp = oqs::sig_generate_keypair(mechanism);
  const std::uint8_t header[2] = {static_cast<std::uint8_t>(alg), static_cast<std::uint8_t>(st)};
  KeyPair out;
  out.public_key.reserve(2 + kp.public_key.size());
  out.public_key.assign(header, header + 2);
  out.public_key.insert(out.public_key.end(), kp.public_key.begin(), kp.public_key.end());
  out.private_key.reserve(2 + kp.secret_key.size());
  out.private_key.assign(header, header + 2);
  out.private_key.insert(out.private_key.end(), kp.secret_key.begin(), kp.secret_key.end());
  return out;
}

Bytes sign(ByteView data, ByteView private_key) {
  const SigHeader h = _sig_strip(private_key, "signature private");
  SignatureAlgorithm alg;
  try {
    alg = to_signature_algorithm(h.scheme);
  } catch (const std::invalid_argument&) {
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
