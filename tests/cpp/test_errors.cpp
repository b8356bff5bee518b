#include <openssl/err.h>
#include <openssl/evp.h>

#include <map>

#include "common/ossl.hpp"
#include "hybrid/internal.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/password.hpp"
#include "morvex/rsa.hpp"
#include "password/internal.hpp"
#include "rsa/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;
using json = nlohmann::json;

namespace {

// What a row of refusals.json hands to its operation.
struct Input {
  Bytes data;
  std::string text;  // the same bytes, for the text forms
  std::string key;
  std::string signature;
  std::int64_t iterations;
  std::int64_t length;  // of a derived key
};

Input input_of(const json& row) {
  Input in;
  if (row.contains("hex")) {
    in.data = from_hex(row["hex"].get<std::string>());
  } else if (row.contains("fill")) {
    in.data = Bytes(row["fill"][0].get<std::size_t>(), row["fill"][1].get<std::uint8_t>());
  } else {
    in.data = bytes_of(row.value("data", ""));
  }
  in.text.assign(in.data.begin(), in.data.end());
  in.key = row.value("key", "");
  if (in.key.starts_with("@")) in.key = key_text(in.key.substr(1));
  if (row.contains("key_hex")) in.key = morvex::to_string(from_hex(row["key_hex"].get<std::string>()));
  in.signature = row.value("signature", "");
  in.iterations = row.value("iterations", password::DEFAULT_ITERATIONS);
  in.length = row.value("length", 16);
  return in;
}

using Operation = void (*)(const Input&);

const std::map<std::string, Operation> kOperations{
    {"aes.encrypt_bytes", [](const Input& in) { (void)aes::encrypt_bytes(in.data, in.key); }},
    {"aes.encrypt_str", [](const Input& in) { (void)aes::encrypt_str(in.text, in.key); }},
    {"aes.decrypt_bytes", [](const Input& in) { (void)aes::decrypt_bytes(in.data, in.key); }},
    {"aes.decrypt_str", [](const Input& in) { (void)aes::decrypt_str(in.text, in.key); }},
    {"rsa._load_public", [](const Input& in) { (void)rsa::_load_public(in.key); }},
    {"rsa._load_private", [](const Input& in) { (void)rsa::_load_private(in.key); }},
    {"rsa._encrypt_oaep", [](const Input& in) { (void)rsa::internal::encrypt_oaep(in.data, in.key); }},
    {"rsa._decrypt_oaep", [](const Input& in) { (void)rsa::internal::decrypt_oaep(in.data, in.key); }},
    {"rsa.sign_bytes", [](const Input& in) { (void)rsa::sign_bytes(in.data, in.key); }},
    {"rsa.verify_bytes",
     [](const Input& in) { (void)rsa::verify_bytes(in.data, encoding::base64_decode(in.signature), in.key); }},
    {"rsa.verify_str", [](const Input& in) { (void)rsa::verify_str(in.text, in.signature, in.key); }},
    {"rsa.encrypt_bytes", [](const Input& in) { (void)rsa::encrypt_bytes(in.data, in.key); }},
    {"rsa.encrypt_str", [](const Input& in) { (void)rsa::encrypt_str(in.text, in.key); }},
    {"rsa.decrypt_bytes", [](const Input& in) { (void)rsa::decrypt_bytes(in.data, in.key); }},
    {"rsa.decrypt_str", [](const Input& in) { (void)rsa::decrypt_str(in.text, in.key); }},
    {"hybrid.encrypt_bytes", [](const Input& in) { (void)hybrid::encrypt_bytes(in.data, in.key); }},
    {"hybrid.encrypt_str", [](const Input& in) { (void)hybrid::encrypt_str(in.text, in.key); }},
    {"hybrid.decrypt_str", [](const Input& in) { (void)hybrid::decrypt_str(in.text, in.key); }},
    {"hybrid.decrypt_auto", [](const Input& in) { (void)hybrid::decrypt_auto(in.data, in.key); }},
    {"hybrid._legacy_decrypt", [](const Input& in) { (void)hybrid::_legacy_decrypt(in.data, in.key); }},
    {"hybrid._net_decrypt", [](const Input& in) { (void)hybrid::_net_decrypt(in.data, in.key); }},
    {"password.hash_password", [](const Input& in) { (void)password::hash_password(in.text, in.iterations); }},
    // The key is the hash name.
    {"password._derive", [](const Input& in) { (void)password::_derive("p", {}, in.iterations, in.length, in.key); }},
};

// The class of each ErrorKind, as the rows name it.
const char* const kClassNames[] = {
    "MorvexError",     "InvalidInputError", "EncryptionError", "DecryptionError",      "SignatureError",
    "QuantumOperationError", "Base64Error", "Utf8Error",       "TextEncodeError",      "PrimitiveError",
    "IoError",         "InvalidArgumentError", "OutOfRangeError", "StateError"};

// The class of an error's cause, as the rows name it.
std::string cause_of(const std::exception_ptr& cause) {
  if (!cause) return "(none)";
  try {
    std::rethrow_exception(cause);
  } catch (const Error& e) {
    return kClassNames[static_cast<int>(e.kind())];
  } catch (...) {
    return "another class";
  }
}

}  // namespace

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

TEST(Errors, EveryRefusalHasItsClassAndMessage) {
  const json cases = load_cases("refusals.json");
  for (const json& row : cases["refusals"]) {
    std::string error = "(none)", message, cause = "(none)";
    try {
      kOperations.at(row["op"].get<std::string>())(input_of(row));
    } catch (const Error& e) {  // every failure, whatever its class, by its kind
      error = kClassNames[static_cast<int>(e.kind())];
      message = e.what();
      cause = cause_of(e.cause());
    }
    EXPECT_EQ(error, row["error"].get<std::string>()) << row;
    if (row.contains("prefix")) {
      const std::string want = row["prefix"];
      EXPECT_TRUE(message.starts_with(want) && message.size() > want.size()) << message << "\n" << row;
      EXPECT_NE(cause, "(none)") << row;
    } else {
      EXPECT_EQ(message, row["message"].get<std::string>()) << row;
    }
    if (row.contains("cause")) {
      EXPECT_EQ(cause, row["cause"].get<std::string>()) << row;
    }
  }
}
