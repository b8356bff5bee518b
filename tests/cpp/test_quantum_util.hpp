// Helpers shared by the post-quantum tests.
#pragma once

#include <string>

#include "morvex/quantum/oqs.hpp"
#include "test_util.hpp"

namespace morvex::test {

inline const char* const kLoader =
    "Post-quantum support requires the native liboqs binding. Install it with:  pip install "
    "'morvex[quantum]'";
inline const char* const kGcmFailed = "Quantum AES-GCM decryption failed (wrong key or tampered data)";

// Marks the backend absent for the lifetime of the object.
struct BackendAbsent {
  BackendAbsent() { quantum::oqs::testing::set_backend_available(false); }
  ~BackendAbsent() { quantum::oqs::testing::set_backend_available(true); }
};

}  // namespace morvex::test

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
