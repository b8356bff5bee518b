// Key derivation (HKDF-Expand-SHA-512 with key commitment) and the per-chunk
// AES-256-GCM of the stream format.
#include <openssl/core_names.h>
#include <openssl/crypto.h>

#include <cstring>
#include <string>

#include "stream/internal.hpp"

namespace morvex::stream::internal {
namespace {

using detail::OsslPtr;
using MacCtx = OsslPtr<EVP_MAC_CTX, EVP_MAC_CTX_free>;

constexpr std::string_view kInfoPrefix = "c2sp.org/chunked-encryption@v1+AEAD_AES_256_GCM";
constexpr std::size_t kDerived = kKeySize + aes::GCM_NONCE_SIZE + COMMITMENT_SIZE;  // 76
constexpr std::size_t kSha512 = 64;

// HMAC-SHA-512 without a key, set up once: each derivation copies it and
// keys the copy (naming the digest on every call costs a fetch each time).
const EVP_MAC_CTX* hmac_sha512() {
  static EVP_MAC_CTX* const tmpl = [] {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* ctx = mac != nullptr ? EVP_MAC_CTX_new(mac) : nullptr;
    EVP_MAC_free(mac);  // the context holds its own reference
    char digest[] = "SHA2-512";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (ctx != nullptr && EVP_MAC_CTX_set_params(ctx, params) != 1) {
      EVP_MAC_CTX_free(ctx);
      ctx = nullptr;
    }
    detail::clear_openssl_errors();
    return ctx;
  }();
  return tmpl;
}

// HKDF-Expand (RFC 5869 section 2.3) over HMAC-SHA-512: T(i) = HMAC(prk,
// T(i-1) || info || i); the info is fed in parts, so a context of any size
// works.
void hkdf_expand_sha512(ByteView prk, std::initializer_list<ByteView> info, std::uint8_t* out, std::size_t n) {
  if (hmac_sha512() == nullptr) detail::throw_openssl("HMAC-SHA-512 unavailable");
  SecretArray<kSha512> t;
  std::size_t t_len = 0, done = 0;
  MacCtx ctx(EVP_MAC_CTX_dup(hmac_sha512()));
  if (!ctx || EVP_MAC_init(ctx.get(), prk.data(), prk.size(), nullptr) != 1)
    detail::throw_openssl("HMAC initialisation failed");
  for (std::uint8_t i = 1; done < n; ++i) {
    // Later blocks restart under the same key.
    bool ok = i == 1 || EVP_MAC_init(ctx.get(), nullptr, 0, nullptr) == 1;
    ok = ok && (t_len == 0 || EVP_MAC_update(ctx.get(), t.data(), t_len) == 1);
    for (ByteView part : info) ok = ok && (part.empty() || EVP_MAC_update(ctx.get(), part.data(), part.size()) == 1);
    ok = ok && EVP_MAC_update(ctx.get(), &i, 1) == 1;
    std::size_t got = 0;
    if (!ok || EVP_MAC_final(ctx.get(), t.data(), &got, kSha512) != 1 || got != kSha512)
      detail::throw_openssl("HMAC failed");
    t_len = kSha512;
    const std::size_t take = std::min(kSha512, n - done);
    std::memcpy(out + done, t.data(), take);
    done += take;
  }
}

// The tag through the provider's parameters directly (the ctrl interface
// translates to these on every call).
bool tag_param(EVP_CIPHER_CTX* ctx, std::uint8_t* tag, bool get) {
  OSSL_PARAM params[] = {OSSL_PARAM_construct_octet_string(OSSL_CIPHER_PARAM_AEAD_TAG, tag, TAG_SIZE),
                         OSSL_PARAM_construct_end()};
  return (get ? EVP_CIPHER_CTX_get_params(ctx, params) : EVP_CIPHER_CTX_set_params(ctx, params)) == 1;
}

}  // namespace

Session::Session(ByteView input_key, ByteView salt, ByteView context) {
  if (input_key.size() != kKeySize) throw InvalidInputError("Stream input key must be 32 bytes");
  static const std::uint8_t kZero = 0;
  SecretArray<kDerived> okm;
  try {
    hkdf_expand_sha512(input_key, {as_bytes(kInfoPrefix), ByteView(&kZero, 1), salt, context}, okm.data(), kDerived);
  } catch (const PrimitiveError& e) {
    throw EncryptionError(std::string(kEncryptFailed) + e.what(), std::current_exception());
  }
  std::memcpy(key_.data(), okm.data(), kKeySize);
  std::memcpy(base_nonce_.data(), okm.data() + kKeySize, aes::GCM_NONCE_SIZE);
  std::memcpy(commitment_.data(), okm.data() + kKeySize + aes::GCM_NONCE_SIZE, COMMITMENT_SIZE);
}

bool Session::commitment_matches(ByteView stored) const noexcept {
  return stored.size() == COMMITMENT_SIZE && CRYPTO_memcmp(stored.data(), commitment_.data(), COMMITMENT_SIZE) == 0;
}

// The key is scheduled once per message and direction; each chunk only sets
// its nonce: base nonce XOR the counter as a big-endian integer.
void Session::set_nonce(std::uint64_t index, bool encrypt) {
  std::uint8_t nonce[aes::GCM_NONCE_SIZE];
  std::memcpy(nonce, base_nonce_.data(), aes::GCM_NONCE_SIZE);
  for (int b = 0; b < 8; ++b) nonce[aes::GCM_NONCE_SIZE - 1 - b] ^= static_cast<std::uint8_t>(index >> (8 * b));
  const int mode = encrypt ? 1 : 0;
  if (!ctx_) {
    ctx_.reset(EVP_CIPHER_CTX_new());
    if (!ctx_) detail::throw_openssl("cipher initialisation failed");
  }
  const bool ok = mode_ == mode
                      ? EVP_CipherInit_ex2(ctx_.get(), nullptr, nullptr, nonce, mode, nullptr) == 1
                      : EVP_CipherInit_ex2(ctx_.get(), detail::aes_gcm(kKeySize), key_.data(), nonce, mode,
                                           nullptr) == 1;
  if (!ok) {
    mode_ = -1;
    detail::throw_openssl("cipher initialisation failed");
  }
  mode_ = mode;
}

void Session::seal(std::uint64_t index, ByteView in, std::uint8_t* out) {
  try {
    set_nonce(index, true);
    int outl = 0;
    if (!in.empty() && EVP_EncryptUpdate(ctx_.get(), out, &outl, in.data(), static_cast<int>(in.size())) != 1)
      detail::throw_openssl("encryption failed");
    if (EVP_EncryptFinal_ex(ctx_.get(), out + in.size(), &outl) != 1) detail::throw_openssl("encryption failed");
    if (!tag_param(ctx_.get(), out + in.size(), true)) detail::throw_openssl("could not read the tag");
  } catch (const PrimitiveError& e) {
    mode_ = -1;
    throw EncryptionError(std::string(kEncryptFailed) + e.what(), std::current_exception());
  }
}

bool Session::open(std::uint64_t index, ByteView sealed, std::uint8_t* out) {
  const std::size_t n = sealed.size() - TAG_SIZE;
  set_nonce(index, false);
  int outl = 0;
  if (n != 0 && EVP_DecryptUpdate(ctx_.get(), out, &outl, sealed.data(), static_cast<int>(n)) != 1)
    detail::throw_openssl("decryption failed");
  if (!tag_param(ctx_.get(), const_cast<std::uint8_t*>(sealed.data() + n), false))
    detail::throw_openssl("could not set the tag");
  if (EVP_DecryptFinal_ex(ctx_.get(), out + n, &outl) != 1) {
    detail::clear_openssl_errors();
    secure_wipe(out, n);
    return false;
  }
  return true;
}

Shape shape_of(std::uint64_t total) noexcept {
  if (total <= HEADER_SIZE) return {};
  const std::uint64_t body = total - HEADER_SIZE;
  const std::uint64_t full = (body - 1) / SEALED_CHUNK_SIZE;
  return {full, body - full * SEALED_CHUNK_SIZE};
}

}  // namespace morvex::stream::internal
