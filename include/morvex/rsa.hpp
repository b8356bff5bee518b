// RSA: 4096-bit key pairs as PEM text, the public encryption operations (a
// direct RSA-OAEP block for short data, the hybrid envelope beyond) and
// RSA-PSS signatures.
//
// Keys travel as PEM text only: private keys as unencrypted PKCS#8 (label
// PRIVATE KEY), public keys as SubjectPublicKeyInfo (label PUBLIC KEY); the
// loaders also read the PKCS#1 forms.
//
// Thread safety: every function may run on any number of threads at once; a
// key text is parsed anew on each call and no parsed key survives it.
// Ownership: results are values the caller owns (the private key text and
// plaintexts in wiping owners); encrypt_bytes_into writes only to `out`.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::rsa {

inline constexpr unsigned KEY_SIZE = 4096;
inline constexpr unsigned long PUBLIC_EXPONENT = 65537;
// 512 - 2*32 - 2: the OAEP-SHA-256 limit of a 4096-bit modulus, whatever the
// key at hand.
inline constexpr std::size_t MAX_OAEP_PLAINTEXT = 446;

// The one RSA-OAEP parameter set of the library, used by every OAEP
// operation (the direct block, both envelopes, Gen7). Digest names as the
// crypto library reads them.
struct OaepParameters {
  std::string_view hash;
  std::string_view mgf;       // mask generation function
  std::string_view mgf_hash;  // its digest
  std::string_view label;     // empty
};
inline constexpr OaepParameters kOaep{"SHA-256", "MGF1", "SHA-256", ""};

// RSA-PSS: SHA-256, MGF1-SHA-256, a salt as long as the digest.
struct PssParameters {
  std::string_view hash;
  std::string_view mgf;
  std::string_view mgf_hash;
  int salt_length;
};
inline constexpr PssParameters kPss{"SHA-256", "MGF1", "SHA-256", 32};

// (private key PEM, public key PEM) of a fresh RSA-4096 key, e = 65537; the
// private key's text in a wiping owner. Failures of the generator or the
// writer pass unchanged (PrimitiveError).
std::pair<SecureString, std::string> new_key_pair();

// RSA-PSS over SHA-256. Throws InvalidInputError (unreadable key) or
// SignatureError "RSA signing failed: ...".
Bytes sign_bytes(ByteView data, std::string_view private_pem);
// False for a signature that does not match; a key text that is unreadable,
// or that holds a key of another algorithm, throws InvalidInputError.
bool verify_bytes(ByteView data, ByteView signature, std::string_view public_pem);
// UTF-8 text in, Base64 signature out; throws as sign_bytes does
// (InvalidInputError, SignatureError).
std::string sign_str(std::string_view plaintext, std::string_view private_pem);
// A signature text that is not strict Base64 verifies as false without the
// key text being read; otherwise as verify_bytes (InvalidInputError).
bool verify_str(std::string_view plaintext, std::string_view signature_b64, std::string_view public_pem);

// Up to MAX_OAEP_PLAINTEXT bytes: one direct block; longer data: a hybrid
// envelope. Throws InvalidInputError "Data cannot be empty" first, then
// InvalidInputError for an unreadable key (or, for an envelope, a key that is
// not KEY_SIZE bits), EncryptionError when the RSA or AES step fails.
Bytes encrypt_bytes(ByteView data, std::string_view public_pem);
// The result size of encrypt_bytes where the data alone tells it (an
// envelope); nothing for a direct block, whose size is the key's.
std::optional<std::size_t> encrypted_size(ByteView data) noexcept;
// encrypt_bytes into `out`, for data whose encrypted_size is known (holding
// exactly that many bytes; InvalidArgumentError otherwise).
void encrypt_bytes_into(ByteView data, std::string_view public_pem, std::span<std::uint8_t> out);
// Whatever encrypt_bytes or the envelope writer produced (format detection,
// hybrid::decrypt_auto). Throws InvalidInputError for an unreadable key,
// DecryptionError when the block or the envelope does not open.
SecureBytes decrypt_bytes(ByteView blob, std::string_view private_pem);
// UTF-8 text in, Base64 out; throws as encrypt_bytes does (InvalidInputError
// "Plaintext cannot be empty" first, EncryptionError).
std::string encrypt_str(std::string_view plaintext, std::string_view public_pem);
// Base64 text in, UTF-8 text out; throws as decrypt_bytes does
// (InvalidInputError, DecryptionError), and DecryptionError for text that is
// not Base64 or a plaintext that is not UTF-8.
SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view private_pem);

}  // namespace morvex::rsa
#pragma GCC visibility pop
