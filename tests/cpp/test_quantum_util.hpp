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

// Expects `stmt` to throw `Err` with a cause and the message `msg`; a `msg`
// ending in ": " is a prefix that a reason must follow.
#define EXPECT_ERROR_WITH_CAUSE(stmt, Err, msg)                                             \
  do {                                                                                      \
    const std::string want__ = (msg);                                                       \
    try {                                                                                   \
      stmt;                                                                                 \
      ADD_FAILURE() << "expected " #Err " " << want__;                                      \
    } catch (const Err& e__) {                                                              \
      const std::string got__ = e__.what();                                                 \
      if (want__.size() >= 2 && want__.compare(want__.size() - 2, 2, ": ") == 0)            \
        EXPECT_TRUE(got__.rfind(want__, 0) == 0 && got__.size() > want__.size()) << got__;  \
      else                                                                                  \
        EXPECT_EQ(got__, want__);                                                           \
      EXPECT_TRUE(e__.cause() != nullptr) << got__;                                         \
    }                                                                                       \
  } while (0)
