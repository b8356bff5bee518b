// AES-256-GCM over bytes and text; the sealed blob nonce || ct || tag.
#include <cstring>

#include "common/gcm.hpp"
#include "common/ossl.hpp"
#include "common/text.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/keys.hpp"

namespace morvex::aes {
namespace {

constexpr std::size_t kMinBlob = GCM_NONCE_SIZE + GCM_TAG_SIZE + 1;

constexpr const char* kNotGcm =
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data).";

}  // namespace

void encrypt_bytes_into(ByteView data, std::string_view key, std::span<std::uint8_t> out,
                        ByteView associated_data) {
  if (data.empty()) throw InvalidInputError("Data cannot be empty");
  // The empty key text normalises to a key anyone can compute: nothing is
  // sealed under it (blobs sealed under it before still open).
  if (key.empty()) throw InvalidInputError("Key cannot be empty");
  if (out.size() < sealed_size(data.size())) throw std::invalid_argument("output buffer too small");
  const keys::AesKey aes_key = keys::convert_key(key);
  std::uint8_t* nonce = out.data();
  detail::random_bytes(nonce, GCM_NONCE_SIZE);
  try {
    detail::gcm_seal(aes_key.span(), nonce, data, out.data() + GCM_NONCE_SIZE,
                     out.data() + GCM_NONCE_SIZE + data.size(), associated_data);
  } catch (const PrimitiveError& e) {
    throw EncryptionError(std::string("AES-GCM encryption failed: ") + e.what(), std::current_exception());
  }
}

Bytes encrypt_bytes(ByteView data, std::string_view key, ByteView associated_data) {
  if (data.empty()) throw InvalidInputError("Data cannot be empty");
  Bytes out(sealed_size(data.size()));
  encrypt_bytes_into(data, key, out, associated_data);
  return out;
}

std::size_t decrypt_bytes_into(ByteView blob, std::string_view key, std::span<std::uint8_t> out,
                               ByteView associated_data) {
  const keys::AesKey aes_key = keys::convert_key(key);
  if (blob.size() >= kMinBlob) {
    const std::size_t n = blob.size() - GCM_NONCE_SIZE - GCM_TAG_SIZE;
    if (out.size() < n) throw std::invalid_argument("output buffer too small");
    const std::uint8_t* nonce = blob.data();
    const ByteView ct = blob.subspan(GCM_NONCE_SIZE, n);
    const std::uint8_t* tag = blob.data() + GCM_NONCE_SIZE + n;
    if (detail::gcm_open(aes_key.span(), nonce, ct, tag, out.data(), associated_data)) return n;
  }
  throw DecryptionError(kNotGcm);
}

std::optional<std::size_t> encrypted_size(ByteView data) noexcept {
  if (data.empty()) return std::nullopt;
  return sealed_size(data.size());
}

std::optional<std::size_t> decrypted_size(ByteView blob) noexcept {
  if (blob.size() < kMinBlob) return std::nullopt;
  return blob.size() - GCM_NONCE_SIZE - GCM_TAG_SIZE;
}

SecureBytes decrypt_bytes(ByteView blob, std::string_view key, ByteView associated_data) {
  SecureBytes out(decrypted_size(blob).value_or(0));
  decrypt_bytes_into(blob, key, out, associated_data);
  return out;
}

std::string encrypt_str(std::string_view plaintext, std::string_view key, ByteView associated_data) {
  if (plaintext.empty()) throw InvalidInputError("Plaintext cannot be empty");
  const Bytes blob = encrypt_bytes(encoding::text_bytes(plaintext), key, associated_data);
  return encoding::base64_encode(blob);
}

// Decrypted straight into the wiping string that the caller gets.
SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view key, ByteView associated_data) {
  const Bytes blob = detail::decode_ciphertext(ciphertext_b64);
  const std::size_t n = decrypted_size(blob).value_or(0);
  SecureString text = detail::heap_string(n);
  text.resize(n);
  decrypt_bytes_into(blob, key, std::span(reinterpret_cast<std::uint8_t*>(text.data()), n), associated_data);
  detail::check_plaintext_utf8(as_bytes(text));
  return text;
}

}  // namespace morvex::aes
