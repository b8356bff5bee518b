// Fixed key texts for the RSA and envelope tests, read from tests/data/keys
// (made once; generating RSA-4096 keys in every test process would dominate
// the suite's time).
#include "test_rsa_keys.hpp"

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace morvex::test {

namespace {

const char* key_text(const char* name) {
  static std::deque<std::string> texts;  // stable addresses for the program's lifetime
  std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "keys" / name);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) throw std::runtime_error(std::string("missing test key ") + name);
  return texts.emplace_back(text.str()).c_str();
}

}  // namespace

extern const char* const kPrivateA = key_text("rsa4096_a_private.pem");  // PKCS#8
extern const char* const kPublicA = key_text("rsa4096_a_public.pem");    // SubjectPublicKeyInfo
extern const char* const kPublicA_Pkcs1 = key_text("rsa4096_a_public_pkcs1.pem");
extern const char* const kPrivateB = key_text("rsa4096_b_private.pem");
extern const char* const kPublicB = key_text("rsa4096_b_public.pem");
extern const char* const kPrivate2048 = key_text("rsa2048_private.pem");
extern const char* const kPublic2048 = key_text("rsa2048_public.pem");
// The RSA-2048 key under the password "pw", as PKCS#8 and as PKCS#1 with encryption headers.
extern const char* const kEncryptedPkcs8 = key_text("rsa2048_encrypted_pkcs8.pem");
extern const char* const kEncryptedPkcs1 = key_text("rsa2048_encrypted_pkcs1.pem");
extern const char* const kEcPrivate = key_text("p256_private.pem");
extern const char* const kEcPublic = key_text("p256_public.pem");

}  // namespace morvex::test
