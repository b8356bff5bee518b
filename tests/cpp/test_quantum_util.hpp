// Helpers shared by the post-quantum tests.
#pragma once

#include <string>

#include "quantum/oqs.hpp"
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

// The two header bytes of a quantum or signature key.
template <class K>
Bytes head(const K& key) {
  return Bytes(key.begin(), key.begin() + 2);
}

}  // namespace morvex::test
