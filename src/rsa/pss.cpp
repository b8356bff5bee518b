// RSA-PSS signatures over SHA-256 (MGF1-SHA-256, 32-byte salt).
#include <openssl/core_names.h>
#include <openssl/rsa.h>

#include <string>

#include "common/ossl.hpp"
#include "common/sha.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::rsa {
namespace {

using detail::PKeyCtx;

constexpr std::size_t kDigestLength = 32;

// The RSA signature algorithm, fetched once; the message is hashed here
// with the cached SHA-256 and the digest signed.
EVP_SIGNATURE* rsa_signature() {
  static EVP_SIGNATURE* const sig = EVP_SIGNATURE_fetch(nullptr, "RSA", nullptr);
  if (sig == nullptr) detail::throw_openssl("RSA signatures unavailable");
  return sig;
}

// kPss for OpenSSL, built once.
const OSSL_PARAM* pss_params() {
  static char pad[] = OSSL_PKEY_RSA_PAD_MODE_PSS;
  static std::string hash(kPss.hash), mgf_hash(kPss.mgf_hash);
  static int salt = kPss.salt_length;
  static const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_SIGNATURE_PARAM_DIGEST, hash.data(), 0),
      OSSL_PARAM_construct_utf8_string(OSSL_SIGNATURE_PARAM_PAD_MODE, pad, 0),
      OSSL_PARAM_construct_utf8_string(OSSL_SIGNATURE_PARAM_MGF1_DIGEST, mgf_hash.data(), 0),
      OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_PSS_SALTLEN, &salt),
      OSSL_PARAM_construct_end(),
  };
  return params;
}

bool is_rsa(EVP_PKEY* key) { return EVP_PKEY_is_a(key, "RSA") || EVP_PKEY_is_a(key, "RSA-PSS"); }

std::string not_rsa_text(EVP_PKEY* key) {
  const char* name = EVP_PKEY_get0_type_name(key);
  return std::string("not an RSA key (") + (name != nullptr ? name : "unknown type") + ")";
}

}  // namespace


Bytes sign_bytes(ByteView data, std::string_view private_pem) {
  const Key key = _load_private(private_pem);
  detail::clear_openssl_errors();
  try {
    if (!is_rsa(key.get())) throw PrimitiveError(not_rsa_text(key.get()));
    std::uint8_t digest[kDigestLength];
    detail::sha256(data, digest);
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!ctx || EVP_PKEY_sign_init_ex2(ctx.get(), rsa_signature(), pss_params()) != 1)
      detail::throw_openssl("signing not supported for this key");
    std::size_t len = 0;
    if (EVP_PKEY_sign(ctx.get(), nullptr, &len, digest, sizeof digest) != 1) detail::throw_openssl("signing failed");
    Bytes sig(len);
    if (EVP_PKEY_sign(ctx.get(), sig.data(), &len, digest, sizeof digest) != 1) detail::throw_openssl("signing failed");
    sig.resize(len);
    return sig;
  } catch (const PrimitiveError& e) {
    throw SignatureError(std::string("RSA signing failed: ") + e.what(), std::current_exception());
  }
}

bool verify_bytes(ByteView data, ByteView signature, std::string_view public_pem) {
  const Key key = _load_public(public_pem);
  if (!is_rsa(key.get())) {
    // A readable key of another algorithm is still the wrong key text.
    const std::string text = not_rsa_text(key.get());
    throw InvalidInputError("Invalid RSA public key PEM: " + text, std::make_exception_ptr(PrimitiveError(text)));
  }
  detail::clear_openssl_errors();
  std::uint8_t digest[kDigestLength];
  detail::sha256(data, digest);
  PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_init_ex2(ctx.get(), rsa_signature(), pss_params()) != 1)
    detail::throw_openssl("verification not supported for this key");
  // Every failure of the check itself (wrong length, bad padding, another
  // salt length, another key or data) is a signature that does not match.
  const int rc = EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest, sizeof digest);
  detail::clear_openssl_errors();
  return rc == 1;
}

std::string sign_str(std::string_view plaintext, std::string_view private_pem) {
  return encoding::base64_encode(sign_bytes(encoding::text_bytes(plaintext), private_pem));
}

bool verify_str(std::string_view plaintext, std::string_view signature_b64, std::string_view public_pem) {
  const std::optional<Bytes> signature = encoding::try_base64_decode(signature_b64);
  if (!signature) return false;
  return verify_bytes(encoding::text_bytes(plaintext), *signature, public_pem);
}

}  // namespace morvex::rsa
