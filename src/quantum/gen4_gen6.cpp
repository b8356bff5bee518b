// Gen4 and Gen6: FrodoKEM shared secret -> AES-256-GCM key.
//
// Gen4 message: nonce (12) || ct (n) || tag (16); key = HMAC-SHA256(ss, 0x01).
// Gen6 message: salt (16) || nonce (12) || ct (n) || tag (16);
//               key = HKDF-SHA256(ss, salt, "Gen6-Frodo-GCM", 32).
#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {
namespace {

constexpr std::size_t kGen4Min = aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;       // 28
constexpr std::size_t kGen6Salt = 16;
constexpr std::size_t kGen6Min = kGen6Salt + aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;  // 44

}  // namespace

SecretArray<32> _gen4_key(ByteView ss) {
  static constexpr std::uint8_t kOne = 0x01;
  SecretArray<32> key;
  internal::hmac256_parts(ss, {ByteView(&kOne, 1)}, key.data());
  return key;
}

Encrypted _gen4_encrypt(ByteView data, ByteView raw_pk) {
  oqs::Encapsulation kem = oqs::encapsulate(oqs::frodo_alg(2), raw_pk);
  const SecretArray<32> key = _gen4_key(kem.shared_secret);
  Encrypted out{std::move(kem.ciphertext), Bytes(kGen4Min + data.size())};
  std::uint8_t* m = out.message.data();
  detail::random_bytes(m, aes::GCM_NONCE_SIZE);
  internal::gcm_seal_into(key.span(), m, data, m + aes::GCM_NONCE_SIZE);
  return out;
}

SecureBytes _gen4_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule) {
  if (enc.size() < kGen4Min) throw InvalidInputError("Invalid Gen4 encrypted message");
  const SecureBytes ss = oqs::decapsulate(oqs::frodo_alg(2), raw_sk, capsule);
  const SecretArray<32> key = _gen4_key(ss);
  return internal::gcm_open_body(key.span(), enc);
}

Encrypted _gen6_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength) {
  oqs::Encapsulation kem = oqs::encapsulate(oqs::frodo_alg(strength), raw_pk);
  Encrypted out{std::move(kem.ciphertext), Bytes(kGen6Min + data.size())};
  internal::hkdf_gcm_seal_into(kem.shared_secret, kGen6Salt, internal::view(kGen6Info), data, out.message.data());
  return out;
}

SecureBytes _gen6_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength) {
  if (enc.size() < kGen6Min) throw InvalidInputError("Invalid Gen6 encrypted message");
  const SecureBytes ss = oqs::decapsulate(oqs::frodo_alg(strength), raw_sk, capsule);
  return internal::hkdf_gcm_open(ss, kGen6Salt, internal::view(kGen6Info), enc);
}

}  // namespace morvex::quantum
