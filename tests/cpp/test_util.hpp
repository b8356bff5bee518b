// Small helpers shared by the C++ tests.
#pragma once

#include <gtest/gtest.h>

#include <exception>
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
