// The hybrid envelope: a fresh AES-256 key seals the data with AES-GCM and
// travels RSA-OAEP-encrypted in front of it.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/gcm.hpp"
#include "common/ossl.hpp"
#include "hybrid/internal.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::hybrid {
namespace {

constexpr std::size_t kNonceStart = 4 + RSA_BLOCK;
constexpr std::size_t kTagStart = kNonceStart + aes::GCM_NONCE_SIZE;
constexpr std::size_t kCtStart = kTagStart + aes::GCM_TAG_SIZE;
static_assert(kCtStart == ENVELOPE_OVERHEAD);
constexpr std::size_t kAesKeySize = 32;

constexpr const char* kTampered = "Hybrid AES-GCM decryption failed (wrong key or tampered data)";

void store_le32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// blob[from:to], both ends clamped to the blob.
ByteView cut(ByteView blob, std::size_t from, std::size_t to) noexcept {
  from = std::min(from, blob.size());
  to = std::min(std::max(to, from), blob.size());
  return blob.subspan(from, to - from);
}

}  // namespace

void encrypt_bytes_into(ByteView data, std::string_view public_pem, std::span<std::uint8_t> out) {
  if (data.empty()) throw InvalidInputError("Data cannot be empty");
  if (out.size() != data.size() + ENVELOPE_OVERHEAD) throw InvalidArgumentError("envelope buffer has the wrong size");
  SecretArray<kAesKeySize> aes_key;
  morvex::detail::random_bytes(aes_key.data(), aes_key.size());
  const rsa::Key key = rsa::_load_public(public_pem);
  const Bytes block = rsa::internal::encrypt_oaep(key.get(), aes_key.span());
  if (block.size() != RSA_BLOCK) {
    // The reader finds the key block by its fixed size: an envelope for any
    // other modulus size could never be opened.
    throw InvalidInputError("Recipient RSA key is " + std::to_string(EVP_PKEY_get_bits(key.get())) +
                            " bits: the hybrid envelope needs a 4096-bit key (a " + std::to_string(RSA_BLOCK) +
                            "-byte RSA block, not " + std::to_string(block.size()) + ")");
  }
  std::uint8_t* p = out.data();
  store_le32(p, static_cast<std::uint32_t>(RSA_BLOCK));
  std::memcpy(p + 4, block.data(), RSA_BLOCK);
  morvex::detail::random_bytes(p + kNonceStart, aes::GCM_NONCE_SIZE);
  try {
    morvex::detail::gcm_seal(aes_key.span(), p + kNonceStart, data, p + kCtStart, p + kTagStart);
  } catch (const PrimitiveError& e) {
    throw EncryptionError(std::string("Hybrid AES-GCM encryption failed: ") + e.what(), std::current_exception());
  }
}

std::optional<std::size_t> encrypted_size(ByteView data) noexcept {
  if (data.empty()) return std::nullopt;
  return data.size() + ENVELOPE_OVERHEAD;
}

Bytes encrypt_bytes(ByteView data, std::string_view public_pem) {
  Bytes out(data.size() + ENVELOPE_OVERHEAD);
  encrypt_bytes_into(data, public_pem, out);
  return out;
}

std::string encrypt_str(std::string_view plaintext, std::string_view public_pem) {
  if (plaintext.empty()) throw InvalidInputError("Plaintext cannot be empty");
  return encoding::base64_encode(encrypt_bytes(encoding::text_bytes(plaintext), public_pem));
}

namespace internal {

std::size_t net_plaintext_size(ByteView blob) noexcept { return blob.size() > kCtStart ? blob.size() - kCtStart : 0; }

void net_decrypt_into(ByteView blob, std::string_view private_pem, std::span<std::uint8_t> out) {
  // Fixed offsets; the length field is not read. Fields are cut the way a
  // slice would be, so a short blob gives short fields rather than a read
  // past its end.
  const ByteView encrypted_key = cut(blob, 4, kNonceStart);
  const ByteView nonce = cut(blob, kNonceStart, kTagStart);
  const ByteView tag = cut(blob, kTagStart, kCtStart);
  const ByteView ct = cut(blob, kCtStart, blob.size());
  if (out.size() != ct.size()) throw InvalidArgumentError("plaintext buffer has the wrong size");
  const SecureBytes aes_key = rsa::internal::decrypt_oaep(encrypted_key, private_pem);
  std::uint8_t none = 0;
  std::uint8_t* dst = out.empty() ? &none : out.data();
  bool ok = false;
  try {
    // A key of 16 or 24 bytes selects AES-128 or AES-192; any other length
    // cannot key AES-GCM and fails like a wrong key.
    if (nonce.size() == aes::GCM_NONCE_SIZE && tag.size() == aes::GCM_TAG_SIZE) ok = morvex::detail::gcm_open(aes_key, nonce.data(), ct, tag.data(), dst);
  } catch (const PrimitiveError&) {
    throw DecryptionError(kTampered, std::current_exception());
  }
  if (!ok) throw DecryptionError(kTampered, std::make_exception_ptr(PrimitiveError("authentication failed")));
}

}  // namespace internal

SecureBytes _net_decrypt(ByteView blob, std::string_view private_pem) {
  SecureBytes out(internal::net_plaintext_size(blob));
  internal::net_decrypt_into(blob, private_pem, out);
  return out;
}

}  // namespace morvex::hybrid
