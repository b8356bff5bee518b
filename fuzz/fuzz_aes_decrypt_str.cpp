// aes::decrypt_str on any text under any key text. The first input byte picks
// the mode and the key length: mode 0 hands the rest to decrypt_str as the
// Base64 text; mode 1 seals the rest as bytes first, so that the UTF-8 step
// sees arbitrary plaintexts behind a tag that verifies.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"

using namespace morvex;

namespace {

constexpr const char* kNotGcm =
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data).";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool seal_first = data[0] & 0x80;
  const std::size_t key_len = std::min<std::size_t>(data[0] & 0x7F, size - 1);
  const std::string_view key(reinterpret_cast<const char*>(data + 1), key_len);
  const std::string_view rest(reinterpret_cast<const char*>(data + 1 + key_len), size - 1 - key_len);
  // A key text with no UTF-8 form (an encoded surrogate) is refused, once
  // the ciphertext text has been read.
  try {
    encoding::text_bytes(key);
  } catch (const TextEncodeError&) {
    return 0;
  }

  if (!seal_first) {
    try {
      const SecureString text = aes::decrypt_str(rest, key);
      // Only a blob that authenticates gets here; a fuzzer cannot forge one.
      std::abort();
    } catch (const DecryptionError& e) {
      const std::string_view m = e.what();
      if (m == "Ciphertext is not valid Base64") {
        if (!e.cause() || encoding::try_base64_decode(rest)) std::abort();
      } else if (m == kNotGcm) {
        if (e.cause() || (!encoding::try_base64_decode(rest) && !rest.empty())) std::abort();
      } else {
        std::abort();
      }
    }
    return 0;
  }

  if (rest.empty()) return 0;
  if (key.empty()) {  // nothing is sealed under the empty key text
    try {
      (void)aes::encrypt_bytes(as_bytes(rest), key);
      std::abort();
    } catch (const InvalidInputError&) {
    }
    return 0;
  }
  const std::string b64 = encoding::base64_encode(aes::encrypt_bytes(as_bytes(rest), key));
  try {
    const SecureString text = aes::decrypt_str(b64, key);
    if (text != rest || !encoding::is_valid_utf8(as_bytes(rest))) std::abort();
  } catch (const DecryptionError& e) {
    if (std::string_view(e.what()) != "Decrypted data is not valid UTF-8" || !e.cause() ||
        encoding::is_valid_utf8(as_bytes(rest)))
      std::abort();
  }
  return 0;
}
