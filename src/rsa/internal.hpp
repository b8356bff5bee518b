// What the RSA area shares with the other areas that handle RSA keys.
#pragma once

#include <openssl/types.h>

#include "morvex/bytes.hpp"

namespace morvex::rsa::internal {

// A public exponent of 1 leaves the padded message as it is and an even one
// has no inverse: a public key with either protects nothing and is refused
// where it is loaded, with this reason.
inline constexpr const char* kUnusableExponent = "public exponent must be odd and greater than 1";
// True for an RSA key whose public exponent is 1 or even.
bool has_unusable_exponent(EVP_PKEY* key);

// RSA-OAEP under kOaep over a loaded key; failures pass as PrimitiveError
// (each area words its own error around them).
Bytes oaep_encrypt(EVP_PKEY* key, ByteView data);
SecureBytes oaep_decrypt(EVP_PKEY* key, ByteView blob);

}  // namespace morvex::rsa::internal
