// Building blocks of the post-quantum formats: HKDF, AES-GCM, AES-CBC, HMAC,
// the XOR mix and the small DER writer.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "morvex/quantum.hpp"
#include "morvex/quantum/formats.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using morvex::test::bytes_of;
using morvex::test::from_hex;
using morvex::test::cbc_raw_block;
using morvex::test::kGcmFailed;

namespace {

const char* const kUnpad = "Quantum AES-CBC unpadding failed";

template <class C>
Bytes B(const C& c) {
  return Bytes(c.begin(), c.end());
}

}  // namespace

TEST(QuantumBlocks, HkdfAndHmacMatchTheRfcs) {
  // RFC 5869 test case 1, RFC 4231 test case 2.
  const Bytes ikm(22, 0x0b), salt = from_hex("000102030405060708090a0b0c");
  EXPECT_EQ(B(_hkdf(ikm, salt, from_hex("f0f1f2f3f4f5f6f7f8f9"), 42)),
            from_hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
  EXPECT_EQ(B(_hmac256(bytes_of("Jefe"), bytes_of("what do ya want for nothing?"))),
            from_hex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
  // An empty salt acts as 32 zero bytes; at most 255 blocks of output.
  EXPECT_EQ(B(_hkdf(ikm, {}, {}, 32)), B(_hkdf(ikm, Bytes(32, 0), {}, 32)));
  EXPECT_EQ(_hkdf(ikm, {}, {}, 255 * 32).size(), 255u * 32);
  EXPECT_THROW(_hkdf(ikm, {}, {}, 255 * 32 + 1), PrimitiveError);
}

TEST(QuantumBlocks, GcmEmptyDataAndUnusableKey) {
  // Tampering is refused in every generation's tests.
  const Bytes key(32, 7), nonce(12, 9);
  const Sealed empty = _gcm_seal(key, nonce, {});
  EXPECT_TRUE(empty.ciphertext.empty());
  EXPECT_TRUE(_gcm_open(key, nonce, {}, empty.tag).empty());
  // A key of unusable size fails inside the guard, with the cause kept.
  EXPECT_ERROR_WITH_CAUSE(_gcm_open(Bytes(31, 7), nonce, {}, empty.tag), DecryptionError, kGcmFailed);
}

TEST(QuantumBlocks, CbcPaddingSizesAndFailures) {
  const Bytes key(32, 1), iv(16, 2);
  for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 100u}) {
    const Bytes data(n, 0x41);
    const Bytes ct = _cbc_encrypt(data, key, iv);
    EXPECT_EQ(ct.size(), 16 * (n / 16 + 1)) << n;
    EXPECT_EQ(_cbc_decrypt(ct, key, iv), data) << n;
  }
  // Empty data is one block of sixteen 0x10 bytes.
  EXPECT_EQ(_cbc_encrypt({}, key, iv), cbc_raw_block(key, iv, Bytes(16, 16)));
  // Last byte 0, 17, or an inconsistent run: bad padding.
  Bytes uneven(16, 3);
  uneven[13] = 4;
  for (const Bytes& block : {Bytes(16, 0), Bytes(16, 17), uneven})
    EXPECT_MORVEX_ERROR(_cbc_decrypt(cbc_raw_block(key, iv, block), key, iv), DecryptionError, kUnpad);
  EXPECT_MORVEX_ERROR(_cbc_decrypt({}, key, iv), DecryptionError, kUnpad);
  // Not whole blocks: a value error, not one of the library's classes.
  EXPECT_THROW(_cbc_decrypt(Bytes(17, 0), key, iv), std::invalid_argument);
}

TEST(QuantumBlocks, XorMixRepeatsShortSecrets) {
  for (std::size_t len : {16u, 24u, 32u}) {
    Bytes secret(len), expect(32);
    for (std::size_t i = 0; i < len; ++i) secret[i] = static_cast<std::uint8_t>(0x40 + i);
    // Only the first 32 bytes of the session key count.
    const Bytes session(40, 0xff);
    for (std::size_t i = 0; i < 32; ++i) expect[i] = 0xff ^ secret[i % len];
    EXPECT_EQ(B(_xor_mix(session, secret).span()), expect) << len;
  }
  EXPECT_THROW(_xor_mix(Bytes(31, 0), Bytes(32, 1)), std::invalid_argument);
  EXPECT_THROW(_xor_mix(Bytes(32, 0), {}), std::invalid_argument);
}

TEST(QuantumBlocks, DerLengthsAndSpkiWrapping) {
  EXPECT_EQ(_der_len(0), from_hex("00"));
  EXPECT_EQ(_der_len(127), from_hex("7f"));
  EXPECT_EQ(_der_len(128), from_hex("8180"));
  EXPECT_EQ(_der_len(300), from_hex("82012c"));
  EXPECT_EQ(_der_len(65536), from_hex("83010000"));
  EXPECT_EQ(_der_len(0xFFFFFFFFFFFFFFFFull), from_hex("88ffffffffffffffff"));

  // The wrapper agrees with OpenSSL's own SubjectPublicKeyInfo writer.
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(1024));
  ASSERT_NE(key, nullptr);
  unsigned char* pkcs1 = nullptr;
  unsigned char* spki = nullptr;
  const int n1 = i2d_PublicKey(key, &pkcs1);
  const int n2 = i2d_PUBKEY(key, &spki);
  EXPECT_EQ(_pkcs1_to_spki(ByteView(pkcs1, n1)), Bytes(spki, spki + n2));
  OPENSSL_free(pkcs1);
  OPENSSL_free(spki);
  EVP_PKEY_free(key);
  // An empty body still makes a well-formed structure.
  EXPECT_EQ(_pkcs1_to_spki({}), from_hex("3012300d06092a864886f70d010101050003" "0100"));
}

TEST(QuantumBlocks, EnumerationConversionsAndSignatureHeaders) {
  // The operations' own tests cover the small values; here the extremes.
  EXPECT_EQ(to_strength(2), QuantumStrength::HIGHEST);
  EXPECT_MORVEX_ERROR(to_generation(9), std::invalid_argument, "9 is not a valid QuantumGeneration");
  EXPECT_THROW(to_generation(INT64_MIN), std::invalid_argument);
  EXPECT_THROW(to_strength(INT64_MAX), std::invalid_argument);
  EXPECT_THROW(to_signature_algorithm(-1), std::invalid_argument);
  const SigHeader h = _sig_strip(Bytes{2, 1}, "x");
  EXPECT_EQ(h.scheme, 2);
  EXPECT_EQ(h.strength, 1);
  EXPECT_TRUE(h.raw.empty());
  // The scheme kind: "mldsa" for ML-DSA, "slhdsa" for every other value.
  EXPECT_EQ(_sig_kind(std::int64_t{1}), "mldsa");
  for (std::int64_t other : {0, 2, 7}) EXPECT_EQ(_sig_kind(other), "slhdsa");
}
