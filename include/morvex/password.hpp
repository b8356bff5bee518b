// Password hashing: PBKDF2-HMAC into a self-describing JSON record,
// verification in constant time, and the rehash policy.
//
// Record (compact, keys sorted at both levels, ASCII only):
//   {"algorithm":"pbkdf2","createdUtc":"YYYY-MM-DDTHH:MM:SSZ","hash":"<Base64 of 64 bytes>",
//    "parameters":{"hashAlgorithm":"SHA512","iterations":N,"outputLength":64,"saltLength":32},
//    "salt":"<Base64 of 32 bytes>","version":2}
//
// Thread safety: every function may run on any number of threads at once; no
// state survives a call. Ownership: the record comes back as a std::string the
// caller owns and stores; the password is read in place and never kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::password {

inline constexpr std::string_view ALGORITHM = "pbkdf2";
inline constexpr std::int64_t VERSION = 2;
inline constexpr std::int64_t DEFAULT_ITERATIONS = 210000;
inline constexpr std::size_t SALT_LENGTH = 32;
inline constexpr std::size_t OUTPUT_LENGTH = 64;
inline constexpr std::string_view HASH_ALGORITHM = "SHA512";
// Records made with fewer iterations should be renewed.
inline constexpr std::int64_t UPGRADE_THRESHOLD = 210000;

// Bounds on what a record may ask for. A record is text from outside: a
// larger count or length is refused (false) before any derivation, so a
// hostile record can neither hang a server nor exhaust its memory.
// hash_password refuses counts outside [1, MAX_ITERATIONS] for the same
// reason (nothing could verify such a record).
inline constexpr std::int64_t MAX_ITERATIONS = 10'000'000;
inline constexpr std::int64_t MAX_OUTPUT_LENGTH = 1024;

// A new record for the password. Throws InvalidInputError "Password cannot be
// empty", then InvalidInputError for an iteration count outside
// [1, MAX_ITERATIONS].
std::string hash_password(std::string_view password, std::int64_t iterations = DEFAULT_ITERATIONS);

// True when the password matches the record. False, never an error, for an
// empty password, a malformed record, a count or length outside the bounds
// above, an unknown hash, or a mismatch. The digests are compared in
// constant time.
bool verify_password(std::string_view password, std::string_view hash_json);

// True when the record asks for fewer than UPGRADE_THRESHOLD iterations, or
// its iteration count cannot be read.
bool needs_rehash(std::string_view hash_json);

}  // namespace morvex::password
#pragma GCC visibility pop
