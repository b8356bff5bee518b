#include <functional>
#include <string>

#include "common/gcm.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "hybrid/internal.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "test_rsa_keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

const std::string kTampered = "D:Hybrid AES-GCM decryption failed (wrong key or tampered data)";
const std::string kLegacyInvalid = "D:Invalid hybrid data (legacy Swift format)";

Bytes filled(std::size_t n, std::uint8_t seed = 3) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
  return b;
}

Bytes cat(std::initializer_list<ByteView> parts) {
  Bytes out;
  for (ByteView p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The envelope layout written by hand around a chosen AES key; a key AES
// cannot use still gets some ciphertext around it.
Bytes envelope_with_key(ByteView aes_key, ByteView data) {
  const Bytes nonce = filled(12, 9);
  Bytes ct(data.size()), tag(16);
  const bool usable = aes_key.size() == 16 || aes_key.size() == 24 || aes_key.size() == 32;
  detail::gcm_seal(usable ? aes_key : ByteView(filled(32)), nonce.data(), data, ct.data(), tag.data());
  return cat({Bytes{0x00, 0x02, 0x00, 0x00}, rsa::_encrypt_oaep(aes_key, kPublicA), nonce, tag, ct});
}

// "HYBR" || K (big-endian) || RSA block of the key || sealed blob under the
// key's Base64 text.
Bytes legacy_envelope(ByteView aes_key, ByteView data) {
  const Bytes block = rsa::_encrypt_oaep(aes_key, kPublicA);
  const Bytes len{0, 0, 2, 0};  // 512, big-endian
  return cat({bytes_of("HYBR"), len, block, aes::encrypt_bytes(data, encoding::base64_encode(aes_key))});
}

// The class ("D:", "I:", "E:") and message of the error `f` throws.
std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const DecryptionError& e) {
    return std::string("D:") + e.what();
  } catch (const InvalidInputError& e) {
    return std::string("I:") + e.what();
  } catch (const EncryptionError& e) {
    return std::string("E:") + e.what();
  }
  return "(none)";
}

std::string auto_error(const Bytes& blob, const char* private_pem = kPrivateA) {
  return error_of([&] { hybrid::decrypt_auto(blob, private_pem); });
}

// An RSA failure with OpenSSL's text after the prefix.
bool rsa_failure(const std::string& e) { return e.rfind("D:RSA decryption failed: ", 0) == 0 && e.size() > 25; }

}  // namespace

TEST(HybridEnvelope, RoundTripWithFreshKeyAndNonce) {
  // The layout: the interoperability test opens envelopes with another
  // implementation; stored envelopes: the frozen vectors.
  const Bytes one = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  EXPECT_EQ(hybrid::_net_decrypt(one, kPrivateA), bytes_of("x"));
  const Bytes two = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  EXPECT_NE(Bytes(one.begin() + 516, one.end()), Bytes(two.begin() + 516, two.end()));
  const Bytes big = hybrid::encrypt_bytes(filled(3u << 20), kPublicA);
  ASSERT_EQ(big.size(), 544 + (3u << 20));
  EXPECT_EQ(hybrid::decrypt_auto(big, kPrivateA), filled(3u << 20));
}

TEST(HybridEnvelope, WriterChecksInOrder) {
  EXPECT_MORVEX_ERROR(hybrid::encrypt_bytes({}, "not a key"), InvalidInputError, "Data cannot be empty");
  EXPECT_MORVEX_ERROR(hybrid::encrypt_str("", "not a key"), InvalidInputError, "Plaintext cannot be empty");
  EXPECT_EQ(error_of([] { hybrid::encrypt_bytes(bytes_of("x"), kPrivateA); }).rfind("I:Invalid RSA public key PEM: ", 0), 0u);
  EXPECT_EQ(error_of([] { hybrid::encrypt_bytes(bytes_of("x"), kEcPublic); }).rfind("E:RSA encryption failed: ", 0), 0u);
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
    EXPECT_EQ(auto_error(t), kTampered) << i;
  }
  Bytes t = env;
  t[300] ^= 0x01;
  EXPECT_TRUE(rsa_failure(auto_error(t)));
  EXPECT_TRUE(rsa_failure(auto_error(env, kPrivateB)));
  EXPECT_EQ(auto_error(env, "junk").rfind("I:Invalid RSA private key PEM: ", 0), 0u);
  t = env;
  t[600] ^= 1;
  try {
    hybrid::decrypt_auto(t, kPrivateA);
  } catch (const DecryptionError& e) {
    EXPECT_TRUE(e.cause() != nullptr);  // the cause of the envelope's failure is kept
  }
}

TEST(HybridEnvelope, ReaderTakesWhatTheKeyBlockHolds) {
  // An empty plaintext whose tag authenticates opens to nothing.
  const Bytes empty = envelope_with_key(filled(32, 1), {});
  ASSERT_EQ(empty.size(), 544u);
  EXPECT_EQ(hybrid::decrypt_auto(empty, kPrivateA), Bytes());
  // 16- and 24-byte keys select AES-128 and AES-192; any other length cannot
  // key AES-GCM: the envelope's own error.
  for (std::size_t k : {16u, 24u}) EXPECT_EQ(hybrid::decrypt_auto(envelope_with_key(filled(k), filled(70)), kPrivateA), filled(70));
  for (std::size_t k : {0u, 1u, 31u, 33u, 64u}) EXPECT_EQ(auto_error(envelope_with_key(filled(k), filled(10))), kTampered) << k;
}

TEST(HybridDetect, RulesAndBoundaries) {
  using hybrid::Format;
  for (std::size_t n : {4u, 5u, 6u, 7u, 8u, 600u}) {
    Bytes b = bytes_of("HYBR");
    b.resize(n, 0);
    EXPECT_EQ(hybrid::detect_format(b), n < 8 ? Format::Direct : Format::Legacy) << n;  // rule 1 first
  }
  Bytes env(544, 0);
  env[1] = 0x02;
  EXPECT_EQ(hybrid::detect_format(env), Format::Envelope);
  EXPECT_EQ(hybrid::detect_format(ByteView(env).first(543)), Format::Direct);
  for (std::size_t i : {1u, 3u}) {
    Bytes other = env;
    other[i] ^= 0x03;  // another length field
    EXPECT_EQ(hybrid::detect_format(other), Format::Direct) << i;
  }
  EXPECT_EQ(hybrid::detect_format({}), Format::Direct);
}

TEST(HybridDetect, EachKindOpensThroughItsRule) {
  const Bytes data = filled(300);
  const Bytes direct = rsa::_encrypt_oaep(data, kPublicA);
  const Bytes env = hybrid::encrypt_bytes(data, kPublicA);
  const Bytes legacy = legacy_envelope(filled(32, 77), data);
  for (const Bytes* b : {&direct, &env, &legacy}) {
    EXPECT_EQ(hybrid::decrypt_auto(*b, kPrivateA), data);
    // The zero-copy form agrees wherever the plaintext size is known.
    if (const auto n = hybrid::known_plaintext_size(*b)) {
      Bytes out(*n);
      hybrid::decrypt_auto_into(*b, kPrivateA, out);
      EXPECT_EQ(out, data);
    }
  }
  EXPECT_FALSE(hybrid::known_plaintext_size(direct).has_value());
  // The zero-copy forms take exactly sized buffers, and only where the size is known.
  Bytes wrong(data.size() + 1);
  for (const Bytes* b : {&direct, &env, &legacy})
    EXPECT_THROW(hybrid::decrypt_auto_into(*b, kPrivateA, wrong), std::invalid_argument);
  EXPECT_THROW(rsa::encrypt_bytes_into(filled(446), kPublicA, wrong), std::invalid_argument);
  EXPECT_EQ(hybrid::_legacy_decrypt(legacy, kPrivateA), data);
  // Misfits fail in the reader detection chose: HYBR with 4 to 7 bytes, an
  // envelope cut short, a non-envelope that begins with 00 02 00 00, and the
  // empty blob are all RSA failures.
  Bytes fake(700, 0x11);
  fake[0] = 0x00, fake[1] = 0x02, fake[2] = 0x00, fake[3] = 0x00;
  for (const Bytes& b : {bytes_of("HYBR"), bytes_of("HYBR123"), Bytes(env.begin(), env.begin() + 543), fake, Bytes()})
    EXPECT_TRUE(rsa_failure(auto_error(b))) << auto_error(b);
}

TEST(HybridLegacy, LengthFieldChecks) {
  // 8 bytes: nothing can follow; checked before the key text is read.
  for (const char* tail : {"\x00\x00\x00\x00", "\x00\x00\x02\x00", "\xFF\xFF\xFF\xFF"}) {
    const Bytes b = cat({bytes_of("HYBR"), ByteView(reinterpret_cast<const std::uint8_t*>(tail), 4)});
    EXPECT_EQ(auto_error(b), kLegacyInvalid);
    EXPECT_EQ(auto_error(b, "junk"), kLegacyInvalid);
  }
  // Lengths near 2^32 are compared without wrapping around.
  const Bytes legacy = legacy_envelope(filled(32), filled(40));
  for (std::uint32_t k : {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF7u, 513u + 68u, 512u + 68u}) {
    Bytes b = legacy;
    b[4] = static_cast<std::uint8_t>(k >> 24), b[5] = static_cast<std::uint8_t>(k >> 16);
    b[6] = static_cast<std::uint8_t>(k >> 8), b[7] = static_cast<std::uint8_t>(k);
    EXPECT_EQ(auto_error(b, "junk"), kLegacyInvalid) << k;
    EXPECT_FALSE(hybrid::known_plaintext_size(b).has_value()) << k;
  }
  // One byte after the block (the key decrypts, the sealed blob is too short
  // for the AES reader) and a tampered sealed blob: the AES reader's failure.
  Bytes one(legacy.begin(), legacy.begin() + 8 + 512 + 1), t = legacy;
  t.back() ^= 1;
  for (const Bytes& b : {one, t})
    EXPECT_EQ(auto_error(b), "D:AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet "
                             "supported, or wrong key/tampered data).");
  EXPECT_FALSE(hybrid::known_plaintext_size(one).has_value());
  // A too-short blob handed straight to the reader is refused, never read past.
  EXPECT_EQ(error_of([] { hybrid::_legacy_decrypt(bytes_of("HYB"), kPrivateA); }), kLegacyInvalid);
}

TEST(HybridNet, ShortBlobsHandedStraightToTheReaderFailCleanly) {
  // A valid key block and no nonce or tag: a failed authentication; nothing
  // at all: a bad RSA block.
  const Bytes short_env = cat({Bytes{0, 1, 0, 0}, rsa::_encrypt_oaep(filled(32), kPublic2048)});
  EXPECT_EQ(error_of([&] { hybrid::_net_decrypt(short_env, kPrivate2048); }), kTampered);
  EXPECT_TRUE(rsa_failure(error_of([] { hybrid::_net_decrypt({}, kPrivateA); })));
}
