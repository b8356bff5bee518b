// Envelopes, legacy envelopes and format detection beyond the refusal table
// (tests/data/cases/refusals.json): envelopes around chosen AES keys, legacy
// length fields, detection and the zero-copy forms. Layout: the
// interoperability test; stored envelopes: the frozen vectors.
#include <map>

#include "common/gcm.hpp"
#include "hybrid/internal.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

const char* const kTampered = "Hybrid AES-GCM decryption failed (wrong key or tampered data)";

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
  const Bytes len{0, 0, 2, 0};  // 512
  return cat({bytes_of("HYBR"), len, rsa::_encrypt_oaep(aes_key, kPublicA),
              aes::encrypt_bytes(data, encoding::base64_encode(aes_key))});
}

}  // namespace

TEST(HybridEnvelope, FreshKeysAndNothingWrittenForASmallRecipient) {
  const Bytes one = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  const Bytes two = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  EXPECT_NE(Bytes(one.begin() + 516, one.end()), Bytes(two.begin() + 516, two.end()));
  EXPECT_EQ(hybrid::_net_decrypt(one, kPrivateA), bytes_of("x"));
  Bytes out(544 + 5, 0xEE);
  EXPECT_THROW(hybrid::encrypt_bytes_into(filled(5), kPublic2048, out), InvalidInputError);
  EXPECT_EQ(out, Bytes(549, 0xEE));
}

TEST(HybridEnvelope, ShortBlobHandedStraightToTheReader) {
  // Tampered envelopes: the refusal table. Here a valid key block and no
  // nonce or tag.
  const Bytes short_env = cat({Bytes{0, 1, 0, 0}, rsa::_encrypt_oaep(filled(32), kPublic2048)});
  EXPECT_MORVEX_ERROR(hybrid::_net_decrypt(short_env, kPrivate2048), DecryptionError, kTampered);
}

TEST(HybridEnvelope, ReaderTakesWhatTheKeyBlockHolds) {
  // An empty plaintext whose tag authenticates opens to nothing.
  const Bytes empty = envelope_with_key(filled(32, 1), {});
  ASSERT_EQ(empty.size(), 544u);
  EXPECT_EQ(hybrid::decrypt_auto(empty, kPrivateA), Bytes());
  // 16- and 24-byte keys select AES-128 and AES-192; any other length cannot
  // key AES-GCM: the envelope's own error.
  for (std::size_t k : {16u, 24u})
    EXPECT_EQ(hybrid::decrypt_auto(envelope_with_key(filled(k), filled(70)), kPrivateA), filled(70));
  for (std::size_t k : {0u, 1u, 31u, 33u, 64u})
    EXPECT_MORVEX_ERROR(hybrid::decrypt_auto(envelope_with_key(filled(k), filled(10)), kPrivateA), DecryptionError,
                        kTampered);
}

TEST(HybridDetect, KnownAnswers) {
  const nlohmann::json cases = load_cases("detect.json");
  const std::map<std::string, hybrid::Format> formats{
      {"Legacy", hybrid::Format::Legacy}, {"Envelope", hybrid::Format::Envelope}, {"Direct", hybrid::Format::Direct}};
  for (const auto& c : cases["detect"]) {
    Bytes blob = from_hex(c[0].get<std::string>());
    blob.resize(c[1].get<std::size_t>(), 0);
    EXPECT_EQ(hybrid::detect_format(blob), formats.at(c[2].get<std::string>())) << c;
  }
}

TEST(HybridDetect, ZeroCopyFormsTakeExactlySizedBuffers) {
  // Each kind opening through its reader: the frozen vectors.
  const Bytes data = filled(300);
  const Bytes env = hybrid::encrypt_bytes(data, kPublicA);
  const Bytes legacy = legacy_envelope(filled(32, 77), data);
  Bytes out(data.size()), wrong(data.size() + 1);
  for (const Bytes* b : {&env, &legacy}) {
    ASSERT_EQ(hybrid::known_plaintext_size(*b), data.size());
    hybrid::decrypt_auto_into(*b, kPrivateA, out);
    EXPECT_EQ(out, data);
    EXPECT_THROW(hybrid::decrypt_auto_into(*b, kPrivateA, wrong), std::invalid_argument);
  }
  // A direct block's size is known only after decryption.
  const Bytes direct = rsa::_encrypt_oaep(data, kPublicA);
  EXPECT_FALSE(hybrid::known_plaintext_size(direct).has_value());
  EXPECT_THROW(hybrid::decrypt_auto_into(direct, kPrivateA, out), std::invalid_argument);
  EXPECT_THROW(rsa::encrypt_bytes_into(filled(446), kPublicA, wrong), std::invalid_argument);
}

TEST(HybridLegacy, LengthFieldChecks) {
  const char* const invalid = "Invalid hybrid data (legacy Swift format)";
  // Lengths near 2^32 are compared without wrapping around.
  const Bytes legacy = legacy_envelope(filled(32), filled(40));
  for (std::uint32_t k : {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF7u, 513u + 68u, 512u + 68u}) {
    Bytes b = legacy;
    b[4] = static_cast<std::uint8_t>(k >> 24), b[5] = static_cast<std::uint8_t>(k >> 16);
    b[6] = static_cast<std::uint8_t>(k >> 8), b[7] = static_cast<std::uint8_t>(k);
    EXPECT_MORVEX_ERROR(hybrid::decrypt_auto(b, "junk"), DecryptionError, invalid);
    EXPECT_FALSE(hybrid::known_plaintext_size(b).has_value()) << k;
  }
  // One byte after the block (the key decrypts, the sealed blob is too short
  // for the AES reader) and a tampered sealed blob: the AES reader's failure.
  Bytes one(legacy.begin(), legacy.begin() + 8 + 512 + 1), t = legacy;
  t.back() ^= 1;
  for (const Bytes& b : {one, t})
    EXPECT_MORVEX_ERROR(hybrid::decrypt_auto(b, kPrivateA), DecryptionError,
                        "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
                        "or wrong key/tampered data).");
  EXPECT_FALSE(hybrid::known_plaintext_size(one).has_value());
}
