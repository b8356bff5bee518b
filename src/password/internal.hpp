// The hash table of PBKDF2 and the derivation itself, as the record code,
// the Python binding, the tests and the fuzz targets use them. Not installed.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "morvex/bytes.hpp"
#include "morvex/password.hpp"

namespace morvex::password {

// The hash functions PBKDF2 may use, keyed by upper-case name, in this order.
struct HashEntry {
  std::string_view name;          // "SHA512"
  const char* digest;             // OpenSSL's name of the digest
  std::string_view python_name;   // hashlib's name
};
inline constexpr std::array<HashEntry, 2> kHashes{{
    {"SHA512", "SHA2-512", "sha512"},
    {"SHA256", "SHA2-256", "sha256"},
}};

// The entry whose name equals `name` upper-cased (Unicode upper-casing, so
// "sha256", "Sha512" and the long-s spelling "\u017fha512" all match), or
// nullptr.
const HashEntry* _find_hash(std::string_view name) noexcept;

// PBKDF2-HMAC over the UTF-8 password with the named hash (case-insensitive).
// Throws MorvexError "Unsupported hash algorithm: <name as given>" for a
// name not in kHashes, InvalidArgumentError for an iteration count or a
// length below 1, PrimitiveError when OpenSSL fails.
SecureBytes _derive(std::string_view password, ByteView salt, std::int64_t iterations,
                    std::int64_t length, std::string_view hash_algorithm);

}  // namespace morvex::password
