// Gen7: a random 32-byte session key travels RSA-OAEP-encrypted (the RSA
// area's one parameter set) to an RSA-4096 key and is mixed by XOR with a
// FrodoKEM shared secret; HKDF-SHA256 of the mix keys AES-256-GCM.
//
// raw public key:  L (le32) || PKCS#1 RSAPublicKey (L) || FrodoKEM public key
// raw private key: L (le32) || PKCS#1 RSAPrivateKey (L) || FrodoKEM secret key
// secret:          R (le32) || RSA-OAEP ciphertext (R) || FrodoKEM ciphertext
// message:         salt (32) || nonce (12) || ct (n) || tag (16)
#include <openssl/core_names.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <stdexcept>

#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/internal.hpp"
#include "rsa/internal.hpp"

namespace morvex::quantum {
namespace {

using detail::PKey;
using detail::PKeyCtx;

constexpr std::size_t kPrefix = 4;
constexpr std::size_t kSalt = 32;
constexpr std::size_t kSessionKey = 32;
constexpr std::size_t kMessageMin = kSalt + aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;  // 60
constexpr int kRsaBits = 4096;
// The OAEP failures reach this format as they are: it words its own errors.
constexpr rsa::internal::OaepErrors kPrimitive = rsa::internal::OaepErrors::Primitive;

// A length-prefixed field followed by the rest: the field is cut at the end
// of the input, and `complete` tells whether the prefix was honoured.
struct Split {
  ByteView field, rest;
  bool complete;
};
Split split_prefixed(ByteView in) {
  const std::uint64_t len = internal::read_le32(in.data());
  const std::uint64_t avail = in.size() - kPrefix;
  const std::size_t take = static_cast<std::size_t>(std::min(len, avail));
  return {in.subspan(kPrefix, take), in.subspan(kPrefix + take), len <= avail};
}

std::string parser_message(const char* fallback) {
  std::string text = detail::take_openssl_error();
  return text.empty() ? std::string(fallback) : text;
}

// Appends `prefix-length || field` to `out`.
template <class Vec>
void put_prefixed(Vec& out, ByteView field) {
  std::uint8_t len[kPrefix];
  internal::write_le32(len, static_cast<std::uint32_t>(field.size()));
  out.insert(out.end(), len, len + kPrefix);
  out.insert(out.end(), field.begin(), field.end());
}

}  // namespace

SecretArray<32> _xor_mix(ByteView session_key, ByteView frodo_ss) {
  if (session_key.size() < 32) throw InvalidArgumentError("session key shorter than 32 bytes");
  if (frodo_ss.empty()) throw InvalidArgumentError("empty FrodoKEM shared secret");
  SecretArray<32> out;
  for (std::size_t i = 0; i < 32; ++i) out[i] = session_key[i] ^ frodo_ss[i % frodo_ss.size()];
  return out;
}

Bytes _der_len(std::uint64_t n) {
  if (n < 128) return Bytes{static_cast<std::uint8_t>(n)};
  Bytes be;
  for (std::uint64_t v = n; v != 0; v >>= 8) be.insert(be.begin(), static_cast<std::uint8_t>(v));
  be.insert(be.begin(), static_cast<std::uint8_t>(0x80 + be.size()));
  return be;
}

Bytes _pkcs1_to_spki(ByteView pkcs1) {
  Bytes bit_string{0x03};
  const Bytes bl = _der_len(std::uint64_t{pkcs1.size()} + 1);
  bit_string.insert(bit_string.end(), bl.begin(), bl.end());
  bit_string.push_back(0x00);
  bit_string.insert(bit_string.end(), pkcs1.begin(), pkcs1.end());
  Bytes body(kRsaAlgId.begin(), kRsaAlgId.end());
  body.insert(body.end(), bit_string.begin(), bit_string.end());
  Bytes out{0x30};
  const Bytes l = _der_len(body.size());
  out.insert(out.end(), l.begin(), l.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

KeyPair _gen7_generate(QuantumStrength strength) {
  PKeyCtx kctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!kctx || EVP_PKEY_keygen_init(kctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(kctx.get(), kRsaBits) != 1)
    detail::throw_openssl("RSA key generation failed");
  EVP_PKEY* raw_key = nullptr;
  if (EVP_PKEY_generate(kctx.get(), &raw_key) != 1) detail::throw_openssl("RSA key generation failed");
  const PKey rsa(raw_key);

  const int pub_len = i2d_PublicKey(rsa.get(), nullptr);
  const int priv_len = i2d_PrivateKey(rsa.get(), nullptr);
  if (pub_len <= 0 || priv_len <= 0) detail::throw_openssl("RSA key export failed");
  Bytes pub_der(static_cast<std::size_t>(pub_len));
  SecureBytes priv_der(static_cast<std::size_t>(priv_len));
  unsigned char* p = pub_der.data();
  unsigned char* q = priv_der.data();
  if (i2d_PublicKey(rsa.get(), &p) != pub_len || i2d_PrivateKey(rsa.get(), &q) != priv_len)
    detail::throw_openssl("RSA key export failed");

  oqs::KeyPair frodo = oqs::generate_keypair(oqs::frodo_alg(static_cast<std::int64_t>(strength)));
  const std::uint8_t header[2] = {7, static_cast<std::uint8_t>(strength)};
  KeyPair out;
  out.public_key.reserve(2 + kPrefix + pub_der.size() + frodo.public_key.size());
  out.public_key.assign(header, header + 2);
  put_prefixed(out.public_key, pub_der);
  out.public_key.insert(out.public_key.end(), frodo.public_key.begin(), frodo.public_key.end());
  out.private_key.reserve(2 + kPrefix + priv_der.size() + frodo.secret_key.size());
  out.private_key.assign(header, header + 2);
  put_prefixed(out.private_key, priv_der);
  out.private_key.insert(out.private_key.end(), frodo.secret_key.begin(), frodo.secret_key.end());
  return out;
}

Encrypted _gen7_encrypt(ByteView data, ByteView raw, std::int64_t strength) {
  if (raw.size() < kPrefix) throw InvalidInputError("Invalid Gen7 public key");
  const Split parts = split_prefixed(raw);
  if (!parts.complete || parts.rest.empty()) throw InvalidInputError("Invalid Gen7 public key (truncated)");

  PKey rsa;
  {
    using rsa::internal::KeyStructure;
    if (const char* fault = rsa::internal::der_fault(parts.field, KeyStructure::RsaPublicKey))
      throw InvalidInputError(std::string("Invalid Gen7 RSA public key: ") + fault,
                              std::make_exception_ptr(PrimitiveError(fault)));
    const Bytes spki = _pkcs1_to_spki(parts.field);
    const unsigned char* p = spki.data();
    detail::clear_openssl_errors();
    rsa.reset(d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size())));
    if (!rsa) {
      const std::string why = parser_message("could not decode the key");
      throw InvalidInputError("Invalid Gen7 RSA public key: " + why,
                              std::make_exception_ptr(PrimitiveError(why)));
    }
    if (rsa::internal::has_unusable_exponent(rsa.get())) {
      const char* why = rsa::internal::kUnusableExponent;
      throw InvalidInputError(std::string("Invalid Gen7 RSA public key: ") + why,
                              std::make_exception_ptr(PrimitiveError(why)));
    }
  }

  SecretArray<kSessionKey> session_key;
  detail::random_bytes(session_key.data(), kSessionKey);
  Bytes rsa_ct;
  try {
    rsa_ct = rsa::internal::encrypt_oaep(rsa.get(), session_key.span(), kPrimitive);
  } catch (const PrimitiveError& e) {
    // Only a modulus too small for a 32-byte OAEP-SHA-256 payload gets here.
    throw InvalidInputError(std::string("Invalid Gen7 RSA public key: ") + e.what(), std::current_exception());
  }

  oqs::Encapsulation kem = oqs::encapsulate(oqs::frodo_alg(strength), parts.rest);
  const SecretArray<32> combined = _xor_mix(session_key.span(), kem.shared_secret);

  Encrypted out;
  out.secret.reserve(kPrefix + rsa_ct.size() + kem.ciphertext.size());
  put_prefixed(out.secret, rsa_ct);
  out.secret.insert(out.secret.end(), kem.ciphertext.begin(), kem.ciphertext.end());
  out.message.resize(kMessageMin + data.size());
  internal::hkdf_gcm_seal_into(combined.span(), kSalt, internal::view(kGen7Info), data, out.message.data());
  return out;
}

SecureBytes _gen7_decrypt(ByteView enc, ByteView raw, ByteView secret, std::int64_t strength) {
  if (raw.size() < kPrefix) throw InvalidInputError("Invalid Gen7 private key");
  const Split key_parts = split_prefixed(raw);
  if (secret.size() < kPrefix) throw InvalidInputError("Invalid Gen7 encapsulated secret");
  const Split secret_parts = split_prefixed(secret);
  if (enc.size() < kMessageMin) throw InvalidInputError("Invalid Gen7 encrypted message");

  PKey rsa;
  {
    // PKCS#1 (what our keys hold) or PKCS#8, each read only in canonical DER
    // that ends where the field ends.
    using rsa::internal::KeyStructure;
    const KeyStructure structure = rsa::internal::private_structure(key_parts.field);
    if (const char* fault = rsa::internal::der_fault(key_parts.field, structure))
      throw InvalidInputError(std::string("Invalid Gen7 RSA private key: ") + fault,
                              std::make_exception_ptr(PrimitiveError(fault)));
    const long len = static_cast<long>(key_parts.field.size());
    const unsigned char* p = key_parts.field.data();
    detail::clear_openssl_errors();
    if (structure == KeyStructure::RsaPrivateKey) {
      rsa.reset(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, len));
    } else {
      const detail::OsslPtr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free> info(
          d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, len));
      if (info) rsa.reset(EVP_PKCS82PKEY(info.get()));
    }
    if (!rsa) {
      const std::string why = parser_message("could not decode the key");
      throw InvalidInputError("Invalid Gen7 RSA private key: " + why,
                              std::make_exception_ptr(PrimitiveError(why)));
    }
  }

  SecureBytes session_key;
  try {
    session_key = rsa::internal::decrypt_oaep(rsa.get(), secret_parts.field, kPrimitive);
  } catch (const PrimitiveError&) {
    throw DecryptionError("Gen7 RSA decryption failed", std::current_exception());
  }
  // A crafted block may carry fewer bytes than the session key needs.
  if (session_key.size() < kSessionKey)
    throw DecryptionError("Gen7 RSA decryption failed",
                          std::make_exception_ptr(PrimitiveError("session key shorter than 32 bytes")));

  const SecureBytes frodo_ss = oqs::decapsulate(oqs::frodo_alg(strength), key_parts.rest, secret_parts.rest);
  const SecretArray<32> combined = _xor_mix(session_key, frodo_ss);

  return internal::hkdf_gcm_open(combined.span(), kSalt, internal::view(kGen7Info), enc);
}

}  // namespace morvex::quantum
