// Gen2 and Gen5: Classic McEliece shared secret -> AES-256-CBC + HMAC-SHA256,
// encrypt-then-MAC, the MAC checked in constant time before decrypting.
//
// Gen2 message: iv (16) || ct (m) || HMAC(ss, iv || ct) (32);
//               AES key = HKDF-SHA256(ss, no salt, no info, 32).
// Gen5 message: salt (32) || iv (16) || ct (m) || HMAC(mac_key, salt || iv || ct) (32);
//               aes_key || mac_key = HKDF-SHA256(ss, salt, "Gen5-CMCE-HMAC", 64).
#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {
namespace {

constexpr std::size_t kGen2Min = kCbcIvSize + kMacSize;  // 48
constexpr std::size_t kGen5Salt = 32;
constexpr std::size_t kGen5Min = kGen5Salt + kCbcIvSize + kMacSize;  // 80

}  // namespace

Encrypted _gen2_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength) {
  oqs::Encapsulation kem = oqs::encapsulate(oqs::cmce_alg(strength), raw_pk);
  const ByteView ss = kem.shared_secret;
  SecretArray<32> aes_key;
  internal::hkdf_into(ss, {}, {}, aes_key.span());
  const std::size_t m = internal::cbc_size(data.size());
  Encrypted out{std::move(kem.ciphertext), Bytes(kGen2Min + m)};
  std::uint8_t* iv = out.message.data();
  std::uint8_t* ct = iv + kCbcIvSize;
  detail::random_bytes(iv, kCbcIvSize);
  internal::cbc_encrypt_into(data, aes_key.span(), iv, ct);
  internal::hmac256_parts(ss, {ByteView(iv, kCbcIvSize + m)}, ct + m);
  return out;
}

SecureBytes _gen2_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength) {
  if (enc.size() < kGen2Min) throw InvalidInputError("Invalid Gen2 encrypted message");
  const ByteView iv = enc.first(kCbcIvSize);
  const ByteView ct = enc.subspan(kCbcIvSize, enc.size() - kGen2Min);
  const SecureBytes ss = oqs::decapsulate(oqs::cmce_alg(strength), raw_sk, capsule);
  internal::check_mac(ss, enc, "Gen2 HMAC verification failed");
  SecretArray<32> aes_key;
  internal::hkdf_into(ss, {}, {}, aes_key.span());
  return _cbc_decrypt(ct, aes_key.span(), iv);
}

Encrypted _gen5_encrypt(ByteView data, ByteView raw_pk, std::int64_t strength) {
  oqs::Encapsulation kem = oqs::encapsulate(oqs::cmce_alg(strength), raw_pk);
  const std::size_t m = internal::cbc_size(data.size());
  Encrypted out{std::move(kem.ciphertext), Bytes(kGen5Min + m)};
  std::uint8_t* salt = out.message.data();
  std::uint8_t* iv = salt + kGen5Salt;
  std::uint8_t* ct = iv + kCbcIvSize;
  detail::random_bytes(salt, kGen5Salt);
  SecretArray<64> dk;
  internal::hkdf_into(kem.shared_secret, ByteView(salt, kGen5Salt), internal::view(kGen5Info), dk.span());
  const ByteView aes_key(dk.data(), 32), mac_key(dk.data() + 32, 32);
  detail::random_bytes(iv, kCbcIvSize);
  internal::cbc_encrypt_into(data, aes_key, iv, ct);
  internal::hmac256_parts(mac_key, {ByteView(salt, kGen5Salt + kCbcIvSize + m)}, ct + m);
  return out;
}

SecureBytes _gen5_decrypt(ByteView enc, ByteView raw_sk, ByteView capsule, std::int64_t strength) {
  if (enc.size() < kGen5Min) throw InvalidInputError("Invalid Gen5 encrypted message");
  const ByteView salt = enc.first(kGen5Salt);
  const ByteView iv = enc.subspan(kGen5Salt, kCbcIvSize);
  const ByteView ct = enc.subspan(kGen5Salt + kCbcIvSize, enc.size() - kGen5Min);
  const SecureBytes ss = oqs::decapsulate(oqs::cmce_alg(strength), raw_sk, capsule);
  SecretArray<64> dk;
  internal::hkdf_into(ss, salt, internal::view(kGen5Info), dk.span());
  const ByteView aes_key(dk.data(), 32), mac_key(dk.data() + 32, 32);
  internal::check_mac(mac_key, enc, "Gen5 HMAC verification failed");
  return _cbc_decrypt(ct, aes_key, iv);
}

}  // namespace morvex::quantum
