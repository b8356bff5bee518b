#include "common/text.hpp"

#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"

namespace morvex::detail {

Bytes decode_ciphertext(std::string_view ciphertext_b64) {
  try {
    return encoding::base64_decode(ciphertext_b64);
  } catch (const Base64Error&) {
    throw DecryptionError("Ciphertext is not valid Base64", std::current_exception());
  }
}

void check_plaintext_utf8(ByteView data) {
  try {
    encoding::validate_utf8(data);
  } catch (const Utf8Error&) {
    throw DecryptionError("Decrypted data is not valid UTF-8", std::current_exception());
  }
}

SecureString plaintext_text(const SecureBytes& data) {
  check_plaintext_utf8(data);
  return to_string(data);
}

}  // namespace morvex::detail
