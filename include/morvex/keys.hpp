// Key normalisation: any key text to the 32 bytes of an AES-256 key.
//
// Thread safety: a pure function, safe on any number of threads at once.
// Ownership: the key comes back in a SecretArray the caller owns, wiped when
// it goes out of scope.
#pragma once

#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::keys {

inline constexpr std::size_t AES_KEY_SIZE = 32;

using AesKey = SecretArray<AES_KEY_SIZE>;

// The Base64 text of a 32-byte key gives those bytes, that of a 64-byte value
// its first 32 bytes; other Base64 is hashed from its decoded bytes and any
// other text from its UTF-8 bytes (SHA-256). Never fails.
AesKey convert_key(std::string_view key);

}  // namespace morvex::keys
#pragma GCC visibility pop
