// Input a hostile caller can hand in: text without a UTF-8 form, RSA public
// keys that protect nothing, JSON integers of any size, CBC ciphertexts that
// are not whole blocks behind a valid MAC.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <string>

#include "morvex/aes.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/keys.hpp"
#include "morvex/password.hpp"
#include "morvex/quantum.hpp"
#include "morvex/quantum/formats.hpp"
#include "morvex/quantum/oqs.hpp"
#include "morvex/rsa.hpp"
#include "test_rsa_keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

// "ab" U+00E9 U+D800 "cd": the surrogate is the fourth character, written
// as the Python binding hands it on.
const std::string kSurrogateText = "ab\xC3\xA9\xED\xA0\x80" "cd";

// Expects TextEncodeError naming position 3 and U+D800, and nothing of the text.
template <class F>
void expect_text_refused(F&& f) {
  try {
    f();
    ADD_FAILURE() << "expected TextEncodeError";
  } catch (const TextEncodeError& e) {
    EXPECT_EQ(e.position(), 3u);
    EXPECT_EQ(e.code_point(), 0xD800u);
    EXPECT_EQ(std::string(e.what()),
              "'utf-8' codec can't encode character '\\ud800' in position 3: surrogates not allowed");
  }
}

// The public key of kPublicA with another exponent: as PEM, and as the PKCS#1
// DER a Gen7 key carries.
struct WeakKey {
  std::string pem;
  Bytes pkcs1;
};
WeakKey with_exponent(unsigned long e_value) {
  const rsa::Key base = rsa::_load_public(kPublicA);
  BIGNUM* n = nullptr;
  EXPECT_EQ(EVP_PKEY_get_bn_param(base.get(), OSSL_PKEY_PARAM_RSA_N, &n), 1);
  BIGNUM* e = BN_new();
  BN_set_word(e, e_value);
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  EVP_PKEY* key = nullptr;
  EVP_PKEY_fromdata_init(ctx);
  EXPECT_EQ(EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params), 1);
  WeakKey out;
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PUBKEY(bio, key);
  char* p = nullptr;
  const long len = BIO_get_mem_data(bio, &p);
  out.pem.assign(p, static_cast<std::size_t>(len));
  out.pkcs1.resize(static_cast<std::size_t>(i2d_PublicKey(key, nullptr)));
  unsigned char* q = out.pkcs1.data();
  i2d_PublicKey(key, &q);
  BIO_free(bio);
  EVP_PKEY_free(key);
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  BN_free(e);
  BN_free(n);
  return out;
}

std::string record_with_iterations(const std::string& iterations) {
  return R"({"algorithm":"pbkdf2","hash":"AAAA","parameters":{"hashAlgorithm":"SHA512","iterations":)" +
         iterations + R"(,"outputLength":3,"saltLength":3},"salt":"AAAA","version":2})";
}

}  // namespace

TEST(HostileInput, TextWithoutUtf8FormIsRefusedWithoutQuotingIt) {
  const std::string& t = kSurrogateText;
  expect_text_refused([&] { keys::convert_key(t); });
  expect_text_refused([&] { aes::encrypt_str(t, "key"); });
  expect_text_refused([&] { aes::encrypt_str("text", t); });
  expect_text_refused([&] { rsa::encrypt_str(t, kPublicA); });
  expect_text_refused([&] { hybrid::encrypt_str(t, kPublicA); });
  expect_text_refused([&] { rsa::sign_str(t, kPrivateA); });
  // Each at its own step: the checks before it keep their answers.
  EXPECT_MORVEX_ERROR(aes::encrypt_str("", t), InvalidInputError, "Plaintext cannot be empty");
  EXPECT_FALSE(rsa::verify_str(t, "not base64", kPublicA));
  EXPECT_MORVEX_ERROR(quantum::encrypt(t, Bytes{8, 2}), InvalidInputError, "Invalid or empty quantum public key");
  expect_text_refused([&] { quantum::encrypt(t, Bytes{0x63, 2, 1}); });
  EXPECT_FALSE(password::verify_password(t, "junk"));
  const std::string record = password::hash_password("pw", 1);
  expect_text_refused([&] { password::verify_password(t, record); });
}

TEST(HostileInput, SurrogatesInBase64TextAreNotBase64) {
  const std::string blob = aes::encrypt_str("text", "key");
  const std::string with_surrogate = blob.substr(0, blob.size() - 4) + "\xED\xA0\x80" "A";
  for (auto* decrypt : {&aes::decrypt_str, &rsa::decrypt_str, &hybrid::decrypt_str}) {
    const std::string key = decrypt == &aes::decrypt_str ? "key" : kPrivateA;
    EXPECT_MORVEX_ERROR(decrypt(with_surrogate, key), DecryptionError, "Ciphertext is not valid Base64");
  }
  const std::string sig = rsa::sign_str("text", kPrivateA);
  EXPECT_TRUE(rsa::verify_str("text", sig, kPublicA));
  EXPECT_FALSE(rsa::verify_str("text", sig.substr(0, sig.size() - 4) + "\xED\xA0\x80" "A", kPublicA));
}

TEST(HostileInput, PublicKeysWithExponentOneOrEvenAreRefusedOnLoading) {
  const std::string reason = "public exponent must be odd and greater than 1";
  const std::string pub = "Invalid RSA public key PEM: " + reason;
  for (unsigned long e : {1ul, 2ul, 65538ul}) {
    const WeakKey weak = with_exponent(e);
    EXPECT_MORVEX_ERROR(rsa::_load_public(weak.pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::encrypt_bytes(Bytes(10, 1), weak.pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::encrypt_bytes(Bytes(1000, 1), weak.pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::verify_bytes(Bytes(10, 1), Bytes(512, 1), weak.pem), InvalidInputError, pub);
    Bytes raw(4);
    raw[0] = static_cast<std::uint8_t>(weak.pkcs1.size());
    raw[1] = static_cast<std::uint8_t>(weak.pkcs1.size() >> 8);
    raw.insert(raw.end(), weak.pkcs1.begin(), weak.pkcs1.end());
    raw.push_back(1);  // a FrodoKEM key that is never reached
    EXPECT_MORVEX_ERROR(quantum::_gen7_encrypt(bytes_of("m"), raw, 0), InvalidInputError,
                        "Invalid Gen7 RSA public key: " + reason);
  }
  // 3 and 65537 load.
  EXPECT_NO_THROW(rsa::_load_public(with_exponent(3).pem));
  EXPECT_NO_THROW(rsa::_load_public(with_exponent(65537).pem));
}

TEST(HostileInput, JsonIntegersKeepTheirValueWhateverTheirSize) {
  const std::string huge(400, '9');
  EXPECT_FALSE(password::needs_rehash(record_with_iterations(huge)));
  EXPECT_TRUE(password::needs_rehash(record_with_iterations("-" + huge)));
  // Beyond the bounds: refused before anything is derived.
  EXPECT_FALSE(password::verify_password("pw", record_with_iterations(huge)));
  // Numbers written with a fraction stay numbers the reader refuses; text
  // stays text.
  EXPECT_TRUE(password::needs_rehash(record_with_iterations("1" + huge + ".5")));
  const auto items = password::_parse_items(R"({"s":")" + huge + R"(","i":)" + huge + "}");
  ASSERT_TRUE(items.has_value());
  EXPECT_EQ((*items)[2].kind, password::JsonItem::Kind::Float);
  EXPECT_EQ((*items)[4].text, huge);
}

#ifdef MORVEX_WITH_PQ
TEST(HostileInput, CbcCiphertextsThatAreNotWholeBlocksBehindAValidMacAreValueErrors) {
  namespace q = morvex::quantum;
  const std::string alg = q::oqs::cmce_alg(0);
  const q::oqs::KeyPair kp = q::oqs::generate_keypair(alg);
  const q::oqs::Encapsulation kem = q::oqs::encapsulate(alg, kp.public_key);
  const Bytes body(16 + 17, 0x41);  // iv || 17 bytes of ciphertext
  Bytes gen2 = body;
  const auto mac2 = q::_hmac256(kem.shared_secret, gen2);
  gen2.insert(gen2.end(), mac2.begin(), mac2.end());
  EXPECT_THROW(q::_gen2_decrypt(gen2, kp.secret_key, kem.ciphertext, 0), std::invalid_argument);

  Bytes gen5(32, 0x53);  // salt
  gen5.insert(gen5.end(), body.begin(), body.end());
  const ByteView salt(gen5.data(), 32);
  const SecureBytes dk = q::_hkdf(kem.shared_secret, salt, as_bytes(q::kGen5Info), 64);
  const auto mac5 = q::_hmac256(ByteView(dk).subspan(32), gen5);
  gen5.insert(gen5.end(), mac5.begin(), mac5.end());
  EXPECT_THROW(q::_gen5_decrypt(gen5, kp.secret_key, kem.ciphertext, 0), std::invalid_argument);
}
#endif
