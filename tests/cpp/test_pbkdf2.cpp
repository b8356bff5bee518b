// The block-function PBKDF2 against OpenSSL's own, on random passwords
// (shorter and longer than a hash block), salts, counts and lengths (several
// output blocks), for both hashes.
#include <openssl/evp.h>

#include <random>
#include <string>

#include "password/pbkdf2.hpp"
#include "test_util.hpp"

using namespace morvex;

TEST(Pbkdf2, AgreesWithOpenSslOnRandomInputs) {
  std::mt19937_64 rng(20261206);
  auto pick = [&](std::size_t lo, std::size_t hi) { return std::uniform_int_distribution<std::size_t>(lo, hi)(rng); };
  for (int i = 0; i < 400; ++i) {
    const bool sha512 = i % 2 == 0;
    std::string password(pick(0, 300), '\0');
    for (char& c : password) c = static_cast<char>(pick(0, 255));
    Bytes salt(pick(0, 100));
    for (auto& b : salt) b = static_cast<std::uint8_t>(pick(0, 255));
    const std::size_t iterations = pick(1, 40), length = pick(1, 200);
    Bytes ours(length), want(length);
    ASSERT_TRUE(detail::pbkdf2_hmac_blocks(sha512 ? "SHA2-512" : "SHA2-256", password, salt, iterations, ours));
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                                static_cast<int>(salt.size()), static_cast<int>(iterations),
                                sha512 ? EVP_sha512() : EVP_sha256(), static_cast<int>(length), want.data()),
              1);
    ASSERT_EQ(ours, want) << "case " << i << ": password " << password.size() << " bytes, salt " << salt.size()
                          << ", " << iterations << " iterations, " << length << " bytes";
  }
}
