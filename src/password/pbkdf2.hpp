// PBKDF2-HMAC driven from the hash's block function.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::detail {

// PBKDF2-HMAC (PKCS #5 v2.1) with SHA-512 or SHA-256, named as OpenSSL names
// them ("SHA2-512", "SHA2-256"). The HMAC key pads are hashed once per call
// and every later iteration is two calls of the compression function on
// those saved states. Returns false, with `out` untouched, when this build
// has no such path for the digest; the caller then derives through EVP_KDF.
bool pbkdf2_hmac_blocks(std::string_view digest, std::string_view password, ByteView salt,
                        std::uint64_t iterations, std::span<std::uint8_t> out);

}  // namespace morvex::detail
