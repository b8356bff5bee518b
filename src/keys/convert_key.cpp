#include <cstring>

#include "common/sha.hpp"
#include "keys/internal.hpp"
#include "morvex/encoding.hpp"
#include "morvex/keys.hpp"

namespace morvex::keys {

std::optional<SecureBytes> _try_base64(std::string_view s) {
  if (s.empty() || s.size() % 4 != 0) return std::nullopt;
  return encoding::try_base64_decode_secure(s);
}

AesKey convert_key(std::string_view key) {
  AesKey out;
  const std::optional<SecureBytes> decoded = _try_base64(key);
  if (!decoded) {
    detail::sha256(encoding::text_bytes(key), out.data());
    return out;
  }
  if (decoded->size() == AES_KEY_SIZE || decoded->size() == 2 * AES_KEY_SIZE) {
    std::memcpy(out.data(), decoded->data(), AES_KEY_SIZE);
  } else {
    detail::sha256(*decoded, out.data());
  }
  return out;
}

}  // namespace morvex::keys
