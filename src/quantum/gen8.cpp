// Gen8: ephemeral X25519 agreement beside an ML-KEM encapsulation; HKDF-SHA256
// over x25519_ss || mlkem_ss keys AES-256-GCM.
//
// raw public key:  X25519 public (32) || ML-KEM public key
// raw private key: X25519 private (32) || ML-KEM secret key
// secret:          C (le32) || ML-KEM ciphertext (C) || ephemeral X25519 public (32)
// message:         salt (32) || nonce (12) || ct (n) || tag (16)
#include <openssl/evp.h>

#include <algorithm>

#include "common/ct.hpp"
#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {
namespace {

using detail::PKey;
using detail::PKeyCtx;

constexpr std::size_t kX = 32;
constexpr std::size_t kPrefix = 4;
constexpr std::size_t kSalt = 32;
constexpr std::size_t kSecretMin = kPrefix + kX;                           // 36
constexpr std::size_t kMessageMin = kSalt + aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;  // 60

PKey x25519_generate() {
  PKeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_X25519, nullptr));
  EVP_PKEY* key = nullptr;
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &key) != 1)
    detail::throw_openssl("X25519 key generation failed");
  return PKey(key);
}

PKey x25519_private(const std::uint8_t* raw) {
  PKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, raw, kX));
  if (!key) detail::throw_openssl("invalid X25519 private key");
  return key;
}

PKey x25519_public(const std::uint8_t* raw) {
  PKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, raw, kX));
  if (!key) detail::throw_openssl("invalid X25519 public key");
  return key;
}

void raw_public(EVP_PKEY* key, std::uint8_t* out) {
  std::size_t n = kX;
  if (EVP_PKEY_get_raw_public_key(key, out, &n) != 1 || n != kX)
    detail::throw_openssl("X25519 key export failed");
}

void raw_private(EVP_PKEY* key, std::uint8_t* out) {
  std::size_t n = kX;
  if (EVP_PKEY_get_raw_private_key(key, out, &n) != 1 || n != kX)
    detail::throw_openssl("X25519 key export failed");
}

// X25519(priv, peer) into `out`; PrimitiveError for a failed agreement,
// including the all-zero result of a low-order peer key.
void x25519_agree(EVP_PKEY* priv, EVP_PKEY* peer, std::uint8_t* out) {
  PKeyCtx ctx(EVP_PKEY_CTX_new(priv, nullptr));
  std::size_t n = kX;
  if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 || EVP_PKEY_derive_set_peer(ctx.get(), peer) != 1 ||
      EVP_PKEY_derive(ctx.get(), out, &n) != 1 || n != kX)
    detail::throw_openssl("X25519 agreement failed");
  // Every byte is read whatever the secret holds; only the verdict (a refusal)
  // is made public.
  std::uint8_t any = 0;
  for (std::size_t i = 0; i < kX; ++i) any |= out[i];
  if (detail::public_value(any == 0)) {
    secure_wipe(out, kX);
    throw PrimitiveError("all-zero X25519 shared secret");
  }
}

}  // namespace

X25519Raw _x25519_raw(ByteView private_key) {
  if (private_key.size() != kX) throw InvalidInputError("Invalid X25519 private key");
  const PKey key = x25519_private(private_key.data());
  X25519Raw out;
  raw_public(key.get(), out.public_key.data());
  raw_private(key.get(), out.private_key.data());
  return out;
}

KeyPair _gen8_generate(QuantumStrength strength) {
  const PKey x = x25519_generate();
  std::uint8_t x_pub[kX];
  SecretArray<kX> x_priv;
  raw_public(x.get(), x_pub);
  raw_private(x.get(), x_priv.data());

  oqs::KeyPair kem = oqs::generate_keypair(oqs::mlkem_alg(static_cast<std::int64_t>(strength)));
  const std::uint8_t header[2] = {8, static_cast<std::uint8_t>(strength)};
  KeyPair out;
  out.public_key.reserve(2 + kX + kem.public_key.size());
  out.public_key.assign(header, header + 2);
  out.public_key.insert(out.public_key.end(), x_pub, x_pub + kX);
  out.public_key.insert(out.public_key.end(), kem.public_key.begin(), kem.public_key.end());
  out.private_key.reserve(2 + kX + kem.secret_key.size());
  out.private_key.assign(header, header + 2);
  out.private_key.insert(out.private_key.end(), x_priv.data(), x_priv.data() + kX);
  out.private_key.insert(out.private_key.end(), kem.secret_key.begin(), kem.secret_key.end());
  return out;
}

Encrypted _gen8_encrypt(ByteView data, ByteView raw, std::int64_t strength) {
  if (raw.size() < kX) throw InvalidInputError("Invalid Gen8 public key");
  oqs::Encapsulation kem = oqs::encapsulate(oqs::mlkem_alg(strength), raw.subspan(kX));

  const PKey eph = x25519_generate();
  std::uint8_t eph_pub[kX];
  raw_public(eph.get(), eph_pub);
  SecretArray<64> combined;
  try {
    const PKey peer = x25519_public(raw.data());
    x25519_agree(eph.get(), peer.get(), combined.data());
  } catch (const PrimitiveError&) {
    throw InvalidInputError("Invalid Gen8 public key", std::current_exception());
  }
  if (kem.shared_secret.size() != 32) throw PrimitiveError("unexpected ML-KEM shared secret size");
  std::copy(kem.shared_secret.begin(), kem.shared_secret.end(), combined.data() + kX);

  Encrypted out;
  const std::size_t c = kem.ciphertext.size();
  out.secret.resize(kPrefix + c + kX);
  internal::write_le32(out.secret.data(), static_cast<std::uint32_t>(c));
  std::copy(kem.ciphertext.begin(), kem.ciphertext.end(), out.secret.begin() + kPrefix);
  std::copy(eph_pub, eph_pub + kX, out.secret.begin() + static_cast<std::ptrdiff_t>(kPrefix + c));

  out.message.resize(kMessageMin + data.size());
  internal::hkdf_gcm_seal_into(combined.span(), kSalt, internal::view(kGen8Info), data, out.message.data());
  return out;
}

SecureBytes _gen8_decrypt(ByteView enc, ByteView raw, ByteView secret, std::int64_t strength) {
  if (raw.size() < kX) throw InvalidInputError("Invalid Gen8 private key");
  if (secret.size() < kSecretMin) throw InvalidInputError("Invalid Gen8 encapsulated secret");
  if (enc.size() < kMessageMin) throw InvalidInputError("Invalid Gen8 encrypted message");
  const std::uint64_t c = internal::read_le32(secret.data());
  if (c == 0 || c > std::uint64_t{secret.size()} - kSecretMin)
    throw InvalidInputError("Invalid Gen8 encapsulated secret");
  const ByteView kem_ct = secret.subspan(kPrefix, static_cast<std::size_t>(c));
  const ByteView eph_pub = secret.subspan(kPrefix + static_cast<std::size_t>(c), kX);

  const SecureBytes kem_ss = oqs::decapsulate(oqs::mlkem_alg(strength), raw.subspan(kX), kem_ct);
  SecretArray<64> combined;
  try {
    const PKey priv = x25519_private(raw.data());
    const PKey peer = x25519_public(eph_pub.data());
    x25519_agree(priv.get(), peer.get(), combined.data());
  } catch (const PrimitiveError&) {
    // A low-order ephemeral key can only come from altered data.
    throw DecryptionError(internal::kGcmFailed, std::current_exception());
  }
  if (kem_ss.size() != 32) throw PrimitiveError("unexpected ML-KEM shared secret size");
  std::copy(kem_ss.begin(), kem_ss.end(), combined.data() + kX);

  return internal::hkdf_gcm_open(combined.span(), kSalt, internal::view(kGen8Info), enc);
}

}  // namespace morvex::quantum
