#include <openssl/evp.h>

#include "morvex/encoding.hpp"
#include "morvex/password.hpp"
#include "password/record.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;
using morvex::test::from_hex;
namespace pw = morvex::password;
using json = nlohmann::json;

namespace {

Bytes derive(std::string_view p, ByteView salt, std::int64_t it, std::int64_t len, std::string_view h) {
  const SecureBytes d = pw::_derive(p, salt, it, len, h);
  return Bytes(d.begin(), d.end());
}

// A record in the stored layout, with chosen parameters, made with OpenSSL's
// one-shot PBKDF2 (independent of the record writer).
json hand_record(std::string_view password, std::int64_t iterations, const EVP_MD* md = EVP_sha512(),
                 int length = 64) {
  const Bytes salt = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  Bytes out(static_cast<std::size_t>(length));
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                              static_cast<int>(salt.size()), static_cast<int>(iterations), md, length, out.data()),
            1);
  return json{{"algorithm", "pbkdf2"},
              {"createdUtc", "2024-01-02T03:04:05Z"},
              {"hash", encoding::base64_encode(out)},
              {"parameters",
               {{"hashAlgorithm", md == EVP_sha512() ? "SHA512" : "SHA256"},
                {"iterations", iterations},
                {"outputLength", length},
                {"saltLength", 32}}},
              {"salt", encoding::base64_encode(salt)},
              {"version", 2}};
}

// Re-encodes a record's hash cut or grown (with zeros) to `n` bytes.
void resize_hash(json& r, std::size_t n) {
  Bytes h = encoding::base64_decode(r["hash"].get<std::string>());
  h.resize(n);
  r["hash"] = encoding::base64_encode(h);
}

}  // namespace

TEST(PasswordDerive, KnownAnswersAndHashNames) {
  // PBKDF2 test vectors ("password", "salt").
  EXPECT_EQ(derive("password", bytes_of("salt"), 1, 64, "SHA512"),
            from_hex("867f70cf1ade02cff3752599a3a53dc4af34c7a669815ae5d513554e1c8cf252"
                     "c02d470a285a0501bad999bfe943c08f050235d7d68b1da55e63f73b60a57fce"));
  EXPECT_EQ(derive("password", bytes_of("salt"), 1, 32, "sha256"),
            from_hex("120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"));
  EXPECT_EQ(derive("password", bytes_of("salt"), 4096, 32, "Sha256"),
            from_hex("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"));
  // Upper-casing is Unicode's: the long s upper-cases to "S".
  EXPECT_EQ(derive("p", {}, 3, 20, "\xC5\xBFha512"), derive("p", {}, 3, 20, "SHA512"));

  for (const char* bad : {"MD5", "SHA1", "SHA384", "SHA3-512", "SHA-512", "sha512 ", "", "\xC5\xBF"})
    EXPECT_MORVEX_ERROR(pw::_derive("p", {}, 1, 16, bad), MorvexError,
                        std::string("Unsupported hash algorithm: ") + bad);
  try {
    pw::_derive("p", {}, 1, 16, "md5");
  } catch (const MorvexError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Morvex);  // the root class itself
  }
  // The unknown name is reported before the count or the length is looked at.
  EXPECT_MORVEX_ERROR(pw::_derive("p", {}, 0, 0, "MD5"), MorvexError, "Unsupported hash algorithm: MD5");
  EXPECT_THROW(pw::_derive("p", {}, 0, 16, "SHA512"), std::invalid_argument);
  EXPECT_THROW(pw::_derive("p", {}, 1, 0, "SHA512"), std::invalid_argument);
  EXPECT_THROW(pw::_derive("p", {}, -5, 16, "SHA512"), std::invalid_argument);
}

TEST(PasswordHash, RecordsDeriveOverTheirOwnFreshSalt) {
  // Stored records verifying: the frozen vectors.
  const std::string rec = pw::hash_password("hunter2", 1000);
  const json j = json::parse(rec);
  const Bytes salt = encoding::base64_decode(j["salt"].get<std::string>());
  EXPECT_EQ(encoding::base64_decode(j["hash"].get<std::string>()), derive("hunter2", salt, 1000, 64, "SHA512"));
  EXPECT_NE(json::parse(pw::hash_password("hunter2", 1000))["salt"], j["salt"]);
  EXPECT_TRUE(pw::verify_password("x", pw::hash_password("x", 1)));
}

TEST(PasswordHash, RefusesEmptyPasswordAndUnverifiableCounts) {
  EXPECT_MORVEX_ERROR(pw::hash_password(""), InvalidInputError, "Password cannot be empty");
  EXPECT_MORVEX_ERROR(pw::hash_password("", 0), InvalidInputError, "Password cannot be empty");
  const char* msg = "Iteration count must be between 1 and 10000000";
  for (std::int64_t n : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{10'000'001}, INT64_MAX, INT64_MIN})
    EXPECT_MORVEX_ERROR(pw::hash_password("p", n), InvalidInputError, msg);
}

TEST(PasswordRecord, IntegerConversion) {
  const std::int64_t max = INT64_MAX, min = INT64_MIN;
  const std::vector<std::pair<const char*, std::optional<std::int64_t>>> cases = {
      {"210000", 210000}, {"-3", -3}, {"210000.7", 210000}, {"-1.9", -1}, {"0.5", 0}, {"2.1e5", 210000},
      {"true", 1}, {"false", 0}, {"\"210000\"", 210000}, {"\" \\t+42\\n \"", 42}, {"\"-0007\"", -7},
      // Beyond 64 bits: saturated, never wrapped.
      {"18446744073709551615", max}, {"99999999999999999999999", max}, {"-99999999999999999999999", min},
      {"\"99999999999999999999999\"", max}, {"\"-99999999999999999999999\"", min},
      {"\"9223372036854775807\"", max}, {"\"-9223372036854775808\"", min}, {"\"9223372036854775808\"", max},
      {"1e300", max}, {"-1e300", min},
      {"null", std::nullopt}, {"[1]", std::nullopt}, {"{}", std::nullopt}, {"\"\"", std::nullopt},
      {"\" \"", std::nullopt}, {"\"+\"", std::nullopt}, {"\"1.5\"", std::nullopt}, {"\"1e3\"", std::nullopt},
      {"\"210_000\"", std::nullopt}, {"\"0x10\"", std::nullopt}, {"\"1 2\"", std::nullopt},
      {"\"--1\"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(pw::_to_integer(json::parse(text)), expected) << text;
  EXPECT_EQ(pw::_to_integer(json(std::nan(""))), std::nullopt);
  EXPECT_EQ(pw::_to_integer(json(INFINITY)), std::nullopt);
}

TEST(PasswordRecord, ParseKeepsObjectsOnlyAndTheLastRepeatedKey) {
  for (const char* bad : {"", "   ", "hello", "[1,2]", "5", "\"x\"", "true", "null", "{", "{\"a\":1}x",
                          "{\"a\":1,}", "\xEF\xBB\xBF{}", "{\"a\":NaN}", "{/*c*/}", "{\"a\":\"\xFF\"}",
                          "{\"a\":\"\\ud800\"}"})
    EXPECT_FALSE(pw::_parse(bad).has_value()) << bad;
  const auto j = pw::_parse(" \t\r\n{\"a\":1,\"a\":2,\"b\":{\"c\":3,\"c\":4}}\n ");
  ASSERT_TRUE(j.has_value());
  EXPECT_EQ((*j)["a"], 2);
  EXPECT_EQ((*j)["b"]["c"], 4);
  // Deep nesting is neither a crash nor an object at the top.
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_FALSE(pw::_parse(deep).has_value());
  const std::string deep_obj = "{\"x\":" + deep + "}";
  EXPECT_TRUE(pw::_parse(deep_obj).has_value());
}

TEST(PasswordVerify, HandBuiltRecordsAndTheirVariants) {
  const json base = hand_record("secret", 50);
  EXPECT_TRUE(pw::verify_password("secret", base.dump()));
  EXPECT_FALSE(pw::verify_password("Secret", base.dump()));
  EXPECT_FALSE(pw::needs_rehash(json{{"parameters", {{"iterations", 210000}}}}.dump()));
  EXPECT_TRUE(pw::needs_rehash(json{{"parameters", {{"iterations", 209999}}}}.dump()));
  EXPECT_FALSE(pw::needs_rehash(json{{"parameters", {{"iterations", 210001}}}}.dump()));

  // SHA-256 and other lengths; lower-case names; a missing name means SHA512.
  json sha256 = hand_record("secret", 20, EVP_sha256(), 32);
  EXPECT_TRUE(pw::verify_password("secret", sha256.dump()));
  sha256["parameters"]["hashAlgorithm"] = "sha256";
  EXPECT_TRUE(pw::verify_password("secret", sha256.dump()));
  json no_name = base;
  no_name["parameters"].erase("hashAlgorithm");
  EXPECT_TRUE(pw::verify_password("secret", no_name.dump()));

  // Ignored members, integer forms of the counts, and a shorter output
  // length (a prefix of the same derivation) all verify.
  const std::vector<std::function<void(json&)>> accepted = {
      [](json& r) { r["algorithm"] = "argon2"; },
      [](json& r) { r["version"] = "x"; },
      [](json& r) { r.erase("createdUtc"); },
      [](json& r) { r["parameters"]["saltLength"] = 7; },
      [](json& r) { r["parameters"]["iterations"] = " 50 "; },
      [](json& r) { r["parameters"]["iterations"] = 50.9; },
      [](json& r) { r["parameters"]["outputLength"] = "64"; },
      [](json& r) {
        resize_hash(r, 40);
        r["parameters"]["outputLength"] = 40;
      },
  };
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    json r = base;
    accepted[i](r);
    EXPECT_TRUE(pw::verify_password("secret", r.dump())) << "variant " << i;
  }
  // A repeated key: the last one counts.
  std::string text = base.dump();
  text.insert(1, "\"salt\":\"AAAA\",");
  EXPECT_TRUE(pw::verify_password("secret", text));
  text = base.dump();
  text.insert(text.size() - 1, ",\"salt\":\"AAAA\"");
  EXPECT_FALSE(pw::verify_password("secret", text));

  // One iteration record with true as its count.
  json one = hand_record("secret", 1);
  one["parameters"]["iterations"] = true;
  EXPECT_TRUE(pw::verify_password("secret", one.dump()));
}

TEST(PasswordVerify, MalformedRecordsAreFalseAndNeedRehash) {
  const json base = hand_record("secret", 10);
  struct Case {
    const char* what;
    std::function<void(json&)> edit;
    bool rehash;  // what needs_rehash says (the base count is 10)
  };
  const std::vector<Case> cases = {
      {"no salt", [](json& r) { r.erase("salt"); }, true},
      {"no hash", [](json& r) { r.erase("hash"); }, true},
      {"no parameters", [](json& r) { r.erase("parameters"); }, true},
      {"no iterations", [](json& r) { r["parameters"].erase("iterations"); }, true},
      {"no outputLength", [](json& r) { r["parameters"].erase("outputLength"); }, true},
      {"salt a number", [](json& r) { r["salt"] = 5; }, true},
      {"hash null", [](json& r) { r["hash"] = nullptr; }, true},
      {"parameters an array", [](json& r) { r["parameters"] = json::array({1, 2}); }, true},
      {"salt with a space", [](json& r) { std::string s = r["salt"]; s.insert(s.begin(), ' '); r["salt"] = s; }, true},
      {"hash URL-safe", [](json& r) { r["hash"] = "-_" + r["hash"].get<std::string>().substr(2); }, true},
      {"hash unpadded", [](json& r) { r["hash"] = r["hash"].get<std::string>().substr(0, 86); }, true},
      {"iterations text", [](json& r) { r["parameters"]["iterations"] = "ten"; }, true},
      {"outputLength array", [](json& r) { r["parameters"]["outputLength"] = json::array(); }, true},
      {"hashAlgorithm number", [](json& r) { r["parameters"]["hashAlgorithm"] = 512; }, true},
      {"hashAlgorithm MD5", [](json& r) { r["parameters"]["hashAlgorithm"] = "MD5"; }, true},
      {"hash one byte longer", [](json& r) { resize_hash(r, 65); }, true},
      {"hash one byte shorter", [](json& r) { resize_hash(r, 63); }, true},
      {"iterations 0", [](json& r) { r["parameters"]["iterations"] = 0; }, true},
      {"iterations negative", [](json& r) { r["parameters"]["iterations"] = -10; }, true},
      {"iterations above the bound", [](json& r) { r["parameters"]["iterations"] = 10'000'001; }, false},
      {"iterations beyond 64 bits", [](json& r) { r["parameters"]["iterations"] = 1e30; }, false},
      {"outputLength 0", [](json& r) { r["parameters"]["outputLength"] = 0; }, true},
      {"outputLength 1025", [](json& r) { r["parameters"]["outputLength"] = 1025; }, true},
      {"outputLength huge", [](json& r) { r["parameters"]["outputLength"] = "99999999999999999999999"; }, true},
  };
  for (const Case& c : cases) {
    json r = base;
    c.edit(r);
    const std::string text = r.dump();
    EXPECT_FALSE(pw::verify_password("secret", text)) << c.what;
    EXPECT_FALSE(pw::_plan_verify(text).has_value()) << c.what;
    EXPECT_EQ(pw::needs_rehash(text), c.rehash) << c.what;
  }
  // An empty password is false even against a record made from "".
  EXPECT_FALSE(pw::verify_password("", hand_record("", 5).dump()));
  for (const char* text : {"", "plain words", "[1,2,3]", "5", "{}", "null"}) {
    EXPECT_FALSE(pw::verify_password("secret", text)) << text;
    EXPECT_TRUE(pw::needs_rehash(text)) << text;
  }
  // Values beyond 64 bits compare by value: huge positive is no rehash, huge
  // negative is one.
  EXPECT_FALSE(pw::needs_rehash(R"({"parameters":{"iterations":123456789012345678901234567890}})"));
  EXPECT_FALSE(pw::needs_rehash(R"({"parameters":{"iterations":"123456789012345678901234567890"}})"));
  EXPECT_TRUE(pw::needs_rehash(R"({"parameters":{"iterations":-123456789012345678901234567890}})"));
  EXPECT_TRUE(pw::needs_rehash(R"({"parameters":{"iterations":"-18446744073709551616"}})"));
  EXPECT_TRUE(pw::needs_rehash(R"({"parameters":{"iterations":209999.9}})"));
}
