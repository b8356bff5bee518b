// RAII owners for OpenSSL objects, cached algorithm fetches and error text.
#pragma once

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>
#include <string>

#include "morvex/errors.hpp"

namespace morvex::detail {

template <class T, void (*Free)(T*)>
struct OsslDeleter {
  void operator()(T* p) const noexcept { Free(p); }
};
template <class T, void (*Free)(T*)>
using OsslPtr = std::unique_ptr<T, OsslDeleter<T, Free>>;

using CipherCtx = OsslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
using MdCtx = OsslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using PKey = OsslPtr<EVP_PKEY, EVP_PKEY_free>;
using PKeyCtx = OsslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

// Algorithms fetched once per process (explicit fetching avoids the implicit
// per-call lookup that OpenSSL 3 does for EVP_aes_256_gcm() and friends).
const EVP_CIPHER* aes_gcm(std::size_t key_len);  // 16, 24 or 32; else nullptr
const EVP_CIPHER* aes_256_cbc();
const EVP_MD* sha256();

// Drains this thread's OpenSSL error queue and returns the reason text of
// the first queued error ("" when the queue was empty).
std::string take_openssl_error();
// Discards whatever is queued.
inline void clear_openssl_errors() noexcept { ERR_clear_error(); }

// Throws PrimitiveError with OpenSSL's text, or `fallback` when it gave none.
[[noreturn]] void throw_openssl(const char* fallback);

// Cryptographically secure random bytes from the operating system (getrandom;
// OpenSSL's generator where the kernel lacks it). Throws PrimitiveError.
void random_bytes(std::uint8_t* out, std::size_t n);

}  // namespace morvex::detail
