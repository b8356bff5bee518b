#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/gcm.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "test_rsa_keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

constexpr const char* kTampered = "Hybrid AES-GCM decryption failed (wrong key or tampered data)";
constexpr const char* kLegacyInvalid = "Invalid hybrid data (legacy Swift format)";
constexpr const char* kNotGcm =
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data).";
constexpr const char* kDecFailed = "RSA decryption failed: ";

Bytes filled(std::size_t n, std::uint8_t seed = 3) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
  return b;
}

void append(Bytes& out, ByteView b) { out.insert(out.end(), b.begin(), b.end()); }

// The envelope layout written by hand around a chosen AES key.
Bytes envelope_with_key(ByteView aes_key, ByteView data, const char* public_pem = kPublicA) {
  const Bytes block = rsa::_encrypt_oaep(aes_key, public_pem);
  Bytes out{0x00, 0x02, 0x00, 0x00};
  append(out, block);
  const Bytes nonce = filled(12, 9);
  Bytes ct(data.size()), tag(16);
  // A key AES cannot use still needs some ciphertext around it.
  const bool usable = aes_key.size() == 16 || aes_key.size() == 24 || aes_key.size() == 32;
  detail::gcm_seal(usable ? aes_key : ByteView(filled(32)), nonce.data(), data, ct.data(), tag.data());
  append(out, nonce);
  append(out, tag);
  append(out, ct);
  return out;
}

// "HYBR" || K (big-endian) || RSA block of the key || sealed blob under the
// key's Base64 text.
Bytes legacy_envelope(ByteView aes_key, ByteView data) {
  const Bytes block = rsa::_encrypt_oaep(aes_key, kPublicA);
  Bytes out = bytes_of("HYBR");
  const auto k = static_cast<std::uint32_t>(block.size());
  append(out, Bytes{static_cast<std::uint8_t>(k >> 24), static_cast<std::uint8_t>(k >> 16),
                    static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(k)});
  append(out, block);
  append(out, aes::encrypt_bytes(data, encoding::base64_encode(aes_key)));
  return out;
}

std::string error_of(const Bytes& blob, const char* private_pem = kPrivateA) {
  try {
    hybrid::decrypt_auto(blob, private_pem);
  } catch (const DecryptionError& e) {
    return std::string("D:") + e.what();
  } catch (const InvalidInputError& e) {
    return std::string("I:") + e.what();
  }
  return "(opened)";
}

// The message of the MorvexError that `f` throws ("" when none).
std::string message_or_empty(const std::function<void()>& f) {
  try {
    f();
  } catch (const MorvexError& e) {
    return e.what();
  }
  return "";
}

bool rsa_failure(const std::string& e) { return e.rfind(std::string("D:") + kDecFailed, 0) == 0 && e.size() > 25; }

}  // namespace

TEST(HybridEnvelope, LayoutAndRoundTrip) {
  const Bytes one = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  ASSERT_EQ(one.size(), 545u);
  EXPECT_EQ(Bytes(one.begin(), one.begin() + 4), (Bytes{0x00, 0x02, 0x00, 0x00}));
  EXPECT_EQ(hybrid::_net_decrypt(one, kPrivateA), bytes_of("x"));
  for (std::size_t n : {447u, 4096u, 3u << 20}) {
    const Bytes data = filled(n);
    const Bytes a = hybrid::encrypt_bytes(data, kPublicA);
    const Bytes b = hybrid::encrypt_bytes(data, kPublicA_Pkcs1);
    ASSERT_EQ(a.size(), 544 + n);
    EXPECT_NE(Bytes(a.begin() + 4, a.begin() + 544), Bytes(b.begin() + 4, b.begin() + 544));
    EXPECT_EQ(hybrid::decrypt_auto(a, kPrivateA), data);
    EXPECT_EQ(hybrid::_net_decrypt(b, kPrivateA_Pkcs1), data);
  }
  // The ciphertext is AES-256-GCM under the key in the RSA block, tag first.
  const Bytes data = bytes_of("layout check");
  const Bytes env = hybrid::encrypt_bytes(data, kPublicA);
  const SecureBytes key = rsa::_decrypt_oaep(ByteView(env).subspan(4, 512), kPrivateA);
  ASSERT_EQ(key.size(), 32u);
  Bytes out(data.size());
  EXPECT_TRUE(detail::gcm_open(key, env.data() + 516, ByteView(env).subspan(544), env.data() + 528, out.data()));
  EXPECT_EQ(out, data);
}

TEST(HybridEnvelope, WriterChecksInOrder) {
  EXPECT_MORVEX_ERROR(hybrid::encrypt_bytes({}, "not a key"), InvalidInputError, "Data cannot be empty");
  EXPECT_MORVEX_ERROR(hybrid::encrypt_str("", "not a key"), InvalidInputError, "Plaintext cannot be empty");
  try {
    hybrid::encrypt_bytes(bytes_of("x"), kPrivateA);
    ADD_FAILURE();
  } catch (const InvalidInputError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Invalid RSA public key PEM: ", 0), 0u);
  }
  try {
    hybrid::encrypt_bytes(bytes_of("x"), kEcPublic);
    ADD_FAILURE();
  } catch (const EncryptionError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("RSA encryption failed: ", 0), 0u);
  }
  // A recipient key whose block the reader cannot find is refused, and
  // nothing is written.
  Bytes out(544 + 5, 0xEE);
  EXPECT_MORVEX_ERROR(hybrid::encrypt_bytes_into(filled(5), kPublic2048, out), InvalidInputError,
                      "Recipient RSA key is 2048 bits: the hybrid envelope needs a 4096-bit key (a 512-byte RSA "
                      "block, not 256)");
  EXPECT_EQ(out, Bytes(549, 0xEE));
}

TEST(HybridEnvelope, TamperingFailsAtTheRightStep) {
  const Bytes env = hybrid::encrypt_bytes(filled(100), kPublicA);
  for (std::size_t i : {516u, 527u, 528u, 543u, 544u, 643u}) {
    Bytes t = env;
    t[i] ^= 0x40;
    EXPECT_EQ(error_of(t), std::string("D:") + kTampered) << i;
  }
  Bytes t = env;
  t[300] ^= 0x01;
  EXPECT_TRUE(rsa_failure(error_of(t)));
  EXPECT_TRUE(rsa_failure(error_of(env, kPrivateB)));
  EXPECT_EQ(error_of(env, "junk").rfind("I:Invalid RSA private key PEM: ", 0), 0u);
  // The cause of the envelope's failure is kept.
  Bytes u = env;
  u[600] ^= 1;
  try {
    hybrid::decrypt_auto(u, kPrivateA);
  } catch (const DecryptionError& e) {
    EXPECT_TRUE(e.cause() != nullptr);
  }
}

TEST(HybridEnvelope, ReaderTakesWhatTheKeyBlockHolds) {
  // An empty plaintext whose tag authenticates opens to nothing.
  const Bytes k32 = filled(32, 1);
  const Bytes empty = envelope_with_key(k32, {});
  ASSERT_EQ(empty.size(), 544u);
  EXPECT_EQ(hybrid::decrypt_auto(empty, kPrivateA), Bytes());
  // 16- and 24-byte keys select AES-128 and AES-192.
  for (std::size_t k : {16u, 24u}) EXPECT_EQ(hybrid::decrypt_auto(envelope_with_key(filled(k), filled(70)), kPrivateA), filled(70));
  // Any other key length cannot key AES-GCM: the envelope's own error.
  for (std::size_t k : {0u, 1u, 31u, 33u, 64u}) {
    EXPECT_EQ(error_of(envelope_with_key(filled(k), filled(10))), std::string("D:") + kTampered) << k;
  }
}

TEST(HybridDetect, RulesAndBoundaries) {
  using hybrid::Format;
  Bytes hybr = bytes_of("HYBR");
  for (std::size_t n = 4; n < 8; ++n) {
    Bytes b = hybr;
    b.resize(n, 0);
    EXPECT_EQ(hybrid::detect_format(b), Format::Direct) << n;
  }
  hybr.resize(8, 0);
  EXPECT_EQ(hybrid::detect_format(hybr), Format::Legacy);
  Bytes big_hybr = bytes_of("HYBR");
  big_hybr.resize(600, 0);
  EXPECT_EQ(hybrid::detect_format(big_hybr), Format::Legacy);  // rule 1 comes first
  Bytes env(544, 0);
  env[1] = 0x02;
  EXPECT_EQ(hybrid::detect_format(env), Format::Envelope);
  EXPECT_EQ(hybrid::detect_format(ByteView(env).first(543)), Format::Direct);
  env[1] = 0x01;
  EXPECT_EQ(hybrid::detect_format(env), Format::Direct);
  env[1] = 0x02;
  env[3] = 0x01;
  EXPECT_EQ(hybrid::detect_format(env), Format::Direct);
  EXPECT_EQ(hybrid::detect_format({}), Format::Direct);
}

TEST(HybridDetect, EachKindOpensThroughItsRule) {
  const Bytes data = filled(300);
  const Bytes direct = rsa::_encrypt_oaep(data, kPublicA);
  const Bytes env = hybrid::encrypt_bytes(data, kPublicA);
  const Bytes legacy = legacy_envelope(filled(32, 77), data);
  for (const Bytes* b : {&direct, &env, &legacy}) {
    EXPECT_EQ(hybrid::decrypt_auto(*b, kPrivateA), data);
    EXPECT_EQ(rsa::decrypt_bytes(*b, kPrivateA), data);
    // The zero-copy form agrees wherever the plaintext size is known.
    if (const auto n = hybrid::known_plaintext_size(*b)) {
      Bytes out(*n);
      hybrid::decrypt_auto_into(*b, kPrivateA, out);
      EXPECT_EQ(out, data);
    }
  }
  EXPECT_FALSE(hybrid::known_plaintext_size(direct).has_value());
  EXPECT_EQ(hybrid::_legacy_decrypt(legacy, kPrivateA), data);
  const Bytes legacy_text = legacy_envelope(filled(32, 5), bytes_of("legacy text"));
  EXPECT_EQ(hybrid::decrypt_str(encoding::base64_encode(legacy_text), kPrivateA), "legacy text");
}

TEST(HybridDetect, MisfitsFailInTheReaderDetectionChose) {
  // HYBR with 4 to 7 bytes, an envelope cut short, a non-envelope that
  // begins with 00 02 00 00, and the empty blob: all RSA failures.
  const Bytes env = hybrid::encrypt_bytes(filled(50), kPublicA);
  Bytes fake(700, 0x11);
  fake[0] = 0x00, fake[1] = 0x02, fake[2] = 0x00, fake[3] = 0x00;
  for (const Bytes& b : {bytes_of("HYBR"), bytes_of("HYBR123"), Bytes(env.begin(), env.begin() + 543), fake, Bytes()})
    EXPECT_TRUE(rsa_failure(error_of(b))) << error_of(b);
}

TEST(HybridLegacy, LengthFieldChecks) {
  // 8 bytes: key_end is at least 8, nothing can follow.
  for (const char* tail : {"\x00\x00\x00\x00", "\x00\x00\x02\x00", "\xFF\xFF\xFF\xFF"}) {
    Bytes b = bytes_of("HYBR");
    append(b, ByteView(reinterpret_cast<const std::uint8_t*>(tail), 4));
    EXPECT_EQ(error_of(b), std::string("D:") + kLegacyInvalid);
    // Checked before the key text is read.
    EXPECT_EQ(error_of(b, "junk"), std::string("D:") + kLegacyInvalid);
  }
  // Lengths near 2^32 are compared without wrapping around.
  const Bytes legacy = legacy_envelope(filled(32), filled(40));
  for (std::uint32_t k : {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF7u, 513u + 68u, 512u + 68u}) {
    Bytes b = legacy;
    b[4] = static_cast<std::uint8_t>(k >> 24), b[5] = static_cast<std::uint8_t>(k >> 16);
    b[6] = static_cast<std::uint8_t>(k >> 8), b[7] = static_cast<std::uint8_t>(k);
    EXPECT_EQ(error_of(b, "junk"), std::string("D:") + kLegacyInvalid) << k;
  }
  // Exactly one byte after the block: the key decrypts, then the sealed blob
  // is too short for the AES reader.
  Bytes one = legacy;
  one.resize(8 + 512 + 1);
  EXPECT_EQ(error_of(one), std::string("D:") + kNotGcm);
  EXPECT_FALSE(hybrid::known_plaintext_size(one).has_value());
  // Tampering with the sealed blob is the AES reader's failure.
  Bytes t = legacy;
  t.back() ^= 1;
  EXPECT_EQ(error_of(t), std::string("D:") + kNotGcm);
  // The key length is taken as written: a 2048-bit block works with its key.
  const Bytes block = rsa::_encrypt_oaep(filled(32), kPublic2048);
  Bytes small = bytes_of("HYBR");
  append(small, Bytes{0, 0, 1, 0});
  append(small, block);
  append(small, aes::encrypt_bytes(filled(5), encoding::base64_encode(filled(32))));
  EXPECT_EQ(hybrid::decrypt_auto(small, kPrivate2048), filled(5));
  // A too-short blob handed straight to the reader is refused, never read past.
  EXPECT_EQ(message_or_empty([] { hybrid::_legacy_decrypt(bytes_of("HYB"), kPrivateA); }), kLegacyInvalid);
}

TEST(HybridText, EncryptStrAndDecryptStr) {
  const std::string text = "na\xC3\xAFve \xE2\x98\x83";
  const std::string c = hybrid::encrypt_str(text, kPublicA);
  EXPECT_EQ(encoding::base64_decode(c).size(), 544 + text.size());
  EXPECT_EQ(hybrid::decrypt_str(c, kPrivateA), text);
  EXPECT_EQ(rsa::decrypt_str(c, kPrivateA), text);
  EXPECT_EQ(hybrid::decrypt_str(rsa::encrypt_str(text, kPublicA), kPrivateA), text);
  EXPECT_MORVEX_ERROR(hybrid::decrypt_str("abc$", kPrivateA), DecryptionError, "Ciphertext is not valid Base64");
  const Bytes not_utf8 = hybrid::encrypt_bytes(Bytes{0xFF, 0xFE, 0x00}, kPublicA);
  EXPECT_MORVEX_ERROR(hybrid::decrypt_str(encoding::base64_encode(not_utf8), kPrivateA), DecryptionError,
                      "Decrypted data is not valid UTF-8");
}

TEST(HybridNet, ShortBlobsHandedStraightToTheReaderFailCleanly) {
  // The envelope reader cuts its fields like slices; a blob too short for
  // them fails as a bad RSA block or as a failed authentication.
  const Bytes block2048 = rsa::_encrypt_oaep(filled(32), kPublic2048);
  Bytes short_env{0, 1, 0, 0};
  append(short_env, block2048);  // a valid key block and no nonce or tag
  EXPECT_EQ(message_or_empty([&] { hybrid::_net_decrypt(short_env, kPrivate2048); }), kTampered);
  EXPECT_EQ(message_or_empty([] { hybrid::_net_decrypt({}, kPrivateA); }).rfind(kDecFailed, 0), 0u);
}

TEST(HybridConcurrency, ParallelSealAndOpen) {
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &ok] {
      const Bytes data = filled(1000 + t, static_cast<std::uint8_t>(t));
      for (int i = 0; i < 3; ++i) {
        const Bytes env = rsa::encrypt_bytes(data, kPublicA);
        const Bytes direct = rsa::encrypt_bytes(ByteView(data).first(100), kPublicA);
        if (rsa::decrypt_bytes(env, kPrivateA) == data &&
            rsa::decrypt_bytes(direct, kPrivateA) == Bytes(data.begin(), data.begin() + 100) &&
            rsa::verify_bytes(data, rsa::sign_bytes(data, kPrivateA), kPublicA))
          ++ok[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(ok, std::vector<int>(4, 3));
}
