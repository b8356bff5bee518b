#include "glue.hpp"
#include "morvex/keys.hpp"

namespace morvex::py {

void bind_keys(nb::module_& m) {
  m.attr("AES_KEY_SIZE") = keys::AES_KEY_SIZE;
  m.def(
      "convert_key",
      [](const nb::str& key) {
        const std::string_view k = text_arg(key);
        return bytes_result(keys::AES_KEY_SIZE, [&](std::span<std::uint8_t> out) {
          const keys::AesKey aes_key = keys::convert_key(k);
          std::memcpy(out.data(), aes_key.data(), keys::AES_KEY_SIZE);
        });
      },
      nb::arg("key"),
      "Normalise a key text to the 32 bytes of an AES-256 key.\n\n"
      "The Base64 text of a 32-byte key gives those bytes, that of a 64-byte value its\n"
      "first 32 bytes; other Base64 is hashed (SHA-256) from its decoded bytes and any\n"
      "other text from its UTF-8 bytes. Never raises.");
  m.def(
      "_try_base64",
      [](const nb::str& s) -> nb::object {
        const std::string_view t = text_arg(s);
        std::optional<Bytes> decoded = unlocked([&] { return keys::_try_base64(t); });
        if (!decoded) return nb::none();
        return to_py_bytes(*decoded);
      },
      nb::arg("s"), nb::sig("def _try_base64(s: str) -> bytes | None"),
      "Strict Base64 reading of s, or None when s is not strict Base64 (or is empty).");
}

}  // namespace morvex::py
