// Input a hostile caller can hand in: text without a UTF-8 form, RSA public
// keys that protect nothing, JSON integers of any size, CBC ciphertexts that
// are not whole blocks behind a valid MAC.
#include <stdexcept>
#include <string>

#include "morvex/aes.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/keys.hpp"
#include "morvex/password.hpp"
#include "morvex/quantum.hpp"
#include "quantum/formats.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

// "ab" U+00E9 U+D800 "cd": the surrogate is the fourth character, written
// as the Python binding hands it on.
const std::string kSurrogateText = "ab\xC3\xA9\xED\xA0\x80" "cd";

// Names the position and the code point, and nothing of the text.
const char* const kRefused = "character 3 (U+D800) has no utf-8 form";

std::string record_with_iterations(const std::string& iterations) {
  return R"({"algorithm":"pbkdf2","hash":"AAAA","parameters":{"hashAlgorithm":"SHA512","iterations":)" +
         iterations + R"(,"outputLength":3,"saltLength":3},"salt":"AAAA","version":2})";
}

}  // namespace

TEST(HostileInput, TextWithoutUtf8FormIsRefusedWithoutQuotingIt) {
  const std::string& t = kSurrogateText;
  try {
    keys::convert_key(t);
    ADD_FAILURE() << "accepted";
  } catch (const TextEncodeError& e) {
    EXPECT_EQ(e.position(), 3u);
    EXPECT_EQ(e.code_point(), 0xD800u);
  }
  EXPECT_MORVEX_ERROR(keys::convert_key(t), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(aes::encrypt_str(t, "key"), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(aes::encrypt_str("text", t), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(rsa::encrypt_str(t, kPublicA), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(hybrid::encrypt_str(t, kPublicA), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(rsa::sign_str(t, kPrivateA), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(quantum::encrypt(t, Bytes{0x63, 2, 1}), TextEncodeError, kRefused);
  EXPECT_MORVEX_ERROR(password::verify_password(t, password::hash_password("pw", 1)), TextEncodeError, kRefused);
  // Each at its own step: the checks before it keep their answers.
  EXPECT_MORVEX_ERROR(aes::encrypt_str("", t), InvalidInputError, "Plaintext cannot be empty");
  EXPECT_FALSE(rsa::verify_str(t, "not base64", kPublicA));
  EXPECT_MORVEX_ERROR(quantum::encrypt(t, Bytes{8, 2}), InvalidInputError, "Invalid or empty quantum public key");
  EXPECT_FALSE(password::verify_password(t, "junk"));
  // Found wherever it stands (the search goes eight bytes at a time), and
  // only a surrogate: U+D7FF and a lone lead byte at the end are text.
  for (std::size_t at = 0; at + 3 <= 40; ++at) {
    std::string s(40, 'x');
    s.replace(at, 3, "\xED\xB0\x81");
    EXPECT_THROW(keys::convert_key(s), TextEncodeError) << at;
    s.replace(at, 3, "\xED\x9F\xBF");
    EXPECT_NO_THROW(keys::convert_key(s + "\xED\xA0")) << at;
  }
  // In a signature text, the surrogate is not Base64 (in ciphertext texts:
  // rows of the refusal table).
  const std::string sig = rsa::sign_str("text", kPrivateA);
  EXPECT_FALSE(rsa::verify_str("text", sig.substr(0, sig.size() - 4) + "\xED\xA0\x80" "A", kPublicA));
}

TEST(HostileInput, PublicKeysWithExponentOneOrEvenAreRefusedOnLoading) {
  const std::string reason = "public exponent must be odd and greater than 1";
  const std::string pub = "Invalid RSA public key PEM: " + reason;
  const nlohmann::json cases = load_cases("rsa_exponents.json");
  for (const auto& c : cases["rsa_exponents"]) {
    const std::string pem = c["pem"];
    if (!c["refused"].get<bool>()) {
      EXPECT_NO_THROW(rsa::_load_public(pem)) << c["exponent"];
      continue;
    }
    EXPECT_MORVEX_ERROR(rsa::_load_public(pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::encrypt_bytes(Bytes(10, 1), pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::encrypt_bytes(Bytes(1000, 1), pem), InvalidInputError, pub);
    EXPECT_MORVEX_ERROR(rsa::verify_bytes(Bytes(10, 1), Bytes(512, 1), pem), InvalidInputError, pub);
    const Bytes gen7 = from_hex(c["gen7_public_hex"].get<std::string>());
    EXPECT_MORVEX_ERROR(quantum::_gen7_encrypt(bytes_of("m"), gen7, 0), InvalidInputError,
                        "Invalid Gen7 RSA public key: " + reason);
  }
}

TEST(HostileInput, JsonIntegersKeepTheirValueWhateverTheirSize) {
  const std::string huge(400, '9');
  EXPECT_FALSE(password::needs_rehash(record_with_iterations(huge)));
  EXPECT_TRUE(password::needs_rehash(record_with_iterations("-" + huge)));
  // Beyond the bounds: refused before anything is derived.
  EXPECT_FALSE(password::verify_password("pw", record_with_iterations(huge)));
  // A number written with a fraction beyond the double range is no JSON the
  // reader takes.
  EXPECT_TRUE(password::needs_rehash(record_with_iterations("1" + huge + ".5")));
}

#ifdef MORVEX_WITH_PQ
TEST(HostileInput, CbcCiphertextsThatAreNotWholeBlocksBehindAValidMacAreValueErrors) {
  const nlohmann::json c = load_cases("cbc_not_whole_blocks.json");
  const Bytes sk = from_hex(c["secret_key"].get<std::string>());
  const Bytes kem = from_hex(c["kem_ciphertext"].get<std::string>());
  EXPECT_THROW(quantum::_gen2_decrypt(from_hex(c["gen2"].get<std::string>()), sk, kem, 0), InvalidArgumentError);
  EXPECT_THROW(quantum::_gen5_decrypt(from_hex(c["gen5"].get<std::string>()), sk, kem, 0), InvalidArgumentError);
}
#endif
