// Envelopes, legacy envelopes and format detection beyond the refusal table
// (tests/data/cases/refusals.json). Layout: the interoperability test;
// stored envelopes: the frozen vectors.
#include <map>

#include "hybrid/internal.hpp"
#include "morvex/encoding.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;
using json = nlohmann::json;

TEST(HybridEnvelope, FreshKeysAndNothingWrittenForASmallRecipient) {
  const Bytes one = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  const Bytes two = hybrid::encrypt_bytes(bytes_of("x"), kPublicA);
  EXPECT_NE(Bytes(one.begin() + 516, one.end()), Bytes(two.begin() + 516, two.end()));
  EXPECT_EQ(hybrid::_net_decrypt(one, kPrivateA), bytes_of("x"));
  Bytes out(544 + 5, 0xEE);
  EXPECT_THROW(hybrid::encrypt_bytes_into(Bytes(5, 1), kPublic2048, out), InvalidInputError);
  EXPECT_EQ(out, Bytes(549, 0xEE));
}

TEST(HybridEnvelope, ReaderTakesWhatTheKeyBlockHolds) {
  const json cases = load_cases("envelopes.json");
  for (const json& c : cases["opens"])
    EXPECT_EQ(hybrid::decrypt_auto(from_hex(c[0].get<std::string>()), kPrivateA), from_hex(c[1].get<std::string>()));
}

TEST(HybridDetect, FormatAndKnownPlaintextSize) {
  const json cases = load_cases("detect.json");
  const std::map<std::string, hybrid::Format> formats{
      {"Legacy", hybrid::Format::Legacy}, {"Envelope", hybrid::Format::Envelope}, {"Direct", hybrid::Format::Direct}};
  for (const json& c : cases["detect"]) {
    Bytes blob = from_hex(c[0].get<std::string>());
    blob.resize(c[1].get<std::size_t>(), 0);
    EXPECT_EQ(hybrid::detect_format(blob), formats.at(c[2].get<std::string>())) << c;
    const auto size = hybrid::known_plaintext_size(blob);
    EXPECT_EQ(size.has_value() ? json(*size) : json(nullptr), c[3]) << c;
  }
}

TEST(HybridDetect, ZeroCopyFormsTakeExactlySizedBuffers) {
  std::ifstream in(data_file("vectors", "rsa.json"));
  const json vectors = json::parse(in);
  for (const char* kind : {"envelope", "legacy_envelope"}) {
    for (const json& v : vectors[kind]) {
      const Bytes blob = encoding::base64_decode(v["ciphertext"].get<std::string>());
      const Bytes plaintext = encoding::base64_decode(v["plaintext"].get<std::string>());
      const char* key = key_text(v["private_key"].get<std::string>());
      Bytes out(plaintext.size()), wrong(plaintext.size() + 1);
      hybrid::decrypt_auto_into(blob, key, out);
      EXPECT_EQ(out, plaintext);
      EXPECT_THROW(hybrid::decrypt_auto_into(blob, key, wrong), InvalidArgumentError);
    }
  }
  // A direct block's size is known only after decryption.
  const Bytes direct = rsa::internal::encrypt_oaep(Bytes(300, 1), kPublicA);
  Bytes out(300);
  EXPECT_THROW(hybrid::decrypt_auto_into(direct, kPrivateA, out), InvalidArgumentError);
  EXPECT_THROW(rsa::encrypt_bytes_into(Bytes(446, 1), kPublicA, out), InvalidArgumentError);
}
