#include <openssl/evp.h>

#include <random>

#include "morvex/encoding.hpp"
#include "morvex/password.hpp"
#include "password/pbkdf2.hpp"
#include "password/record.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;
using morvex::test::from_hex;
namespace pw = morvex::password;
using json = nlohmann::json;

namespace {

const json& cases() {
  static const json j = morvex::test::load_cases("password.json");
  return j;
}

// The case's record (or `base`) as text, after the case's edits: "erase" and
// "set" take JSON pointers, "hash_bytes" cuts or grows the hash (with zeros).
std::string edited(const json& c, const char* base) {
  json r = cases()["records"][c.value("record", base)];
  for (const auto& p : c.value("erase", json::array())) {
    const json::json_pointer ptr(p.get<std::string>());
    r[ptr.parent_pointer()].erase(ptr.back());
  }
  const json set = c.value("set", json::object());
  for (const auto& [path, value] : set.items()) r[json::json_pointer(path)] = value;
  if (c.contains("hash_bytes")) {
    Bytes h = encoding::base64_decode(r["hash"].get<std::string>());
    h.resize(c["hash_bytes"].get<std::size_t>());
    r["hash"] = encoding::base64_encode(h);
  }
  return r.dump();
}

}  // namespace

TEST(PasswordDerive, KnownAnswersAndHashNames) {
  // Refused names, counts and lengths: the refusal table.
  for (const json& c : cases()["pbkdf2"])
    EXPECT_EQ(pw::_derive(c["password"].get<std::string>(), bytes_of(c["salt"].get<std::string>()), c["iterations"],
                          c["length"], c["hash"].get<std::string>()),
              from_hex(c["hex"].get<std::string>()));
  // Upper-casing is Unicode's: the long s upper-cases to "S".
  EXPECT_EQ(pw::_derive("p", {}, 3, 20, "\xC5\xBFha512"), pw::_derive("p", {}, 3, 20, "SHA512"));
}

// The block-function PBKDF2 against OpenSSL's own, on random passwords
// (shorter and longer than a hash block), salts, counts and lengths (several
// output blocks), for both hashes.
TEST(Pbkdf2, AgreesWithOpenSslOnRandomInputs) {
  std::mt19937_64 rng(20261206);
  auto random_bytes = [&](std::size_t lo, std::size_t hi) {
    std::string s(std::uniform_int_distribution<std::size_t>(lo, hi)(rng), '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  };
  for (int i = 0; i < 400; ++i) {
    const bool sha512 = i % 2 == 0;
    const std::string password = random_bytes(0, 300), salt = random_bytes(0, 100);
    const int iterations = static_cast<int>(1 + rng() % 40), length = static_cast<int>(1 + rng() % 200);
    Bytes ours(static_cast<std::size_t>(length)), want(ours.size());
    ASSERT_TRUE(detail::pbkdf2_hmac_blocks(sha512 ? "SHA2-512" : "SHA2-256", password, as_bytes(salt),
                                           static_cast<std::size_t>(iterations), ours));
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), as_bytes(salt).data(),
                                static_cast<int>(salt.size()), iterations, sha512 ? EVP_sha512() : EVP_sha256(),
                                length, want.data()),
              1);
    ASSERT_EQ(ours, want) << "case " << i;
  }
}

TEST(PasswordHash, RecordsDrawAFreshSalt) {
  // The record text and its derivation: the Python suite against hashlib;
  // stored records: the frozen vectors.
  EXPECT_NE(json::parse(pw::hash_password("hunter2", 1))["salt"], json::parse(pw::hash_password("hunter2", 1))["salt"]);
}

TEST(PasswordRecord, IntegerConversion) {
  // Beyond 64 bits a count saturates, never wraps.
  for (const json& c : cases()["to_integer"]) {
    const std::optional<std::int64_t> want =
        c[1].is_null() ? std::nullopt : std::optional<std::int64_t>(c[1].get<std::int64_t>());
    EXPECT_EQ(pw::_to_integer(json::parse(c[0].get<std::string>())), want) << c[0];
  }
  EXPECT_EQ(pw::_to_integer(json(std::nan(""))), std::nullopt);
  EXPECT_EQ(pw::_to_integer(json(INFINITY)), std::nullopt);
}

TEST(PasswordRecord, ParseKeepsObjectsOnlyAndTheLastRepeatedKey) {
  for (const json& bad : cases()["parse_refused"]) EXPECT_FALSE(pw::_parse(bad.get<std::string>()).has_value()) << bad;
  EXPECT_FALSE(pw::_parse("{\"a\":\"\xFF\"}").has_value());  // not UTF-8
  const auto j = pw::_parse(" \t\r\n{\"a\":1,\"a\":2,\"b\":{\"c\":3,\"c\":4}}\n ");
  ASSERT_TRUE(j.has_value());
  EXPECT_EQ((*j)["a"], 2);
  EXPECT_EQ((*j)["b"]["c"], 4);
  // Deep nesting is neither a crash nor an object at the top.
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_FALSE(pw::_parse(deep).has_value());
  EXPECT_TRUE(pw::_parse("{\"x\":" + deep + "}").has_value());
}

TEST(PasswordVerify, HandBuiltRecordsAndTheirVariants) {
  const std::string base = edited(json::object(), "sha512_50");
  EXPECT_TRUE(pw::verify_password("secret", base));
  EXPECT_FALSE(pw::verify_password("Secret", base));
  // Other hashes and lengths, ignored members, a missing name (SHA512),
  // integer forms of the counts, and a shorter output length (a prefix of the
  // same derivation).
  for (const json& c : cases()["accepted"]) EXPECT_TRUE(pw::verify_password("secret", edited(c, "sha512_50"))) << c;
  // A repeated key: the last one counts.
  EXPECT_TRUE(pw::verify_password("secret", "{\"salt\":\"AAAA\"," + base.substr(1)));
  EXPECT_FALSE(pw::verify_password("secret", base.substr(0, base.size() - 1) + ",\"salt\":\"AAAA\"}"));
}

TEST(PasswordVerify, MalformedRecordsAreFalseAndNeedRehash) {
  // The base record needs a rehash unless a case raises the count.
  for (const json& c : cases()["malformed"]) {
    const std::string text = edited(c, "sha512_10");
    EXPECT_FALSE(pw::verify_password("secret", text)) << c["what"];
    EXPECT_FALSE(pw::_plan_verify(text).has_value()) << c["what"];
    EXPECT_EQ(pw::needs_rehash(text), c["rehash"].get<bool>()) << c["what"];
  }
  // An empty password is false even against a record made from "".
  EXPECT_FALSE(pw::verify_password("", edited(json::object(), "empty_password")));
  // Records without a hash; counts beyond 64 bits compare by value.
  for (const json& c : cases()["bare_records"]) {
    EXPECT_FALSE(pw::verify_password("secret", c[0].get<std::string>())) << c[0];
    EXPECT_EQ(pw::needs_rehash(c[0].get<std::string>()), c[1].get<bool>()) << c[0];
  }
}
