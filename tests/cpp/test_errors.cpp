#include <openssl/err.h>
#include <openssl/evp.h>

#include <type_traits>

#include "common/ossl.hpp"
#include "test_util.hpp"

using namespace morvex;

namespace {

template <class Err>
void expect_family_member(ErrorKind kind) {
  static_assert(std::is_base_of_v<MorvexError, Err>);
  const std::string message = "message: with \xc3\xa9 and\nbreak";
  try {
    throw Err(message);
  } catch (const MorvexError& e) {
    EXPECT_EQ(e.message(), message);
    EXPECT_STREQ(e.what(), message.c_str());
    EXPECT_EQ(e.kind(), kind);
    EXPECT_FALSE(e.cause());
  }
}

}  // namespace

TEST(Errors, FamilyKindsAndMessages) {
  expect_family_member<MorvexError>(ErrorKind::Morvex);
  expect_family_member<InvalidInputError>(ErrorKind::InvalidInput);
  expect_family_member<EncryptionError>(ErrorKind::Encryption);
  expect_family_member<DecryptionError>(ErrorKind::Decryption);
  expect_family_member<SignatureError>(ErrorKind::Signature);
  expect_family_member<QuantumOperationError>(ErrorKind::QuantumOperation);
  // No subclass is another's base.
  static_assert(!std::is_base_of_v<InvalidInputError, DecryptionError>);
  static_assert(!std::is_base_of_v<DecryptionError, InvalidInputError>);
  static_assert(!std::is_base_of_v<MorvexError, PrimitiveError>);
  static_assert(!std::is_base_of_v<MorvexError, Base64Error>);
}

TEST(Errors, PrimitiveMessagesAreOpenSslsFirstReasonOrTheFallback) {
  // The text that follows a prefix such as "RSA decryption failed: ".
  ERR_raise(ERR_LIB_EVP, EVP_R_BAD_DECRYPT);
  ERR_raise(ERR_LIB_EVP, EVP_R_DECODE_ERROR);
  EXPECT_EQ(detail::take_openssl_error(), "bad decrypt");
  EXPECT_EQ(detail::take_openssl_error(), "");  // the queue was drained
  ERR_raise(ERR_LIB_EVP, 4095);  // a reason without a text: OpenSSL's error string
  EXPECT_EQ(detail::take_openssl_error().rfind("error:", 0), 0u);
  EXPECT_MORVEX_ERROR(detail::throw_openssl("what failed"), PrimitiveError, "what failed");
  ERR_raise(ERR_LIB_EVP, EVP_R_BAD_DECRYPT);
  EXPECT_MORVEX_ERROR(detail::throw_openssl("what failed"), PrimitiveError, "bad decrypt");
}
