#include "morvex/password.hpp"
#include "password/record.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::from_hex;
namespace pw = morvex::password;
using json = nlohmann::json;

namespace {

const json& cases() {
  static const json j = morvex::test::load_cases("password.json");
  return j;
}

// The case's record (or `base`) as text, after the case's edits ("erase" and
// "set" take JSON pointers).
std::string edited(const json& c, const char* base) {
  json r = cases()["records"][c.value("record", base)];
  for (const auto& p : c.value("erase", json::array())) {
    const json::json_pointer ptr(p.get<std::string>());
    r[ptr.parent_pointer()].erase(ptr.back());
  }
  const json set = c.value("set", json::object());
  for (const auto& [path, value] : set.items()) r[json::json_pointer(path)] = value;
  return r.dump();
}

}  // namespace

TEST(PasswordDerive, KnownAnswersAndHashNames) {
  // Refused names, counts and lengths: the refusal table.
  for (const json& c : cases()["pbkdf2"]) {
    const std::string password = to_string(from_hex(c["password"].get<std::string>()));
    EXPECT_EQ(pw::_derive(password, from_hex(c["salt"].get<std::string>()), c["iterations"], c["length"],
                          c["hash"].get<std::string>()),
              from_hex(c["hex"].get<std::string>()))
        << c;
  }
  // Upper-casing is Unicode's: the long s upper-cases to "S".
  EXPECT_EQ(pw::_derive("p", {}, 3, 20, "\xC5\xBFha512"), pw::_derive("p", {}, 3, 20, "SHA512"));
}

TEST(PasswordHash, RecordsDrawAFreshSalt) {
  // The record text and its derivation: the Python suite against hashlib;
  // stored records: the frozen vectors.
  EXPECT_NE(json::parse(pw::hash_password("hunter2", 1))["salt"], json::parse(pw::hash_password("hunter2", 1))["salt"]);
}

TEST(PasswordRecord, IntegerConversion) {
  // Every JSON form of a count, read as "iterations"; beyond 64 bits a count
  // saturates, never wraps.
  for (const json& c : cases()["to_integer"]) {
    const std::optional<std::int64_t> want =
        c[1].is_null() ? std::nullopt : std::optional<std::int64_t>(c[1].get<std::int64_t>());
    const auto record = pw::_read_record("{\"parameters\":{\"iterations\":" + c[0].get<std::string>() + "}}");
    ASSERT_TRUE(record.has_value()) << c[0];
    EXPECT_EQ(record->iterations, want) << c[0];
  }
}

TEST(PasswordRecord, ReaderKeepsObjectsOnlyAndTheLastRepeatedKey) {
  for (const json& bad : cases()["parse_refused"])
    EXPECT_FALSE(pw::_read_record(bad.get<std::string>()).has_value()) << bad;
  // Bytes that are no UTF-8 (a JSON text cannot carry them).
  for (const char* bad : {"{\"a\":\"\xFF\"}", "{\"a\":\"\xC0\x80\"}", "{\"a\":\"\xED\xA0\x80\"}",
                          "{\"a\":\"\xF4\x90\x80\x80\"}"})
    EXPECT_FALSE(pw::_read_record(bad).has_value()) << bad;
  for (const json& good : cases()["parse_accepted"])
    EXPECT_TRUE(pw::_read_record(good.get<std::string>()).has_value()) << good;
  const auto r = pw::_read_record(
      " \t\r\n{\"salt\":\"A\",\"salt\":\"B\",\"parameters\":{\"iterations\":3,\"iterations\":4},"
      "\"parameters\":{\"outputLength\":5,\"x\":{\"iterations\":6}},\"x\":{\"hash\":\"C\"}}\n ");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->salt, "B");
  EXPECT_EQ(r->hash, std::nullopt);            // only a top-level member counts
  EXPECT_EQ(r->iterations, std::nullopt);      // the last "parameters" has none
  EXPECT_EQ(r->output_length, 5);
  EXPECT_EQ(r->hash_algorithm, pw::_find_hash(pw::HASH_ALGORITHM));
  EXPECT_EQ(pw::_read_record("{\"s\\u0061lt\":\"\\u0041\"}")->salt, "A");  // keys compare decoded
  // Deep nesting is neither a crash nor an object at the top.
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_FALSE(pw::_read_record(deep).has_value());
  EXPECT_TRUE(pw::_read_record("{\"x\":" + deep + "}").has_value());
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
