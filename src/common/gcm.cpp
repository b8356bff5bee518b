#include "common/gcm.hpp"

#include <climits>

#include "common/ct.hpp"
#include "common/ossl.hpp"

namespace morvex::detail {
namespace {

// EVP update lengths are ints; feed large inputs in slices.
constexpr std::size_t kSlice = std::size_t{1} << 30;

const EVP_CIPHER* cipher_for(ByteView key) {
  const EVP_CIPHER* c = aes_gcm(key.size());
  if (c == nullptr) throw PrimitiveError("invalid key length");
  return c;
}

// Associated data goes in before the text, in the same int-sized slices.
void add_aad(EVP_CIPHER_CTX* ctx, ByteView aad, int encrypt) {
  for (std::size_t done = 0; done < aad.size();) {
    const std::size_t n = std::min(kSlice, aad.size() - done);
    int outl = 0;
    if (EVP_CipherUpdate(ctx, nullptr, &outl, aad.data() + done, static_cast<int>(n)) != 1)
      throw_openssl(encrypt ? "encryption failed" : "decryption failed");
    done += n;
  }
}

}  // namespace

void gcm_seal(ByteView key, const std::uint8_t* nonce, ByteView in, std::uint8_t* ct_out,
              std::uint8_t* tag_out, ByteView aad) {
  const EVP_CIPHER* cipher = cipher_for(key);
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_EncryptInit_ex2(ctx.get(), cipher, key.data(), nonce, nullptr) != 1)
    throw_openssl("cipher initialisation failed");
  add_aad(ctx.get(), aad, 1);
  std::size_t done = 0;
  while (done < in.size()) {
    const std::size_t n = std::min(kSlice, in.size() - done);
    int outl = 0;
    if (EVP_EncryptUpdate(ctx.get(), ct_out + done, &outl, in.data() + done, static_cast<int>(n)) != 1)
      throw_openssl("encryption failed");
    done += n;
  }
  int outl = 0;
  if (EVP_EncryptFinal_ex(ctx.get(), ct_out + done, &outl) != 1) throw_openssl("encryption failed");
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(aes::GCM_TAG_SIZE), tag_out) != 1)
    throw_openssl("could not read the tag");
}

bool gcm_open(ByteView key, const std::uint8_t* nonce, ByteView ct, const std::uint8_t* tag,
              std::uint8_t* out, ByteView aad) {
  const EVP_CIPHER* cipher = cipher_for(key);
  // OpenSSL's boundary: its AES-GCM keeps the key to constant-time code and
  // compares tags in constant time, then answers whether the tag verified,
  // which is public (the caller reports it). That answer's branch lies inside
  // OpenSSL, so the constant-time check hands the key over as public here.
  MORVEX_CT_PUBLIC(key.data(), key.size());
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_DecryptInit_ex2(ctx.get(), cipher, key.data(), nonce, nullptr) != 1)
    throw_openssl("cipher initialisation failed");
  add_aad(ctx.get(), aad, 0);
  std::size_t done = 0;
  while (done < ct.size()) {
    const std::size_t n = std::min(kSlice, ct.size() - done);
    int outl = 0;
    if (EVP_DecryptUpdate(ctx.get(), out + done, &outl, ct.data() + done, static_cast<int>(n)) != 1)
      throw_openssl("decryption failed");
    done += n;
  }
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(aes::GCM_TAG_SIZE),
                          const_cast<std::uint8_t*>(tag)) != 1)
    throw_openssl("could not set the tag");
  int outl = 0;
  if (EVP_DecryptFinal_ex(ctx.get(), out + done, &outl) != 1) {
    // The only way the final step fails in GCM mode is a tag mismatch.
    clear_openssl_errors();
    secure_wipe(out, ct.size());
    return false;
  }
  return true;
}

}  // namespace morvex::detail
