// The hybrid envelope (RSA-OAEP-wrapped AES-256-GCM) and the format
// detection that opens every RSA-side ciphertext.
//
// Envelope: L (u32 little-endian) || RSA-OAEP block of the AES key (L bytes)
//           || nonce (12) || tag (16) || ciphertext (n)
// Legacy envelope (read only): "HYBR" || K (u32 big-endian) || RSA block (K)
//           || sealed blob of the AES core under the Base64 text of the key.
//
// Thread safety: every function may run on any number of threads at once; a
// key text is parsed anew on each call and nothing survives it. Ownership:
// results are values the caller owns (plaintexts in wiping owners); the
// forms that take `out` write only to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "morvex/aes.hpp"
#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::hybrid {

inline constexpr std::size_t RSA_BLOCK = 512;
inline constexpr std::array<std::uint8_t, 4> HYBR{'H', 'Y', 'B', 'R'};

// Bytes the envelope adds to the data: the length prefix, the RSA block, the
// nonce and the tag.
inline constexpr std::size_t ENVELOPE_OVERHEAD = 4 + RSA_BLOCK + aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;

// The envelope of `data` for the holder of the matching private key. Throws
// InvalidInputError "Data cannot be empty" (before the key text is read) or
// for an unreadable key or a recipient key whose RSA block is not RSA_BLOCK
// bytes; EncryptionError when the RSA or AES step fails.
Bytes encrypt_bytes(ByteView data, std::string_view public_pem);
// The same, written to `out`, which must hold data.size() + ENVELOPE_OVERHEAD
// bytes.
void encrypt_bytes_into(ByteView data, std::string_view public_pem, std::span<std::uint8_t> out);
// The envelope's size for `data`; nothing for empty data (refused).
std::optional<std::size_t> encrypted_size(ByteView data) noexcept;
// UTF-8 text in, Base64 envelope out; throws as encrypt_bytes does
// (InvalidInputError "Plaintext cannot be empty" first, EncryptionError).
std::string encrypt_str(std::string_view plaintext, std::string_view public_pem);

// Opens a legacy envelope, a hybrid envelope or a direct RSA block, told apart
// by the length and the first four bytes alone. Throws InvalidInputError for
// an unreadable key, DecryptionError when the blob does not open.
SecureBytes decrypt_auto(ByteView blob, std::string_view private_pem);
// Base64 text in, UTF-8 text out; throws as decrypt_auto does
// (InvalidInputError, DecryptionError), and DecryptionError for text that is
// not Base64 or a plaintext that is not UTF-8.
SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view private_pem);

// Zero-copy form of decrypt_auto for blobs whose plaintext length follows
// from the blob alone (hybrid and legacy envelopes that can hold a
// plaintext): known_plaintext_size gives it, or nothing.
std::optional<std::size_t> known_plaintext_size(ByteView blob) noexcept;
// `out` must hold exactly *known_plaintext_size(blob) bytes.
void decrypt_auto_into(ByteView blob, std::string_view private_pem, std::span<std::uint8_t> out);

}  // namespace morvex::hybrid
#pragma GCC visibility pop
