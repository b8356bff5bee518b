#include <nanobind/stl/optional.h>

#include "keys/internal.hpp"
#include "module.hpp"
#include "morvex/keys.hpp"

namespace morvex::py {

void bind_keys(nb::module_& m) {
  m.attr("AES_KEY_SIZE") = keys::AES_KEY_SIZE;
  m.def("convert_key", &keys::convert_key, guard(), "key"_a,
        "Normalise a key text to the 32 bytes of an AES-256 key.\n\n"
        "The Base64 text of a 32-byte key gives those bytes, that of a 64-byte value its\n"
        "first 32 bytes; other Base64 is hashed (SHA-256) from its decoded bytes and any\n"
        "other text from its UTF-8 bytes. Raises UnicodeEncodeError only for text\n"
        "without a UTF-8 form.");
  m.def("_try_base64", &keys::_try_base64, guard(), "s"_a,
        "Strict Base64 reading of s, or None when s is not strict Base64 (or is empty).");
}

}  // namespace morvex::py
