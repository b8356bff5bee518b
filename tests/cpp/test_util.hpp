// Small helpers shared by the C++ tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "morvex/bytes.hpp"
#include "morvex/errors.hpp"

// googletest prints a SecureString as the text it is, not as a run of
// characters: it looks this name up next to the type (the allocator's
// namespace).
namespace morvex::detail {
inline void PrintTo(const SecureString& s, std::ostream* os) { *os << '"' << std::string_view(s) << '"'; }
}  // namespace morvex::detail

namespace morvex::test {

inline Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes from_hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

// tests/data of the source tree, named by the build (an absolute path, so the
// suite runs from any directory and whatever the compiler cache does to file
// names).
inline std::filesystem::path data_file(const char* folder, const std::string& name) {
  return std::filesystem::path(MORVEX_TEST_DATA) / folder / name;
}

// A case table of tests/data/cases.
inline nlohmann::json load_cases(const char* name) {
  std::ifstream in(data_file("cases", name));
  return nlohmann::json::parse(in);
}

// A fixed key text of tests/data/keys, read once (generating RSA-4096 keys in
// every test process would dominate the suite's time).
inline const char* key_text(const std::string& name) {
  static std::map<std::string, std::string> texts;  // node-based: addresses stay put
  auto [it, fresh] = texts.try_emplace(name);
  if (fresh) {
    std::ifstream in(data_file("keys", name));
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("missing test key " + name);
    it->second = text.str();
  }
  return it->second.c_str();
}

inline const char* const kPrivateA = key_text("rsa4096_a_private.pem");  // PKCS#8
inline const char* const kPublicA = key_text("rsa4096_a_public.pem");    // SubjectPublicKeyInfo
inline const char* const kPrivateB = key_text("rsa4096_b_private.pem");
inline const char* const kPublicB = key_text("rsa4096_b_public.pem");
inline const char* const kPrivate2048 = key_text("rsa2048_private.pem");
inline const char* const kPublic2048 = key_text("rsa2048_public.pem");

// Whether `f` throws `Err` with the message `want`; a `want` ending in ": "
// is a prefix that a reason must follow. With `need_cause`, the error must
// also carry a cause.
template <class Err, class F>
::testing::AssertionResult throws_error(F&& f, const std::string& want, bool need_cause) {
  try {
    f();
  } catch (const Err& e) {
    const std::string got = e.what();
    const bool prefix = need_cause && want.ends_with(": ");
    if (prefix ? !(got.starts_with(want) && got.size() > want.size()) : got != want)
      return ::testing::AssertionFailure() << "message \"" << got << "\", expected \"" << want << "\"";
    if constexpr (std::is_base_of_v<MorvexError, Err>) {
      if (need_cause && !e.cause()) return ::testing::AssertionFailure() << "no cause: " << got;
    }
    return ::testing::AssertionSuccess();
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "unexpected exception: " << e.what();
  }
  return ::testing::AssertionFailure() << "nothing thrown, expected \"" << want << "\"";
}

}  // namespace morvex::test

// Expects `stmt` to throw exactly `Err` with message `msg`.
#define EXPECT_MORVEX_ERROR(stmt, Err, msg) EXPECT_TRUE(::morvex::test::throws_error<Err>([&] { stmt; }, msg, false))

// Expects `stmt` to throw `Err` with a cause and the message `msg`; a `msg`
// ending in ": " is a prefix that a reason must follow.
#define EXPECT_ERROR_WITH_CAUSE(stmt, Err, msg) \
  EXPECT_TRUE(::morvex::test::throws_error<Err>([&] { stmt; }, msg, true))
