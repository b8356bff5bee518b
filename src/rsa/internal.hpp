// What the RSA area shares with the other areas that handle RSA keys.
#pragma once

#include <openssl/types.h>

#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::rsa {

// The block operations of _encrypt_oaep and _decrypt_oaep over a loaded key,
// with the same error mapping (no length limit of their own).
Bytes encrypt_oaep_with(EVP_PKEY* key, ByteView data);
SecureBytes decrypt_oaep_with(EVP_PKEY* key, ByteView blob);

}  // namespace morvex::rsa

namespace morvex::rsa::internal {

// The direct path of encrypt_bytes with the block encryption passed in: a
// block that the format detection would take for an envelope (one in 2^32
// begins with the legacy mark) is encrypted again, so it always opens.
using BlockEncryptor = Bytes (*)(ByteView, std::string_view);
Bytes encrypt_direct(ByteView data, std::string_view public_pem, BlockEncryptor encrypt);

// A public exponent of 1 leaves the padded message as it is and an even one
// has no inverse: a public key with either protects nothing and is refused
// where it is loaded, with this reason.
inline constexpr const char* kUnusableExponent = "public exponent must be odd and greater than 1";
// True for an RSA key whose public exponent is 1 or even.
bool has_unusable_exponent(EVP_PKEY* key);

// The DER structures an RSA key arrives in.
enum class KeyStructure { SubjectPublicKeyInfo, RsaPublicKey, PrivateKeyInfo, RsaPrivateKey };
// Null when `der` is exactly one canonical DER encoding of the structure
// (for RSA keys inside the PKCS#8 and SubjectPublicKeyInfo wrappers, down
// to the key's numbers); otherwise what is wrong with it.
const char* der_fault(ByteView der, KeyStructure structure);
// Which of the two private key structures `der` has the shape of.
KeyStructure private_structure(ByteView der);

// RSA-OAEP under kOaep over a loaded key; failures pass as PrimitiveError
// (each area words its own error around them).
Bytes oaep_encrypt(EVP_PKEY* key, ByteView data);
SecureBytes oaep_decrypt(EVP_PKEY* key, ByteView blob);

}  // namespace morvex::rsa::internal
