// What the RSA area shares with the other areas that handle RSA keys: loaded
// keys, the PEM loaders, the OAEP block layer and the DER checks. Not
// installed; the envelope, Gen7, the Python binding, the tests and the fuzz
// targets use it.
#pragma once

#include <openssl/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::rsa {

// An owned key handle of the crypto library, released with the handle.
struct KeyDeleter {
  void operator()(EVP_PKEY* key) const noexcept;
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;

// What a loaded key is: its algorithm ("RSA"), its size in bits and, for an
// RSA key, its public exponent as decimal text.
struct KeyDescription {
  std::string type_name;
  int bits;
  std::optional<std::string> public_exponent;
};
KeyDescription describe(const Key& key);

// PEM readers. Any key type loads; PKCS#1 forms are accepted, encrypted keys
// refused. Throw InvalidInputError "Invalid RSA public key PEM: ..." /
// "Invalid RSA private key PEM: ...".
Key _load_public(std::string_view public_pem);
Key _load_private(std::string_view private_pem);

}  // namespace morvex::rsa

namespace morvex::rsa::internal {

// The OAEP block layer: RSA-OAEP under kOaep, one block as long as the
// modulus.
//
// Over a key text: throws InvalidInputError for more than MAX_OAEP_PLAINTEXT
// bytes (before the key text is read) or an unreadable key, EncryptionError
// "RSA encryption failed: ..." otherwise; decryption throws InvalidInputError
// for an unreadable key, DecryptionError "RSA decryption failed: ..."
// otherwise. Over a loaded key: the same error mapping, no length limit of
// its own. With OaepErrors::Primitive the failures pass as PrimitiveError
// (for a caller that words its own error around them, as Gen7 does).
enum class OaepErrors { Mapped, Primitive };
Bytes encrypt_oaep(ByteView data, std::string_view public_pem);
Bytes encrypt_oaep(EVP_PKEY* key, ByteView data, OaepErrors errors = OaepErrors::Mapped);
SecureBytes decrypt_oaep(ByteView blob, std::string_view private_pem);
SecureBytes decrypt_oaep(EVP_PKEY* key, ByteView blob, OaepErrors errors = OaepErrors::Mapped);

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

}  // namespace morvex::rsa::internal
