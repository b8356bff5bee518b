// Format detection over the RSA-side ciphertexts, and the legacy reader.
#include <cstring>
#include <string>

#include "hybrid/internal.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "common/text.hpp"
#include "morvex/errors.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::hybrid {
namespace {

constexpr std::size_t kLegacyHeader = 8;
constexpr std::size_t kMinSealed = aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE + 1;

constexpr const char* kLegacyInvalid = "Invalid hybrid data (legacy Swift format)";

std::uint32_t load_le32(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint32_t load_be32(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

// Where the RSA block of a legacy envelope ends (8 + its big-endian length,
// in 64-bit arithmetic), or 0 when the blob cannot be one: too short to
// carry the header, or no byte after the block.
std::uint64_t legacy_key_end(ByteView blob) noexcept {
  if (blob.size() < kLegacyHeader) return 0;
  const std::uint64_t key_end = kLegacyHeader + std::uint64_t{load_be32(blob.data() + 4)};
  return key_end < std::uint64_t{blob.size()} ? key_end : 0;
}

// The AES key of a legacy envelope goes to the AES core as its Base64 text,
// which that core normalises back to the same 32 bytes.
SecureString legacy_key_text(ByteView blob, std::uint64_t key_end, std::string_view private_pem) {
  const ByteView encrypted_key = blob.subspan(kLegacyHeader, static_cast<std::size_t>(key_end) - kLegacyHeader);
  const SecureBytes aes_key = rsa::internal::decrypt_oaep(encrypted_key, private_pem);
  const std::size_t n = encoding::base64_encoded_size(aes_key.size());
  SecureString text = detail::heap_string(n);
  text.resize(n);
  encoding::base64_encode_into(aes_key, text.data());
  return text;
}

}  // namespace

Format detect_format(ByteView blob) noexcept {
  if (blob.size() >= kLegacyHeader && std::memcmp(blob.data(), HYBR.data(), HYBR.size()) == 0) return Format::Legacy;
  if (blob.size() >= ENVELOPE_OVERHEAD && load_le32(blob.data()) == RSA_BLOCK) return Format::Envelope;
  return Format::Direct;
}

SecureBytes _legacy_decrypt(ByteView blob, std::string_view private_pem) {
  const std::uint64_t key_end = legacy_key_end(blob);
  if (key_end == 0) throw DecryptionError(kLegacyInvalid);
  const SecureString key = legacy_key_text(blob, key_end, private_pem);
  return aes::decrypt_bytes(blob.subspan(static_cast<std::size_t>(key_end)), key);
}

SecureBytes decrypt_auto(ByteView blob, std::string_view private_pem) {
  switch (detect_format(blob)) {
    case Format::Legacy: return _legacy_decrypt(blob, private_pem);
    case Format::Envelope: return _net_decrypt(blob, private_pem);
    case Format::Direct: break;
  }
  return rsa::internal::decrypt_oaep(blob, private_pem);
}

std::optional<std::size_t> known_plaintext_size(ByteView blob) noexcept {
  switch (detect_format(blob)) {
    case Format::Legacy: {
      const std::uint64_t key_end = legacy_key_end(blob);
      if (key_end == 0 || blob.size() - key_end < kMinSealed) return std::nullopt;
      return blob.size() - static_cast<std::size_t>(key_end) - aes::GCM_NONCE_SIZE - aes::GCM_TAG_SIZE;
    }
    case Format::Envelope: return internal::net_plaintext_size(blob);
    case Format::Direct: break;
  }
  return std::nullopt;
}

void decrypt_auto_into(ByteView blob, std::string_view private_pem, std::span<std::uint8_t> out) {
  const std::optional<std::size_t> size = known_plaintext_size(blob);
  if (!size || *size != out.size()) throw InvalidArgumentError("plaintext buffer has the wrong size");
  if (detect_format(blob) == Format::Envelope) {
    internal::net_decrypt_into(blob, private_pem, out);
    return;
  }
  const std::uint64_t key_end = legacy_key_end(blob);
  const SecureString key = legacy_key_text(blob, key_end, private_pem);
  aes::decrypt_bytes_into(blob.subspan(static_cast<std::size_t>(key_end)), key, out);
}

SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view private_pem) {
  const Bytes blob = detail::decode_ciphertext(ciphertext_b64);
  return detail::plaintext_text(decrypt_auto(blob, private_pem));
}

}  // namespace morvex::hybrid
