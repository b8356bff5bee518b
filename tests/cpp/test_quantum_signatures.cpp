// Post-quantum signatures with headered keys.
#include <stdexcept>

#include "morvex/quantum.hpp"
#include "morvex/quantum/oqs.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using morvex::test::BackendAbsent;
using morvex::test::bytes_of;
using morvex::test::kLoader;

namespace {

Bytes priv_of(const KeyPair& kp) { return Bytes(kp.private_key.begin(), kp.private_key.end()); }

}  // namespace

TEST(QuantumSignatures, EveryAlgorithmAndStrength) {
  // Altered data and signatures for every mechanism: the adapter's tests;
  // stored signatures: the frozen vectors.
  const Bytes data = bytes_of("signed data");
  for (std::int64_t alg : {1, 2}) {
    for (std::int64_t st : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << alg << "/" << st);
      const KeyPair kp = generate_signature_keypair(alg, st);
      const Bytes priv = priv_of(kp), header = {std::uint8_t(alg), std::uint8_t(st)};
      ASSERT_EQ(Bytes(kp.public_key.begin(), kp.public_key.begin() + 2), header);
      ASSERT_EQ(Bytes(priv.begin(), priv.begin() + 2), header);
      const Bytes sig = sign(data, priv);
      EXPECT_TRUE(verify(data, sig, kp.public_key));
      EXPECT_FALSE(verify(data, Bytes(sig.begin(), sig.end() - 1), kp.public_key));
    }
  }
  // Another pair's key; the default pair is ML-DSA-87 (sizes: the known answers).
  const KeyPair kp = generate_signature_keypair(1, 0), dflt = generate_signature_keypair();
  EXPECT_TRUE(verify({}, sign({}, priv_of(kp)), kp.public_key));
  EXPECT_FALSE(verify({}, sign({}, priv_of(kp)), generate_signature_keypair(1, 0).public_key));
  EXPECT_EQ(Bytes(dflt.public_key.begin(), dflt.public_key.begin() + 2), Bytes({1, 2}));
  EXPECT_EQ(dflt.public_key.size(), 2u + 2592);
}

TEST(QuantumSignatures, HeaderFailures) {
  const KeyPair kp = generate_signature_keypair(1, 0);
  const Bytes priv = priv_of(kp);
  const Bytes data = bytes_of("d");
  const Bytes sig = sign(data, priv);
  // verify: a key without a valid header, or an ML-DSA key read as SLH-DSA,
  // is false, not an error.
  EXPECT_FALSE(verify(data, sig, Bytes{1}));
  EXPECT_FALSE(verify(data, sig, {}));
  for (std::uint8_t scheme : {0, 2, 3, 8}) {
    Bytes pub = kp.public_key;
    pub[0] = scheme;
    EXPECT_FALSE(verify(data, sig, pub)) << int(scheme);
  }
  // sign: the header failures are errors.
  EXPECT_MORVEX_ERROR(sign(data, Bytes{1}), InvalidInputError, "Invalid signature private key: missing header");
  Bytes seven = priv;
  seven[0] = 7;
  EXPECT_ERROR_WITH_CAUSE(sign(data, seven), InvalidInputError, "Unsupported signature scheme id 7");
  seven[0] = 0;
  EXPECT_MORVEX_ERROR(sign(data, seven), InvalidInputError, "Unsupported signature scheme id 0");
  // The adapter refuses a raw key of the wrong size.
  EXPECT_THROW(sign(data, Bytes({1, 0, 5})), QuantumOperationError);
  // A strength byte without a mechanism: the lookup error, in verify too.
  Bytes st5 = kp.public_key, pst5 = priv;
  st5[1] = 5;
  pst5[1] = 5;
  EXPECT_THROW(verify(data, sig, st5), std::out_of_range);
  EXPECT_THROW(sign(data, pst5), std::out_of_range);
  // Conversion of the arguments comes before the library.
  BackendAbsent absent;
  EXPECT_THROW(generate_signature_keypair(3), std::invalid_argument);
  EXPECT_THROW(generate_signature_keypair(0), std::invalid_argument);
  EXPECT_THROW(generate_signature_keypair(1, 3), std::invalid_argument);
  EXPECT_MORVEX_ERROR(generate_signature_keypair(1, 0), QuantumOperationError, kLoader);
  // Without the library verify throws rather than answering false.
  EXPECT_MORVEX_ERROR(verify(data, sig, kp.public_key), QuantumOperationError, kLoader);
  EXPECT_FALSE(verify(data, sig, Bytes{1}));
}
