// The RSA area beyond its refusals of fixed inputs (tests/data/cases/refusals.json):
// signatures, and the direct-or-envelope routing.
#include <cstring>
#include <string>

#include "hybrid/internal.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

TEST(RsaOaep, BlocksAreRandomised) {
  // Blocks of 1 and 446 bytes both ways: the interoperability test; damaged
  // blocks: the refusal table.
  const Bytes empty = rsa::_encrypt_oaep({}, kPublicA);
  EXPECT_NE(empty, rsa::_encrypt_oaep({}, kPublicA));
  EXPECT_EQ(rsa::_decrypt_oaep(empty, kPrivateA).size(), 0u);
}

TEST(RsaPss, EveryChangeIsFalse) {
  // Acceptance of the scheme's signatures both ways: the interoperability test.
  const Bytes data = bytes_of("message to sign");
  const Bytes sig = rsa::sign_bytes(data, kPrivateA);
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
  // A 2048-bit key signs with its own modulus length.
  const Bytes small = rsa::sign_bytes(data, kPrivate2048);
  EXPECT_EQ(small.size(), 256u);
  EXPECT_TRUE(rsa::verify_bytes(data, small, kPublic2048));
  // A signature text that is not Base64 is false without the key text being read.
  const std::string text = rsa::sign_str("", kPrivateA);
  EXPECT_TRUE(rsa::verify_str("", text, kPublicA));
  EXPECT_FALSE(rsa::verify_str("", text.substr(0, 100) + " " + text.substr(100), kPublicA));
  EXPECT_FALSE(rsa::verify_str("", text + "\n", "not a key"));
}

TEST(RsaEncrypt, UpTo446BytesOneBlockLongerDataAnEnvelope) {
  // 446 bytes both ways, and envelopes of longer data: the interoperability test.
  const Bytes c = rsa::encrypt_bytes(Bytes(447, 7), kPublicA);
  EXPECT_EQ(c.size(), 544u + 447);
  EXPECT_EQ(rsa::decrypt_bytes(c, kPrivateA), Bytes(447, 7));
  // A 2048-bit recipient takes direct blocks of its own size.
  const Bytes small = rsa::encrypt_bytes(Bytes(190, 7), kPublic2048);
  EXPECT_EQ(small.size(), 256u);
  EXPECT_EQ(rsa::decrypt_bytes(small, kPrivate2048), Bytes(190, 7));
  const std::string text = "h\xC3\xA9llo \xF0\x9F\x94\x91";
  EXPECT_EQ(rsa::decrypt_str(rsa::encrypt_str(text, kPublicA), kPrivateA), text);
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
