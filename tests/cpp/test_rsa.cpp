#include <cstring>
#include <string>

#include "morvex/encoding.hpp"
#include "morvex/hybrid.hpp"
#include "hybrid/internal.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"
#include "test_rsa_keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

constexpr const char* kPubPrefix = "Invalid RSA public key PEM: ";
constexpr const char* kPrivPrefix = "Invalid RSA private key PEM: ";
constexpr const char* kEncFailed = "RSA encryption failed: ";
constexpr const char* kDecFailed = "RSA decryption failed: ";

Bytes filled(std::size_t n, std::uint8_t seed = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 31);
  return b;
}

Bytes plain(const SecureBytes& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(RsaKeys, UnreadableTextsFailWithTheLoadersPrefix) {
  const std::string pub = kPublicA;
  std::string broken_b64 = pub, broken_der = pub;
  broken_b64[40] = '*';
  broken_der[60] = broken_der[60] == 'A' ? 'B' : 'A';
  const std::string wrong_label =
      "-----BEGIN CERTIFICATE-----\n" + pub.substr(27, pub.size() - 52) + "-----END CERTIFICATE-----\n";
  // Invalid UTF-8 (a lone surrogate handed on as such, a stray byte) is never read past.
  for (const std::string& t : {std::string(), std::string("hello"), std::string(kPrivateA), broken_b64, broken_der,
                               wrong_label, pub.substr(0, pub.size() / 2), std::string("\xED\xA0"), std::string("\xFF")})
    EXPECT_ERROR_WITH_CAUSE(rsa::_load_public(t), InvalidInputError, kPubPrefix);
  for (const char* t : {"", "hello", kPublicA, kPublicA_Pkcs1, kEncryptedPkcs8, kEncryptedPkcs1})
    EXPECT_ERROR_WITH_CAUSE(rsa::_load_private(t), InvalidInputError, kPrivPrefix);
}

TEST(RsaOaep, BlocksAreRandomised) {
  // Blocks of 1 and 446 bytes both ways: the interoperability test.
  const Bytes a = rsa::_encrypt_oaep({}, kPublicA);
  EXPECT_NE(a, rsa::_encrypt_oaep({}, kPublicA));
  EXPECT_EQ(plain(rsa::_decrypt_oaep(a, kPrivateA)), Bytes());
}

TEST(RsaOaep, TooLargeIsRefusedBeforeTheKeyIsRead) {
  EXPECT_MORVEX_ERROR(rsa::_encrypt_oaep(filled(447), "not a key"), InvalidInputError,
                      "Data too large for a direct RSA-OAEP block (447 > 446 bytes)");
  EXPECT_ERROR_WITH_CAUSE(rsa::_encrypt_oaep(filled(446), "not a key"), InvalidInputError, kPubPrefix);
  EXPECT_ERROR_WITH_CAUSE(rsa::_encrypt_oaep(filled(1), kPrivateA), InvalidInputError, kPubPrefix);
  EXPECT_ERROR_WITH_CAUSE(rsa::_decrypt_oaep(filled(512), kPublicA), InvalidInputError, kPrivPrefix);
}

TEST(RsaOaep, BadBlocksFailAsDecryption) {
  const Bytes block = rsa::_encrypt_oaep(bytes_of("secret"), kPublicA);
  Bytes altered = block, longer = block;
  altered[200] ^= 0x01;
  longer.push_back(0);
  for (const Bytes& b : {altered, Bytes(block.begin(), block.end() - 1), longer, Bytes(), Bytes(512, 0xFF)})
    EXPECT_ERROR_WITH_CAUSE(rsa::_decrypt_oaep(b, kPrivateA), DecryptionError, kDecFailed);
  EXPECT_ERROR_WITH_CAUSE(rsa::_decrypt_oaep(block, kPrivateB), DecryptionError, kDecFailed);
  EXPECT_ERROR_WITH_CAUSE(rsa::_decrypt_oaep(block, kEcPrivate), DecryptionError, kDecFailed);
}

TEST(RsaPss, SignaturesVerifyAndEveryChangeIsFalse) {
  const Bytes data = bytes_of("message to sign");
  const Bytes sig = rsa::sign_bytes(data, kPrivateA);
  ASSERT_EQ(sig.size(), 512u);
  EXPECT_NE(sig, rsa::sign_bytes(data, kPrivateA));  // fresh salt
  EXPECT_TRUE(rsa::verify_bytes(data, sig, kPublicA));
  Bytes other_data = data, other_sig = sig, longer = sig;
  other_data[0] ^= 1;
  other_sig[100] ^= 1;
  longer.push_back(0);
  EXPECT_FALSE(rsa::verify_bytes(other_data, sig, kPublicA));
  EXPECT_FALSE(rsa::verify_bytes(data, sig, kPublicB));
  for (const Bytes& s : {other_sig, Bytes(sig.begin(), sig.end() - 1), Bytes(), longer})
    EXPECT_FALSE(rsa::verify_bytes(data, s, kPublicA));
  EXPECT_TRUE(rsa::verify_bytes({}, rsa::sign_bytes({}, kPrivateA), kPublicA));
  // A 2048-bit key signs with its own modulus length.
  const Bytes small = rsa::sign_bytes(data, kPrivate2048);
  EXPECT_EQ(small.size(), 256u);
  EXPECT_TRUE(rsa::verify_bytes(data, small, kPublic2048));
}

TEST(RsaPss, TextFormsAndKeyErrors) {
  const std::string sig = rsa::sign_str("", kPrivateA);
  EXPECT_EQ(sig.size(), 684u);
  EXPECT_TRUE(rsa::verify_str("", sig, kPublicA));
  const std::string text = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC";
  const std::string sig_text = rsa::sign_str(text, kPrivateA);
  EXPECT_FALSE(rsa::verify_str(text + "!", sig_text, kPublicA));
  // Not Base64: false, without the key text being read.
  EXPECT_FALSE(rsa::verify_str(text, sig_text.substr(0, 100) + " " + sig_text.substr(100), kPublicA));
  EXPECT_FALSE(rsa::verify_str(text, sig_text + "\n", "not a key"));
  EXPECT_ERROR_WITH_CAUSE(rsa::verify_str(text, sig_text, "not a key"), InvalidInputError, kPubPrefix);
  EXPECT_ERROR_WITH_CAUSE(rsa::sign_bytes(bytes_of("x"), kPublicA), InvalidInputError, kPrivPrefix);
  EXPECT_ERROR_WITH_CAUSE(rsa::verify_bytes(bytes_of("x"), Bytes(512), kPrivateA), InvalidInputError, kPubPrefix);
  // Keys of another algorithm.
  EXPECT_MORVEX_ERROR(rsa::sign_bytes(bytes_of("x"), kEcPrivate), SignatureError,
                      "RSA signing failed: not an RSA key (EC)");
  EXPECT_MORVEX_ERROR(rsa::verify_bytes(bytes_of("x"), Bytes(64), kEcPublic), InvalidInputError,
                      "Invalid RSA public key PEM: not an RSA key (EC)");
  EXPECT_MORVEX_ERROR(rsa::verify_str("x", "AAAA", kEcPublic), InvalidInputError,
                      "Invalid RSA public key PEM: not an RSA key (EC)");
}

TEST(RsaEncrypt, ShortDataIsOneBlockLongerDataAnEnvelope) {
  for (std::size_t n : {1u, 446u, 447u, 5000u}) {
    const Bytes c = rsa::encrypt_bytes(filled(n, 7), kPublicA);
    EXPECT_EQ(c.size(), n <= 446 ? 512u : 544u + n);
    EXPECT_EQ(hybrid::detect_format(c), n <= 446 ? hybrid::Format::Direct : hybrid::Format::Envelope);
    EXPECT_EQ(rsa::decrypt_bytes(c, kPrivateA), filled(n, 7));
  }
  // Empty input is refused before the key is read.
  EXPECT_MORVEX_ERROR(rsa::encrypt_bytes({}, "not a key"), InvalidInputError, "Data cannot be empty");
  EXPECT_MORVEX_ERROR(rsa::encrypt_str("", "not a key"), InvalidInputError, "Plaintext cannot be empty");
  EXPECT_ERROR_WITH_CAUSE(rsa::encrypt_bytes(bytes_of("x"), "not a key"), InvalidInputError, kPubPrefix);
  EXPECT_ERROR_WITH_CAUSE(rsa::decrypt_bytes(Bytes(512), "not a key"), InvalidInputError, kPrivPrefix);
}

TEST(RsaEncrypt, TextForms) {
  const std::string text = "h\xC3\xA9llo \xF0\x9F\x94\x91";
  const std::string c = rsa::encrypt_str(text, kPublicA);
  EXPECT_EQ(c.size(), 684u);
  EXPECT_EQ(rsa::decrypt_str(c, kPrivateA), text);
  EXPECT_MORVEX_ERROR(rsa::decrypt_str(c.substr(0, 10) + "!" + c.substr(11), kPrivateA), DecryptionError,
                      "Ciphertext is not valid Base64");
  EXPECT_MORVEX_ERROR(rsa::decrypt_str(c + "\n", "not a key"), DecryptionError, "Ciphertext is not valid Base64");
  EXPECT_ERROR_WITH_CAUSE(rsa::decrypt_str("", kPrivateA), DecryptionError, kDecFailed);
  const Bytes not_utf8 = rsa::encrypt_bytes(Bytes{0xC3, 0x28}, kPublicA);
  EXPECT_MORVEX_ERROR(rsa::decrypt_str(encoding::base64_encode(not_utf8), kPrivateA), DecryptionError,
                      "Decrypted data is not valid UTF-8");
}

TEST(RsaEncrypt, SmallerAndNonRsaRecipientKeys) {
  const Bytes c = rsa::encrypt_bytes(filled(190), kPublic2048);
  EXPECT_EQ(c.size(), 256u);
  EXPECT_EQ(rsa::decrypt_bytes(c, kPrivate2048), filled(190));
  for (std::size_t n : {191u, 446u})
    EXPECT_ERROR_WITH_CAUSE(rsa::encrypt_bytes(filled(n), kPublic2048), EncryptionError, kEncFailed);
  // An envelope for a 2048-bit key could never be opened: refused.
  EXPECT_MORVEX_ERROR(rsa::encrypt_bytes(filled(447), kPublic2048), InvalidInputError,
                      "Recipient RSA key is 2048 bits: the hybrid envelope needs a 4096-bit key (a 512-byte RSA "
                      "block, not 256)");
  for (std::size_t n : {10u, 1000u})
    EXPECT_ERROR_WITH_CAUSE(rsa::encrypt_bytes(filled(n), kEcPublic), EncryptionError, kEncFailed);
}

namespace {

int g_calls = 0;

// A block encryptor whose first two results carry another format's mark.
template <bool kEnvelope>
Bytes marked_then_real(ByteView data, std::string_view pem) {
  Bytes block = rsa::_encrypt_oaep(data, pem);
  if (g_calls++ < 2) {
    if (kEnvelope) block.resize(600);
    std::memcpy(block.data(), kEnvelope ? "\x00\x02\x00\x00" : "HYBR", 4);
  }
  return block;
}

}  // namespace

TEST(RsaEncrypt, DirectBlocksThatLookLikeAnotherFormatAreMadeAgain) {
  for (const rsa::internal::BlockEncryptor enc : {&marked_then_real<false>, &marked_then_real<true>}) {
    g_calls = 0;
    const Bytes c = rsa::internal::encrypt_direct(bytes_of("abc"), kPublicA, enc);
    EXPECT_EQ(g_calls, 3);
    EXPECT_EQ(hybrid::detect_format(c), hybrid::Format::Direct);
    EXPECT_EQ(rsa::decrypt_bytes(c, kPrivateA), bytes_of("abc"));
  }
  // Never an endless loop.
  EXPECT_MORVEX_ERROR(rsa::internal::encrypt_direct(bytes_of("abc"), kPublicA,
                                                    [](ByteView, std::string_view) { return bytes_of("HYBR1234"); }),
                      EncryptionError, "RSA encryption failed: every block read as another format");
}
