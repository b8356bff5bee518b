// RSA-OAEP blocks: SHA-256, MGF1-SHA-256, empty label.
#include <openssl/core_names.h>
#include <openssl/rsa.h>

#include <string>

#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::rsa {
namespace {

using detail::PKeyCtx;

// kOaep as OpenSSL parameters, built once. MGF1 is OpenSSL's only mask
// generation function and the label is left at its default, the empty label.
const OSSL_PARAM* oaep_params() {
  static_assert(kOaep.mgf == "MGF1" && kOaep.label.empty());
  static char pad[] = OSSL_PKEY_RSA_PAD_MODE_OAEP;
  static std::string hash(kOaep.hash), mgf_hash(kOaep.mgf_hash);
  static const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_ASYM_CIPHER_PARAM_PAD_MODE, pad, 0),
      OSSL_PARAM_construct_utf8_string(OSSL_ASYM_CIPHER_PARAM_OAEP_DIGEST, hash.data(), 0),
      OSSL_PARAM_construct_utf8_string(OSSL_ASYM_CIPHER_PARAM_MGF1_DIGEST, mgf_hash.data(), 0),
      OSSL_PARAM_construct_end(),
  };
  return params;
}

PKeyCtx context_for(EVP_PKEY* key) {
  PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx) detail::throw_openssl("no context for the key");
  return ctx;
}

}  // namespace

namespace {

using PKeyInit = int (*)(EVP_PKEY_CTX*, const OSSL_PARAM*);
using PKeyOp = int (*)(EVP_PKEY_CTX*, unsigned char*, std::size_t*, const unsigned char*, std::size_t);

// One OAEP operation into an owner of the caller's kind (a wiping one for
// plaintexts): the size query, then the operation itself.
template <class Out>
Out oaep_run(EVP_PKEY* key, ByteView in, PKeyInit init, PKeyOp op, const char* failed) {
  detail::clear_openssl_errors();
  const PKeyCtx ctx = context_for(key);
  if (init(ctx.get(), oaep_params()) != 1) detail::throw_openssl("operation not supported for this keytype");
  std::size_t len = 0;
  if (op(ctx.get(), nullptr, &len, in.data(), in.size()) != 1) detail::throw_openssl(failed);
  Out out(len);
  if (op(ctx.get(), out.data(), &len, in.data(), in.size()) != 1) detail::throw_openssl(failed);
  out.resize(len);
  return out;
}

}  // namespace

Bytes internal::encrypt_oaep(EVP_PKEY* key, ByteView data, OaepErrors errors) {
  const auto run = [&] {
    return oaep_run<Bytes>(key, data, &EVP_PKEY_encrypt_init_ex, &EVP_PKEY_encrypt, "encryption failed");
  };
  if (errors == OaepErrors::Primitive) return run();
  try {
    return run();
  } catch (const PrimitiveError& e) {
    throw EncryptionError(std::string("RSA encryption failed: ") + e.what(), std::current_exception());
  }
}

SecureBytes internal::decrypt_oaep(EVP_PKEY* key, ByteView blob, OaepErrors errors) {
  const auto run = [&] {
    return oaep_run<SecureBytes>(key, blob, &EVP_PKEY_decrypt_init_ex, &EVP_PKEY_decrypt, "decryption failed");
  };
  if (errors == OaepErrors::Primitive) return run();
  try {
    return run();
  } catch (const PrimitiveError& e) {
    throw DecryptionError(std::string("RSA decryption failed: ") + e.what(), std::current_exception());
  }
}

Bytes internal::encrypt_oaep(ByteView data, std::string_view public_pem) {
  if (data.size() > MAX_OAEP_PLAINTEXT) {
    throw InvalidInputError("Data too large for a direct RSA-OAEP block (" + std::to_string(data.size()) +
                            " > " + std::to_string(MAX_OAEP_PLAINTEXT) + " bytes)");
  }
  const Key key = _load_public(public_pem);
  return encrypt_oaep(key.get(), data);
}

SecureBytes internal::decrypt_oaep(ByteView blob, std::string_view private_pem) {
  const Key key = _load_private(private_pem);
  return decrypt_oaep(key.get(), blob);
}

}  // namespace morvex::rsa
