// Symmetric building blocks of the post-quantum formats: HKDF-SHA256,
// AES-GCM seal/open, AES-CBC with PKCS#7, HMAC-SHA256.
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/ct.hpp"
#include "common/gcm.hpp"
#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "quantum/internal.hpp"

namespace morvex::quantum {
namespace {

using detail::OsslPtr;
using KdfCtx = OsslPtr<EVP_KDF_CTX, EVP_KDF_CTX_free>;
using MacCtx = OsslPtr<EVP_MAC_CTX, EVP_MAC_CTX_free>;

using internal::kGcmFailed;
constexpr const char* kUnpadFailed = "Quantum AES-CBC unpadding failed";

EVP_KDF* hkdf_kdf() {
  static EVP_KDF* const kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  return kdf;
}

EVP_MAC* hmac_mac() {
  static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  return mac;
}

const EVP_CIPHER* aes_cbc(std::size_t key_len) {
  static EVP_CIPHER* const c128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  static EVP_CIPHER* const c192 = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
  switch (key_len) {
    case 16: return c128;
    case 24: return c192;
    case 32: return detail::aes_256_cbc();
    default: throw PrimitiveError("invalid key size for AES-CBC");
  }
}

// EVP update lengths are ints: large inputs go in slices of whole blocks,
// the chaining carried from one slice to the next by the context.
constexpr std::size_t kSlice = std::size_t{1} << 30;

// Raw AES-CBC without padding over whole blocks.
void cbc_raw(bool encrypt, ByteView in, ByteView key, ByteView iv, std::uint8_t* out) {
  const EVP_CIPHER* cipher = aes_cbc(key.size());
  if (iv.size() != kCbcIvSize) throw PrimitiveError("invalid IV size for AES-CBC");
  detail::CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex2(ctx.get(), cipher, key.data(), iv.data(), encrypt ? 1 : 0, nullptr) != 1)
    detail::throw_openssl("cipher initialisation failed");
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::size_t done = 0;
  while (done < in.size()) {
    const std::size_t n = std::min(kSlice, in.size() - done);
    int outl = 0;
    if (EVP_CipherUpdate(ctx.get(), out + done, &outl, in.data() + done, static_cast<int>(n)) != 1)
      detail::throw_openssl("cipher failed");
    done += n;
  }
  int fin = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out + done, &fin) != 1)
    detail::throw_openssl("data not multiple of block length");
}

}  // namespace

namespace internal {

void hkdf_into(ByteView ikm, ByteView salt, ByteView info, std::span<std::uint8_t> out) {
  EVP_KDF* kdf = hkdf_kdf();
  if (kdf == nullptr) detail::throw_openssl("HKDF unavailable");
  KdfCtx ctx(EVP_KDF_CTX_new(kdf));
  if (!ctx) detail::throw_openssl("HKDF unavailable");
  // A non-null pointer for empty values: OpenSSL treats (nullptr, 0) as absent.
  static const std::uint8_t kEmpty = 0;
  auto ptr = [](ByteView v) { return const_cast<std::uint8_t*>(v.empty() ? &kEmpty : v.data()); };
  char digest[] = "SHA256";
  OSSL_PARAM params[5];
  OSSL_PARAM* p = params;
  *p++ = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0);
  *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ptr(ikm), ikm.size());
  if (!salt.empty()) *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, ptr(salt), salt.size());
  *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, ptr(info), info.size());
  *p = OSSL_PARAM_construct_end();
  if (EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) != 1)
    detail::throw_openssl("HKDF failed");
}

void hmac256_parts(ByteView key, std::initializer_list<ByteView> parts, std::uint8_t out[32]) {
  EVP_MAC* mac = hmac_mac();
  if (mac == nullptr) detail::throw_openssl("HMAC unavailable");
  MacCtx ctx(EVP_MAC_CTX_new(mac));
  if (!ctx) detail::throw_openssl("HMAC unavailable");
  static const std::uint8_t kEmpty = 0;
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  if (EVP_MAC_init(ctx.get(), key.empty() ? &kEmpty : key.data(), key.size(), params) != 1)
    detail::throw_openssl("HMAC initialisation failed");
  for (ByteView part : parts)
    if (!part.empty() && EVP_MAC_update(ctx.get(), part.data(), part.size()) != 1)
      detail::throw_openssl("HMAC failed");
  std::size_t outl = 0;
  if (EVP_MAC_final(ctx.get(), out, &outl, kMacSize) != 1 || outl != kMacSize)
    detail::throw_openssl("HMAC failed");
}

void gcm_seal_into(ByteView key, const std::uint8_t* nonce, ByteView data, std::uint8_t* out) {
  detail::gcm_seal(key, nonce, data, out, out + data.size());
}

void hkdf_gcm_seal_into(ByteView ikm, std::size_t salt_len, ByteView info, ByteView data,
                        std::uint8_t* out) {
  detail::random_bytes(out, salt_len);
  SecretArray<32> key;
  hkdf_into(ikm, ByteView(out, salt_len), info, key.span());
  std::uint8_t* nonce = out + salt_len;
  detail::random_bytes(nonce, aes::GCM_NONCE_SIZE);
  gcm_seal_into(key.span(), nonce, data, nonce + aes::GCM_NONCE_SIZE);
}

SecureBytes gcm_open_body(ByteView key, ByteView body) {
  const std::size_t n = body.size() - aes::GCM_NONCE_SIZE - aes::GCM_TAG_SIZE;
  return _gcm_open(key, body.first(aes::GCM_NONCE_SIZE), body.subspan(aes::GCM_NONCE_SIZE, n), body.last(aes::GCM_TAG_SIZE));
}

SecureBytes hkdf_gcm_open(ByteView ikm, std::size_t salt_len, ByteView info, ByteView enc) {
  SecretArray<32> key;
  hkdf_into(ikm, enc.first(salt_len), info, key.span());
  return gcm_open_body(key.span(), enc.subspan(salt_len));
}

void cbc_encrypt_into(ByteView data, ByteView key, const std::uint8_t* iv, std::uint8_t* out) {
  const std::size_t n = data.size();
  const std::size_t full = n / 16 * 16;
  const std::size_t total = cbc_size(n);
  // The last block carries the data's tail and the padding.
  SecretArray<16> last;
  const auto pad = static_cast<std::uint8_t>(total - n);
  if (n > full) std::memcpy(last.data(), data.data() + full, n - full);
  std::memset(last.data() + (n - full), pad, 16 - (n - full));
  // Encrypt in place: copy the whole blocks, then the padded block.
  if (full != 0 && out != data.data()) std::memmove(out, data.data(), full);
  std::memcpy(out + full, last.data(), 16);
  cbc_raw(true, ByteView(out, total), key, ByteView(iv, kCbcIvSize), out);
}

bool equal_ct(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) noexcept {
  // The answer is public: it is what the comparison is for.
  return detail::public_value(CRYPTO_memcmp(a, b, n) == 0);
}

void check_mac(ByteView mac_key, ByteView enc, const char* refusal) {
  SecretArray<kMacSize> expected;
  hmac256_parts(mac_key, {enc.first(enc.size() - kMacSize)}, expected.data());
  if (!equal_ct(expected.data(), enc.data() + enc.size() - kMacSize, kMacSize)) throw DecryptionError(refusal);
}

}  // namespace internal

SecureBytes _hkdf(ByteView ikm, ByteView salt, ByteView info, std::size_t length) {
  // HKDF-SHA256 yields at most 255 blocks; refuse before allocating.
  if (length > 255 * 32) throw PrimitiveError("HKDF output length too large");
  SecureBytes out(length);
  internal::hkdf_into(ikm, salt, info, out);
  return out;
}

Sealed _gcm_seal(ByteView key, ByteView nonce, ByteView data) {
  if (nonce.size() != aes::GCM_NONCE_SIZE) throw PrimitiveError("invalid nonce size");
  Sealed s{Bytes(data.size()), {}};
  detail::gcm_seal(key, nonce.data(), data, s.ciphertext.data(), s.tag.data());
  return s;
}

SecureBytes _gcm_open(ByteView key, ByteView nonce, ByteView ciphertext, ByteView tag) {
  SecureBytes out(ciphertext.size());
  bool ok = false;
  try {
    if (nonce.size() != aes::GCM_NONCE_SIZE) throw PrimitiveError("invalid nonce size");
    if (tag.size() != aes::GCM_TAG_SIZE) throw PrimitiveError("invalid tag size");
    ok = detail::gcm_open(key, nonce.data(), ciphertext, tag.data(), out.data());
  } catch (const PrimitiveError&) {
    throw DecryptionError(kGcmFailed, std::current_exception());
  }
  if (!ok) throw DecryptionError(kGcmFailed, std::make_exception_ptr(PrimitiveError("authentication tag mismatch")));
  return out;
}

Bytes _cbc_encrypt(ByteView data, ByteView key, ByteView iv) {
  if (iv.size() != kCbcIvSize) throw PrimitiveError("invalid IV size for AES-CBC");
  Bytes out(internal::cbc_size(data.size()));
  internal::cbc_encrypt_into(data, key, iv.data(), out.data());
  return out;
}

SecureBytes _cbc_decrypt(ByteView ciphertext, ByteView key, ByteView iv) {
  if (ciphertext.size() % 16 != 0) {
    aes_cbc(key.size());  // a bad key size is reported first, as the cipher would
    // A value error, as a cipher refuses such input: a ciphertext of this
    // length can stand behind a valid MAC (anyone with the public key can
    // make one), so it is the caller's input, not a failing library.
    throw InvalidArgumentError("data not multiple of block length");
  }
  SecureBytes out(ciphertext.size());
  cbc_raw(false, ciphertext, key, iv, out.data());
  // PKCS#7: the last byte k is 1..16 and the last k bytes all equal k. The
  // last block is read whole, whatever k is: no branch or bound on it.
  const std::size_t n = out.size();
  using detail::ct_lt_mask;
  const std::uint32_t k = n == 0 ? 0 : out[n - 1];
  std::uint32_t bad = n == 0 ? 1 : ct_lt_mask(k, 1) | ct_lt_mask(16, k);
  for (std::size_t i = 1; i <= 16 && i <= n; ++i) bad |= ct_lt_mask(i - 1, k) & (out[n - i] ^ k);
  // Public from here: the data has passed its MAC, so whether its padding
  // is valid tells nothing a sender did not know; k sets the length of the
  // result handed back.
  if (detail::public_value(bad != 0))
    throw DecryptionError(kUnpadFailed, std::make_exception_ptr(PrimitiveError("Invalid padding bytes.")));
  out.resize(n - detail::public_value(k));
  return out;
}

std::array<std::uint8_t, kMacSize> _hmac256(ByteView key, ByteView data) {
  std::array<std::uint8_t, kMacSize> out{};
  internal::hmac256_parts(key, {data}, out.data());
  return out;
}

}  // namespace morvex::quantum
