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
  const Bytes empty = rsa::internal::encrypt_oaep({}, kPublicA);
  EXPECT_NE(empty, rsa::internal::encrypt_oaep({}, kPublicA));
  EXPECT_EQ(rsa::internal::decrypt_oaep(empty, kPrivateA).size(), 0u);
}

TEST(RsaPss, FreshSaltsAndTheKeysModulusLength) {
  // Acceptance both ways: the interoperability test.
  const Bytes data = bytes_of("message to sign");
  EXPECT_NE(rsa::sign_bytes(data, kPrivateA), rsa::sign_bytes(data, kPrivateA));
  const Bytes small = rsa::sign_bytes(data, kPrivate2048);
  EXPECT_EQ(small.size(), 256u);
  EXPECT_TRUE(rsa::verify_bytes(data, small, kPublic2048));
}

TEST(RsaPss, ChangedSignaturesAreFalse) {
  const nlohmann::json cases = load_cases("signatures.json");
  // A key file's text, or the key text itself.
  auto key = [](const nlohmann::json& k) {
    const std::string name = k;
    return name.ends_with(".pem") ? std::string(key_text(name)) : name;
  };
  for (const auto& c : cases["bytes"])
    EXPECT_EQ(rsa::verify_bytes(from_hex(c[0].get<std::string>()), from_hex(c[1].get<std::string>()), key(c[2])), c[3])
        << c;
  for (const auto& c : cases["text"])
    EXPECT_EQ(rsa::verify_str(c[0].get<std::string>(), c[1].get<std::string>(), key(c[2])), c[3]) << c;
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
  Bytes block = rsa::internal::encrypt_oaep(data, pem);
  if (g_calls++ < 2) {
    if (kEnvelope) block.resize(600);
    std::memcpy(block.data(), kEnvelope ? "\x00\x02\x00\x00" : "HYBR", 4);
  }
  return block;
}

}  // namespace

TEST(RsaEncrypt, DirectBlocksThatLookLikeAnotherFormatAreMadeAgain) {
  for (const hybrid::internal::BlockEncryptor enc : {&marked_then_real<false>, &marked_then_real<true>}) {
    g_calls = 0;
    const Bytes c = hybrid::internal::encrypt_direct(bytes_of("abc"), kPublicA, enc);
    EXPECT_EQ(g_calls, 3);
    EXPECT_EQ(hybrid::detect_format(c), hybrid::Format::Direct);
    EXPECT_EQ(rsa::decrypt_bytes(c, kPrivateA), bytes_of("abc"));
  }
  // Never an endless loop.
  EXPECT_MORVEX_ERROR(hybrid::internal::encrypt_direct(bytes_of("abc"), kPublicA,
                                                    [](ByteView, std::string_view) { return bytes_of("HYBR1234"); }),
                      EncryptionError, "RSA encryption failed: every block read as another format");
}
