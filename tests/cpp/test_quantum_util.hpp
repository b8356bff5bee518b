// Helpers shared by the post-quantum tests.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "morvex/quantum/oqs.hpp"
#include "test_util.hpp"

namespace morvex::test {

inline const char* const kLoader =
    "Post-quantum support requires the native liboqs binding. Install it with:  pip install "
    "'morvex[quantum]'";
inline const char* const kGcmFailed = "Quantum AES-GCM decryption failed (wrong key or tampered data)";

// Marks the backend absent for the lifetime of the object.
struct BackendAbsent {
  BackendAbsent() { quantum::oqs::testing::set_backend_available(false); }
  ~BackendAbsent() { quantum::oqs::testing::set_backend_available(true); }
};

// The two header bytes of a quantum or signature key.
template <class K>
Bytes head(const K& key) {
  return Bytes(key.begin(), key.begin() + 2);
}

// Raw AES-256-CBC of one block without padding (to forge bad padding).
inline Bytes cbc_raw_block(const Bytes& key, const Bytes& iv, const Bytes& block) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(16);
  int n = 0;
  EVP_EncryptUpdate(ctx, out.data(), &n, block.data(), 16);
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

}  // namespace morvex::test
