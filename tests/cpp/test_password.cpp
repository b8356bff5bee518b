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

// A record in the stored layout for the password "secret", with the
// parameters of `made_with`, made with OpenSSL's one-shot PBKDF2 (independent
// of the record writer).
json hand_record(std::int64_t iterations, const json& made_with = json::object(), std::string_view password = "secret") {
  iterations = made_with.value("iterations", iterations);
  const std::string hash = made_with.value("hash", "SHA512");
  const int length = made_with.value("length", 64);
  const Bytes salt = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  Bytes out(static_cast<std::size_t>(length));
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                              static_cast<int>(salt.size()), static_cast<int>(iterations),
                              hash == "SHA512" ? EVP_sha512() : EVP_sha256(), length, out.data()),
            1);
  return json{{"algorithm", "pbkdf2"},
              {"createdUtc", "2024-01-02T03:04:05Z"},
              {"hash", encoding::base64_encode(out)},
              {"parameters",
               {{"hashAlgorithm", hash}, {"iterations", iterations}, {"outputLength", length}, {"saltLength", 32}}},
              {"salt", encoding::base64_encode(salt)},
              {"version", 2}};
}

// Applies a case's edits to a record: "erase" and "set" take JSON pointers,
// "hash_bytes" cuts or grows the hash (with zeros) to that many bytes.
json edited(json r, const json& c) {
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
  return r;
}

const json& cases() {
  static const json j = morvex::test::load_cases("password.json");
  return j;
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
  auto pick = [&](std::size_t lo, std::size_t hi) { return std::uniform_int_distribution<std::size_t>(lo, hi)(rng); };
  for (int i = 0; i < 400; ++i) {
    const bool sha512 = i % 2 == 0;
    std::string password(pick(0, 300), '\0');
    for (char& c : password) c = static_cast<char>(pick(0, 255));
    Bytes salt(pick(0, 100));
    for (auto& b : salt) b = static_cast<std::uint8_t>(pick(0, 255));
    const std::size_t iterations = pick(1, 40), length = pick(1, 200);
    Bytes ours(length), want(length);
    ASSERT_TRUE(detail::pbkdf2_hmac_blocks(sha512 ? "SHA2-512" : "SHA2-256", password, salt, iterations, ours));
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                                static_cast<int>(salt.size()), static_cast<int>(iterations),
                                sha512 ? EVP_sha512() : EVP_sha256(), static_cast<int>(length), want.data()),
              1);
    ASSERT_EQ(ours, want) << "case " << i << ": password " << password.size() << " bytes, salt " << salt.size()
                          << ", " << iterations << " iterations, " << length << " bytes";
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
  const json base = hand_record(50);
  EXPECT_TRUE(pw::verify_password("secret", base.dump()));
  EXPECT_FALSE(pw::verify_password("Secret", base.dump()));
  // Other hashes and lengths, ignored members, a missing name (SHA512),
  // integer forms of the counts, and a shorter output length (a prefix of the
  // same derivation).
  for (const json& c : cases()["accepted"])
    EXPECT_TRUE(pw::verify_password("secret", edited(hand_record(50, c.value("made_with", json::object())), c).dump()))
        << c;
  // A repeated key: the last one counts.
  std::string text = base.dump();
  text.insert(1, "\"salt\":\"AAAA\",");
  EXPECT_TRUE(pw::verify_password("secret", text));
  text = base.dump();
  text.insert(text.size() - 1, ",\"salt\":\"AAAA\"");
  EXPECT_FALSE(pw::verify_password("secret", text));
}

TEST(PasswordVerify, MalformedRecordsAreFalseAndNeedRehash) {
  const json base = hand_record(10);  // needs a rehash unless a case raises the count
  for (const json& c : cases()["malformed"]) {
    const std::string text = edited(base, c).dump();
    EXPECT_FALSE(pw::verify_password("secret", text)) << c["what"];
    EXPECT_FALSE(pw::_plan_verify(text).has_value()) << c["what"];
    EXPECT_EQ(pw::needs_rehash(text), c["rehash"].get<bool>()) << c["what"];
  }
  // An empty password is false even against a record made from "".
  EXPECT_FALSE(pw::verify_password("", hand_record(5, json::object(), "").dump()));
  // Records without a hash; counts beyond 64 bits compare by value.
  for (const json& c : cases()["bare_records"]) {
    EXPECT_FALSE(pw::verify_password("secret", c[0].get<std::string>())) << c[0];
    EXPECT_EQ(pw::needs_rehash(c[0].get<std::string>()), c[1].get<bool>()) << c[0];
  }
}
