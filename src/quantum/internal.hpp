// Internal helpers shared by the post-quantum message formats.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "morvex/bytes.hpp"
#include "quantum/formats.hpp"

namespace morvex::quantum::internal {

inline ByteView view(std::string_view s) noexcept { return as_bytes(s); }

// The one message of every failed AES-GCM opening.
inline constexpr const char* kGcmFailed = "Quantum AES-GCM decryption failed (wrong key or tampered data)";

// Unsigned 32-bit little-endian length prefixes, read into 64 bits.
inline std::uint64_t read_le32(const std::uint8_t* p) noexcept {
  return std::uint64_t{p[0]} | (std::uint64_t{p[1]} << 8) | (std::uint64_t{p[2]} << 16) |
         (std::uint64_t{p[3]} << 24);
}
inline void write_le32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Both keys of a pair behind the same two header bytes.
KeyPair with_header(std::uint8_t first, std::uint8_t second, ByteView public_key, ByteView secret_key);

// HKDF-SHA256 into `out` (all of it).
void hkdf_into(ByteView ikm, ByteView salt, ByteView info, std::span<std::uint8_t> out);

// HMAC-SHA256 over the concatenation of `parts`.
void hmac256_parts(ByteView key, std::initializer_list<ByteView> parts, std::uint8_t out[32]);

// AES-GCM seal writing ciphertext then tag to `out` (data.size() + 16 bytes).
void gcm_seal_into(ByteView key, const std::uint8_t* nonce, ByteView data, std::uint8_t* out);

// salt || nonce || ct || tag: AES-256-GCM under HKDF-SHA256(ikm, salt, info),
// with a fresh salt of `salt_len` bytes and a fresh nonce; `out` holds
// salt_len + 12 + data.size() + 16 bytes.
void hkdf_gcm_seal_into(ByteView ikm, std::size_t salt_len, ByteView info, ByteView data,
                        std::uint8_t* out);
// Opens nonce || ct || tag (at least 28 bytes) under `key`, as _gcm_open.
SecureBytes gcm_open_body(ByteView key, ByteView body);
// Opens what hkdf_gcm_seal_into made (at least salt_len + 28 bytes).
SecureBytes hkdf_gcm_open(ByteView ikm, std::size_t salt_len, ByteView info, ByteView enc);

// AES-CBC with PKCS#7 into `out`, which holds cbc_size(data.size()) bytes.
constexpr std::size_t cbc_size(std::size_t n) noexcept { return 16 * (n / 16 + 1); }
void cbc_encrypt_into(ByteView data, ByteView key, const std::uint8_t* iv, std::uint8_t* out);

// Constant-time equality of two equal-length byte strings.
bool equal_ct(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) noexcept;
// Encrypt-then-MAC: the HMAC-SHA256 under `mac_key` of all of `enc` but its
// last 32 bytes must equal them (compared in constant time); DecryptionError
// `refusal` otherwise.
void check_mac(ByteView mac_key, ByteView enc, const char* refusal);

}  // namespace morvex::quantum::internal
