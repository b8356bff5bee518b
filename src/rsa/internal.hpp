// What the RSA area shares with the other areas that handle RSA keys.
#pragma once

#include <openssl/types.h>

namespace morvex::rsa::internal {

// A public exponent of 1 leaves the padded message as it is and an even one
// has no inverse: a public key with either protects nothing and is refused
// where it is loaded, with this reason.
inline constexpr const char* kUnusableExponent = "public exponent must be odd and greater than 1";
// True for an RSA key whose public exponent is 1 or even.
bool has_unusable_exponent(EVP_PKEY* key);

}  // namespace morvex::rsa::internal
