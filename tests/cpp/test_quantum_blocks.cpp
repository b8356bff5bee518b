// Building blocks of the post-quantum formats: HKDF, AES-GCM, AES-CBC, HMAC,
// the XOR mix, the small DER writer and the enumerations.
#include "morvex/quantum.hpp"
#include "quantum/formats.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using namespace morvex::test;

namespace {

template <class C>
Bytes B(const C& c) {
  return Bytes(c.begin(), c.end());
}

Bytes hex(const nlohmann::json& j) { return from_hex(j.get<std::string>()); }

}  // namespace

TEST(QuantumBlocks, KnownAnswers) {
  const nlohmann::json t = load_cases("quantum_blocks.json");
  for (const auto& c : t["hkdf"])
    EXPECT_EQ(B(_hkdf(hex(c["ikm"]), hex(c["salt"]), hex(c["info"]), hex(c["okm"]).size())), hex(c["okm"]))
        << c["what"];
  for (const auto& c : t["hmac"]) EXPECT_EQ(B(_hmac256(hex(c["key"]), hex(c["data"]))), hex(c["mac"])) << c["what"];
  for (const auto& c : t["der_len"]) EXPECT_EQ(_der_len(c[0].get<std::uint64_t>()), hex(c[1])) << c[0];
  for (const auto& c : t["pkcs1_to_spki"]) EXPECT_EQ(_pkcs1_to_spki(hex(c[0])), hex(c[1]));
  for (const auto& c : t["xor_mix"])
    EXPECT_EQ(B(_xor_mix(hex(c["session"]), hex(c["secret"])).span()), hex(c["mixed"])) << c["what"];
  const Bytes key = hex(t["cbc"]["key"]), iv = hex(t["cbc"]["iv"]);
  for (const auto& c : t["cbc"]["known"]) {
    EXPECT_EQ(_cbc_encrypt(hex(c[0]), key, iv), hex(c[1])) << c[0];
    EXPECT_EQ(B(_cbc_decrypt(hex(c[1]), key, iv)), hex(c[0])) << c[0];
  }
  for (const auto& c : t["cbc"]["refused"]) {
    SCOPED_TRACE(c["what"].get<std::string>());
    EXPECT_MORVEX_ERROR(_cbc_decrypt(hex(c["ciphertext"]), key, iv), DecryptionError,
                        "Quantum AES-CBC unpadding failed");
  }
}

TEST(QuantumBlocks, Limits) {
  // At most 255 blocks of HKDF output.
  EXPECT_EQ(_hkdf(Bytes(22, 0x0b), {}, {}, 255 * 32).size(), 255u * 32);
  EXPECT_THROW(_hkdf(Bytes(22, 0x0b), {}, {}, 255 * 32 + 1), PrimitiveError);
  // GCM over empty data; a key of unusable size fails inside the guard, with
  // the cause kept. (Tampering: every generation's tests.)
  const Bytes nonce(12, 9);
  const Sealed empty = _gcm_seal(Bytes(32, 7), nonce, {});
  EXPECT_TRUE(_gcm_open(Bytes(32, 7), nonce, {}, empty.tag).empty());
  EXPECT_ERROR_WITH_CAUSE(_gcm_open(Bytes(31, 7), nonce, {}, empty.tag), DecryptionError, kGcmFailed);
  // Not whole CBC blocks, a short session key, no secret: value errors, not
  // the library's classes.
  EXPECT_THROW(_cbc_decrypt(Bytes(17, 0), Bytes(32, 1), Bytes(16, 2)), InvalidArgumentError);
  EXPECT_THROW(_xor_mix(Bytes(31, 0), Bytes(32, 1)), InvalidArgumentError);
  EXPECT_THROW(_xor_mix(Bytes(32, 0), {}), InvalidArgumentError);
}

TEST(QuantumBlocks, EnumerationConversions) {
  // The operations' own tests cover the small values; here the extremes.
  EXPECT_MORVEX_ERROR(to_generation(9), InvalidArgumentError, "9 is not a valid QuantumGeneration");
  EXPECT_THROW(to_generation(INT64_MIN), InvalidArgumentError);
  EXPECT_THROW(to_strength(INT64_MAX), InvalidArgumentError);
  EXPECT_THROW(to_signature_algorithm(-1), InvalidArgumentError);
  // The scheme kind: "mldsa" for ML-DSA, "slhdsa" for every other value.
  EXPECT_EQ(_sig_kind(std::int64_t{1}), "mldsa");
  for (std::int64_t other : {0, 2, 7}) EXPECT_EQ(_sig_kind(other), "slhdsa");
}
