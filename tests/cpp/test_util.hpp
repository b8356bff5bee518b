// Small helpers shared by the C++ tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "morvex/bytes.hpp"
#include "morvex/errors.hpp"

namespace morvex::test {

inline Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes from_hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

// A case table of tests/data/cases.
inline nlohmann::json load_cases(const char* name) {
  std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "cases" / name);
  return nlohmann::json::parse(in);
}

}  // namespace morvex::test

// Expects `stmt` to throw exactly `Err` with message `msg`.
#define EXPECT_MORVEX_ERROR(stmt, Err, msg)                                        \
  do {                                                                             \
    try {                                                                          \
      stmt;                                                                        \
      ADD_FAILURE() << "expected " #Err " \"" << (msg) << "\"";                    \
    } catch (const Err& e__) {                                                     \
      EXPECT_EQ(std::string(e__.what()), std::string(msg));                        \
    } catch (const std::exception& e__) {                                          \
      ADD_FAILURE() << "unexpected exception: " << e__.what();                     \
    }                                                                              \
  } while (0)

// Expects `stmt` to throw `Err` with a cause and the message `msg`; a `msg`
// ending in ": " is a prefix that a reason must follow.
#define EXPECT_ERROR_WITH_CAUSE(stmt, Err, msg)                                             \
  do {                                                                                      \
    const std::string want__ = (msg);                                                       \
    try {                                                                                   \
      stmt;                                                                                 \
      ADD_FAILURE() << "expected " #Err " " << want__;                                      \
    } catch (const Err& e__) {                                                              \
      const std::string got__ = e__.what();                                                 \
      if (want__.size() >= 2 && want__.compare(want__.size() - 2, 2, ": ") == 0)            \
        EXPECT_TRUE(got__.rfind(want__, 0) == 0 && got__.size() > want__.size()) << got__;  \
      else                                                                                  \
        EXPECT_EQ(got__, want__);                                                           \
      EXPECT_TRUE(e__.cause() != nullptr) << got__;                                         \
    }                                                                                       \
  } while (0)
