// A program with an OpenSSL of its own (the system's) that also uses morvex,
// whose OpenSSL is another: each library must keep to its own copy, in
// either link order, and neither may meet the other's symbols.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "morvex/aes.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "morvex/rsa.hpp"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

std::string sha256_hex(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr) != 1) return "";
  std::string hex;
  for (unsigned i = 0; i < len; ++i) {
    char byte[3];
    std::snprintf(byte, sizeof byte, "%02x", md[i]);
    hex += byte;
  }
  return hex;
}

}  // namespace

int main() {
  std::printf("program's own %s\n", OpenSSL_version(OPENSSL_VERSION));
  // The libcrypto the program runs with is the one its headers describe.
  check(OPENSSL_version_major() == OPENSSL_VERSION_MAJOR && OPENSSL_version_minor() == OPENSSL_VERSION_MINOR,
        "program's libcrypto matches its headers");
  check(sha256_hex("abc") == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "program's SHA-256 (EVP)");

  try {
    const std::string token = morvex::aes::encrypt_str("from a program with its own OpenSSL", "passphrase");
    check(morvex::aes::decrypt_str(token, "passphrase") == "from a program with its own OpenSSL",
          "morvex AES round trip");
    try {
      morvex::aes::decrypt_str(token, "another passphrase");
      check(false, "morvex error caught by its type");
    } catch (const morvex::DecryptionError&) {
      check(true, "morvex error caught by its type");
    }
    const auto [private_pem, public_pem] = morvex::rsa::new_key_pair();
    const std::string long_text(2000, 'z');
    const morvex::Bytes envelope = morvex::rsa::encrypt_bytes(morvex::as_bytes(long_text), public_pem);
    check(morvex::to_string(morvex::rsa::decrypt_bytes(envelope, private_pem)) == long_text,
          "morvex RSA envelope round trip");
    const morvex::quantum::KeyPair keys = morvex::quantum::generate_keypair();  // Gen8
    const morvex::quantum::Encrypted sealed = morvex::quantum::encrypt("post-quantum", keys.public_key);
    check(morvex::quantum::decrypt(sealed.message, keys.private_key, sealed.secret) == "post-quantum",
          "morvex Gen8 round trip");
  } catch (const morvex::MorvexError& e) {
    std::printf("  FAIL %s\n", e.what());
    ++failures;
  }

  // The program's OpenSSL still works after morvex's has run.
  check(sha256_hex("") == "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
        "program's SHA-256 after morvex");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
