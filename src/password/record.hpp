// The record reader's JSON side: the parts of reading a password record that
// deal in the JSON library's types. They live here, beside the reader, so
// that the public header and every program that includes it need no JSON
// headers.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "morvex/password.hpp"

namespace morvex::password {

// _derive into caller-owned storage; the length is out.size().
void _derive_into(std::string_view password, ByteView salt, std::int64_t iterations,
                  std::string_view hash_algorithm, std::span<std::uint8_t> out);

// What verification takes from a record before deriving anything: nothing
// when the record is malformed or out of bounds (verify_password is then
// false whatever the password).
struct VerifyPlan {
  Bytes salt;
  Bytes digest;
  std::int64_t iterations;
  const HashEntry* hash;
};
std::optional<VerifyPlan> _plan_verify(std::string_view hash_json);

// The record's top-level object, or nothing when the text is not a JSON
// object (RFC 8259; a repeated key keeps its last value; a byte order mark
// is not JSON).
std::optional<nlohmann::json> _parse(std::string_view hash_json);

// The integer a record member stands for: integers as they are, numbers with
// a fraction truncated toward zero, true/false as 1/0, strings holding a
// decimal integer (optional sign, surrounding ASCII white space). Values
// beyond the 64-bit range saturate at its ends, so every comparison with a
// bound or threshold keeps its answer. Anything else is nothing.
std::optional<std::int64_t> _to_integer(const nlohmann::json& value) noexcept;

}  // namespace morvex::password
