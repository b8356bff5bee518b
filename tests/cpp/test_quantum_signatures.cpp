// Post-quantum signatures with headered keys. (Header failures: the key
// cases of the formats' test; stored signatures: the frozen vectors.)
#include <stdexcept>

#include "morvex/quantum.hpp"
#include "quantum/by_number.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using namespace morvex::test;

TEST(QuantumSignatures, EveryAlgorithmAndStrength) {
  const Bytes data = bytes_of("signed data");
  for (const SignatureAlgorithm alg : {SignatureAlgorithm::ML_DSA, SignatureAlgorithm::SLH_DSA}) {
    for (const QuantumStrength st : {QuantumStrength::STANDARD, QuantumStrength::MEDIUM, QuantumStrength::HIGHEST}) {
      SCOPED_TRACE(testing::Message() << int(alg) << "/" << int(st));
      const KeyPair kp = generate_signature_keypair(alg, st);
      EXPECT_EQ(head(kp.public_key), Bytes({std::uint8_t(alg), std::uint8_t(st)}));
      EXPECT_EQ(head(kp.private_key), head(kp.public_key));
      EXPECT_TRUE(verify(data, sign(data, kp.private_key), kp.public_key));
    }
  }
  EXPECT_EQ(head(generate_signature_keypair().public_key), Bytes({1, 2}));  // ML-DSA-87
}

TEST(QuantumSignatures, ArgumentsComeBeforeTheLibrary) {
  const KeyPair kp = generate_signature_keypair(SignatureAlgorithm::ML_DSA, QuantumStrength::STANDARD);
  const Bytes data = bytes_of("d"), sig = sign(data, kp.private_key);
  BackendAbsent absent;
  for (const auto& [alg, strength] : {std::pair{3, 2}, {0, 2}, {1, 3}})
    EXPECT_THROW(_generate_signature_keypair(alg, strength), std::invalid_argument);
  EXPECT_THROW(generate_signature_keypair(static_cast<SignatureAlgorithm>(3)), std::invalid_argument);
  EXPECT_MORVEX_ERROR(_generate_signature_keypair(1, 0), QuantumOperationError, kLoader);
  // Without the library verify throws rather than answering false, but a key
  // without a header is still false.
  EXPECT_MORVEX_ERROR(verify(data, sig, kp.public_key), QuantumOperationError, kLoader);
  EXPECT_FALSE(verify(data, sig, Bytes{1}));
}
