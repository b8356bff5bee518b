// AES-256-GCM under a key given as text.
//
// Sealed blob: nonce (12) || ciphertext (n) || tag (16), n >= 1.
//
// Every operation takes optional associated data: authenticated with the
// blob but not stored in it, so the same bytes must be given to decrypt. A
// wrong one fails exactly like a wrong key. The empty default seals the very
// blob of a call without it.
//
// Thread safety: every function may run on any number of threads at once; no
// state survives a call. Ownership: results are values the caller owns
// (plaintexts in wiping owners); the forms that take `out` write only to it,
// and no function keeps a reference to an argument.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::aes {

inline constexpr std::size_t GCM_NONCE_SIZE = 12;
inline constexpr std::size_t GCM_TAG_SIZE = 16;

// Throws InvalidInputError "Data cannot be empty" or "Key cannot be empty"
// (in that order), EncryptionError.
Bytes encrypt_bytes(ByteView data, std::string_view key, ByteView associated_data = {});
// Throws DecryptionError when the blob is shorter than 29 bytes or does not
// authenticate under the key. Plaintexts come back in wiping owners.
SecureBytes decrypt_bytes(ByteView blob, std::string_view key, ByteView associated_data = {});
// UTF-8 text in, Base64 text of the sealed blob out. Throws InvalidInputError
// "Plaintext cannot be empty" or "Key cannot be empty" (in that order),
// EncryptionError.
std::string encrypt_str(std::string_view plaintext, std::string_view key, ByteView associated_data = {});
// Base64 text in, UTF-8 text out. Throws DecryptionError "Ciphertext is not
// valid Base64", as decrypt_bytes, or "Decrypted data is not valid UTF-8".
SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view key, ByteView associated_data = {});

// Zero-copy forms for callers that own the output storage.
constexpr std::size_t sealed_size(std::size_t n) noexcept { return n + GCM_NONCE_SIZE + GCM_TAG_SIZE; }
// `out` must hold sealed_size(data.size()) bytes (InvalidArgumentError
// otherwise, after the emptiness check).
void encrypt_bytes_into(ByteView data, std::string_view key, std::span<std::uint8_t> out,
                        ByteView associated_data = {});
// `out` must hold blob.size() - 28 bytes when blob.size() >= 29
// (InvalidArgumentError otherwise); a shorter blob leaves it untouched.
// Returns the plaintext length.
std::size_t decrypt_bytes_into(ByteView blob, std::string_view key, std::span<std::uint8_t> out,
                               ByteView associated_data = {});
// The result sizes of encrypt_bytes and decrypt_bytes as far as the input
// alone tells them (nothing for input the operation refuses before writing).
std::optional<std::size_t> encrypted_size(ByteView data) noexcept;
std::optional<std::size_t> decrypted_size(ByteView blob) noexcept;

}  // namespace morvex::aes
#pragma GCC visibility pop
