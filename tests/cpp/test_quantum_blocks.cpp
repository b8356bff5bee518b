// Building blocks of the post-quantum formats: HKDF, AES-GCM, AES-CBC, HMAC,
// the XOR mix and the small DER writer.
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/x509.h>

#include <cstring>

#include "morvex/quantum.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using morvex::test::bytes_of;
using morvex::test::from_hex;

namespace {

const char* const kGcmFailed = "Quantum AES-GCM decryption failed (wrong key or tampered data)";
const char* const kUnpad = "Quantum AES-CBC unpadding failed";

template <class C>
Bytes B(const C& c) {
  return Bytes(c.begin(), c.end());
}

// Raw AES-256-CBC of one block without padding (to forge bad padding).
Bytes cbc_raw_block(const Bytes& key, const Bytes& iv, const Bytes& block) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(16);
  int n = 0, f = 0;
  EVP_EncryptUpdate(ctx, out.data(), &n, block.data(), 16);
  EVP_EncryptFinal_ex(ctx, out.data() + n, &f);
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

}  // namespace

TEST(QuantumBlocks, HkdfMatchesTheRfcAndItsOwnProperties) {
  // RFC 5869, test case 1.
  const Bytes ikm(22, 0x0b);
  const Bytes salt = from_hex("000102030405060708090a0b0c");
  const Bytes info = from_hex("f0f1f2f3f4f5f6f7f8f9");
  EXPECT_EQ(B(_hkdf(ikm, salt, info, 42)),
            from_hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
  // An empty salt acts as 32 zero bytes; the output is a prefix-stable stream.
  const Bytes zeros(32, 0);
  EXPECT_EQ(B(_hkdf(ikm, {}, {}, 32)), B(_hkdf(ikm, zeros, {}, 32)));
  const SecureBytes long_out = _hkdf(ikm, salt, bytes_of("Gen5-CMCE-HMAC"), 64);
  const SecureBytes short_out = _hkdf(ikm, salt, bytes_of("Gen5-CMCE-HMAC"), 32);
  EXPECT_EQ(Bytes(long_out.begin(), long_out.begin() + 32), B(short_out));
  // At most 255 blocks of output; more is the primitive's failure.
  EXPECT_EQ(_hkdf(ikm, {}, {}, 255 * 32).size(), 255u * 32);
  EXPECT_THROW(_hkdf(ikm, {}, {}, 255 * 32 + 1), PrimitiveError);
}

TEST(QuantumBlocks, HmacMatchesTheRfc) {
  // RFC 4231, test case 2.
  EXPECT_EQ(B(_hmac256(bytes_of("Jefe"), bytes_of("what do ya want for nothing?"))),
            from_hex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
}

TEST(QuantumBlocks, GcmSealAndOpen) {
  const Bytes key(32, 7), nonce(12, 9);
  const Sealed empty = _gcm_seal(key, nonce, {});
  EXPECT_TRUE(empty.ciphertext.empty());
  EXPECT_TRUE(_gcm_open(key, nonce, {}, empty.tag).empty());

  const Bytes data = bytes_of("quantum data");
  const Sealed s = _gcm_seal(key, nonce, data);
  ASSERT_EQ(s.ciphertext.size(), data.size());
  EXPECT_EQ(_gcm_open(key, nonce, s.ciphertext, s.tag), data);
  Bytes ct = s.ciphertext, n2 = nonce;
  auto tag = s.tag;
  ct[3] ^= 1;
  EXPECT_MORVEX_ERROR(_gcm_open(key, nonce, ct, s.tag), DecryptionError, kGcmFailed);
  tag[15] ^= 0x80;
  EXPECT_MORVEX_ERROR(_gcm_open(key, nonce, s.ciphertext, tag), DecryptionError, kGcmFailed);
  n2[0] ^= 1;
  EXPECT_MORVEX_ERROR(_gcm_open(key, n2, s.ciphertext, s.tag), DecryptionError, kGcmFailed);
  // A key of unusable size fails inside the guard, with the cause kept.
  try {
    _gcm_open(Bytes(31, 7), nonce, s.ciphertext, s.tag);
    ADD_FAILURE();
  } catch (const DecryptionError& e) {
    EXPECT_STREQ(e.what(), kGcmFailed);
    EXPECT_TRUE(e.cause() != nullptr);
  }
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
  for (const Bytes& block : {Bytes(16, 0), Bytes(16, 17), [] {
         Bytes b(16, 3);
         b[13] = 4;
         return b;
       }()}) {
    EXPECT_MORVEX_ERROR(_cbc_decrypt(cbc_raw_block(key, iv, block), key, iv), DecryptionError, kUnpad);
  }
  EXPECT_MORVEX_ERROR(_cbc_decrypt({}, key, iv), DecryptionError, kUnpad);
  // Not whole blocks: the cipher's own error, not one of the library's classes.
  EXPECT_THROW(_cbc_decrypt(Bytes(17, 0), key, iv), PrimitiveError);
}

TEST(QuantumBlocks, XorMixRepeatsShortSecrets) {
  const Bytes zero(32, 0);
  Bytes s16(16), s24(24), s32(32);
  for (int i = 0; i < 32; ++i) {
    if (i < 16) s16[i] = static_cast<std::uint8_t>(i + 1);
    if (i < 24) s24[i] = static_cast<std::uint8_t>(0x40 + i);
    s32[i] = static_cast<std::uint8_t>(0x80 + i);
  }
  Bytes twice(32);
  for (int i = 0; i < 32; ++i) twice[i] = s16[i % 16];
  EXPECT_EQ(B(_xor_mix(zero, s16).span()), twice);
  Bytes wrapped(32);
  for (int i = 0; i < 32; ++i) wrapped[i] = s24[i % 24];
  EXPECT_EQ(B(_xor_mix(zero, s24).span()), wrapped);
  // Only the first 32 bytes of the session key count.
  Bytes session(40, 0xff);
  Bytes expect(32);
  for (int i = 0; i < 32; ++i) expect[i] = 0xff ^ s32[i];
  EXPECT_EQ(B(_xor_mix(session, s32).span()), expect);
  EXPECT_THROW(_xor_mix(Bytes(31, 0), s32), std::invalid_argument);
  EXPECT_THROW(_xor_mix(zero, {}), std::invalid_argument);
}

TEST(QuantumBlocks, DerLengthsAndSpkiWrapping) {
  EXPECT_EQ(_der_len(0), from_hex("00"));
  EXPECT_EQ(_der_len(127), from_hex("7f"));
  EXPECT_EQ(_der_len(128), from_hex("8180"));
  EXPECT_EQ(_der_len(300), from_hex("82012c"));
  EXPECT_EQ(_der_len(65536), from_hex("83010000"));
  EXPECT_EQ(_der_len(0xFFFFFFFFFFFFFFFFull), from_hex("88ffffffffffffffff"));
  EXPECT_EQ(B(_RSA_ALG_ID), from_hex("300d06092a864886f70d0101010500"));

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
  // Short forms: an empty body still makes a well-formed structure.
  EXPECT_EQ(_pkcs1_to_spki({}), from_hex("3012300d06092a864886f70d010101050003" "0100"));
}

TEST(QuantumBlocks, Gen4KeyIsTheFirstHkdfExpandBlock) {
  const Bytes ss(32, 0x5c);
  // HKDF-Expand with ss as PRK and empty info, computed by OpenSSL.
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  int mode = EVP_KDF_HKDF_MODE_EXPAND_ONLY;
  char md[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, md, 0),
      OSSL_PARAM_construct_int(OSSL_KDF_PARAM_MODE, &mode),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<std::uint8_t*>(ss.data()), ss.size()),
      OSSL_PARAM_construct_end()};
  Bytes expect(32);
  ASSERT_EQ(EVP_KDF_derive(ctx, expect.data(), 32, params), 1);
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
  EXPECT_EQ(B(_gen4_key(ss).span()), expect);
}

TEST(QuantumBlocks, EnumerationValuesAndConversions) {
  EXPECT_EQ(static_cast<int>(QuantumGeneration::GEN8), 8);
  EXPECT_EQ(static_cast<int>(QuantumStrength::STANDARD), 0);
  EXPECT_EQ(static_cast<int>(SignatureAlgorithm::ML_DSA), 1);
  EXPECT_EQ(to_generation(1), QuantumGeneration::GEN1);
  EXPECT_EQ(to_strength(2), QuantumStrength::HIGHEST);
  EXPECT_EQ(to_signature_algorithm(2), SignatureAlgorithm::SLH_DSA);
  for (std::int64_t bad : {std::int64_t{0}, std::int64_t{9}, std::int64_t{-1}, INT64_MIN})
    EXPECT_THROW(to_generation(bad), std::invalid_argument);
  for (std::int64_t bad : {std::int64_t{3}, std::int64_t{-1}, INT64_MAX})
    EXPECT_THROW(to_strength(bad), std::invalid_argument);
  for (std::int64_t bad : {std::int64_t{0}, std::int64_t{3}}) EXPECT_THROW(to_signature_algorithm(bad), std::invalid_argument);
  try {
    to_generation(9);
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "9 is not a valid QuantumGeneration");
  }
  EXPECT_EQ(_sig_kind(SignatureAlgorithm::ML_DSA), "mldsa");
  EXPECT_EQ(_sig_kind(SignatureAlgorithm::SLH_DSA), "slhdsa");
  EXPECT_MORVEX_ERROR(_sig_strip(Bytes{1}, "signature private"), InvalidInputError,
                      "Invalid signature private key: missing header");
  const SigHeader h = _sig_strip(Bytes{2, 1}, "x");
  EXPECT_EQ(h.scheme, 2);
  EXPECT_EQ(h.strength, 1);
  EXPECT_TRUE(h.raw.empty());
}
