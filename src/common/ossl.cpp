#include "common/ossl.hpp"

#include <openssl/crypto.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <sys/random.h>

#include <cerrno>
#include <climits>

#include "morvex/bytes.hpp"

namespace morvex {

void secure_wipe(void* p, std::size_t n) noexcept {
  if (p != nullptr && n != 0) OPENSSL_cleanse(p, n);
}

namespace detail {
namespace {

// OpenSSL frees its global state from an atexit handler by default. A thread
// that is still encrypting while the process exits (a daemon thread in a
// Python program) would then run on freed memory; the state is left to the
// operating system instead.
[[maybe_unused]] const bool kOpenSslInitialised = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

// OpenSSL checks every imported ML-KEM private key with a trial
// encapsulation and decapsulation, which doubles the cost of a decryption.
// A damaged key already ends in the failure of the message's authentication,
// so the check buys nothing here. Set once, before any other thread can read
// the provider's configuration; the provider stays loaded for the process.
[[maybe_unused]] const bool kMlKemImportUnchecked = [] {
  OSSL_PROVIDER* provider = OSSL_PROVIDER_load(nullptr, "default");
  const bool ok = provider != nullptr &&
                  OSSL_PROVIDER_add_conf_parameter(provider, "ml-kem.import_pct_type", "none") == 1;
  ERR_clear_error();
  return ok;
}();

}  // namespace

const EVP_CIPHER* aes_gcm(std::size_t key_len) {
  static EVP_CIPHER* const c128 = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  static EVP_CIPHER* const c192 = EVP_CIPHER_fetch(nullptr, "AES-192-GCM", nullptr);
  static EVP_CIPHER* const c256 = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  switch (key_len) {
    case 16: return c128;
    case 24: return c192;
    case 32: return c256;
    default: return nullptr;
  }
}

const EVP_CIPHER* aes_256_cbc() {
  static EVP_CIPHER* const c = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  return c;
}

const EVP_MD* sha256() {
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  return md;
}

std::string take_openssl_error() {
  std::string text;
  unsigned long code;
  bool first = true;
  while ((code = ERR_get_error()) != 0) {
    if (first) {
      const char* reason = ERR_reason_error_string(code);
      if (reason != nullptr) {
        text = reason;
      } else {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        text = buf;
      }
      first = false;
    }
  }
  return text;
}

void throw_openssl(const char* fallback) {
  std::string text = take_openssl_error();
  throw PrimitiveError(text.empty() ? std::string(fallback) : text);
}

void random_bytes(std::uint8_t* out, std::size_t n) {
  // The kernel's source directly: one system call for a nonce, no user-space
  // generator state to share between threads or to carry across fork().
  while (n > 0) {
    const ssize_t got = getrandom(out, n, 0);
    if (got > 0) {
      out += got;
      n -= static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;  // getrandom unavailable: OpenSSL's generator (seeded by the kernel)
  }
  while (n > 0) {
    const int chunk = n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    if (RAND_bytes(out, chunk) != 1) throw_openssl("random source failed");
    out += chunk;
    n -= static_cast<std::size_t>(chunk);
  }
}

}  // namespace detail
}  // namespace morvex
