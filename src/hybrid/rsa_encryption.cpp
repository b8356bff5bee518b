// The RSA area's public encryption operations: a direct OAEP block for short
// data, the hybrid envelope for longer data, and format detection to decrypt.
// They stand on the envelope and the detection, which stand on the RSA block
// layer: so they live here, and src/rsa/ never reaches into src/hybrid/.
#include <stdexcept>

#include "hybrid/internal.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::hybrid::internal {
namespace {
constexpr int kMaxAttempts = 64;
}  // namespace

Bytes encrypt_direct(ByteView data, std::string_view public_pem, BlockEncryptor encrypt) {
  // OAEP is randomised: a fresh encryption leaves the other formats' marks
  // behind (each try keeps one with a chance of about 2^-32). The bound only
  // guards against a key that could never give a readable block.
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    Bytes block = encrypt(data, public_pem);
    if (detect_format(block) == Format::Direct) return block;
  }
  const std::string text = "every block read as another format";
  throw EncryptionError("RSA encryption failed: " + text, std::make_exception_ptr(PrimitiveError(text)));
}

}  // namespace morvex::hybrid::internal

namespace morvex::rsa {

// Up to MAX_OAEP_PLAINTEXT bytes go as one direct block, longer data as an
// envelope: the one place that routes.
std::optional<std::size_t> encrypted_size(ByteView data) noexcept {
  if (data.size() <= MAX_OAEP_PLAINTEXT) return std::nullopt;
  return hybrid::encrypted_size(data);
}

void encrypt_bytes_into(ByteView data, std::string_view public_pem, std::span<std::uint8_t> out) {
  if (data.empty()) throw InvalidInputError("Data cannot be empty");
  if (!encrypted_size(data)) throw InvalidArgumentError("a direct block's size is the key's");
  hybrid::encrypt_bytes_into(data, public_pem, out);
}

Bytes encrypt_bytes(ByteView data, std::string_view public_pem) {
  if (data.empty()) throw InvalidInputError("Data cannot be empty");
  if (!encrypted_size(data)) return hybrid::internal::encrypt_direct(data, public_pem, &internal::encrypt_oaep);
  return hybrid::encrypt_bytes(data, public_pem);
}

SecureBytes decrypt_bytes(ByteView blob, std::string_view private_pem) { return hybrid::decrypt_auto(blob, private_pem); }

std::string encrypt_str(std::string_view plaintext, std::string_view public_pem) {
  if (plaintext.empty()) throw InvalidInputError("Plaintext cannot be empty");
  return encoding::base64_encode(encrypt_bytes(encoding::text_bytes(plaintext), public_pem));
}

// The same reading as the envelope area's text form: both end in the format
// detection.
SecureString decrypt_str(std::string_view ciphertext_b64, std::string_view private_pem) {
  return hybrid::decrypt_str(ciphertext_b64, private_pem);
}

}  // namespace morvex::rsa
