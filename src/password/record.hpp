// The password area's internals: the derivation in its two steps and what
// the record reader takes from a record. The binding and the tests reach for
// them; C++ callers use morvex/password.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "morvex/password.hpp"
#include "password/internal.hpp"

namespace morvex::password {

// A derivation whose hash name and password have been accepted, checked in
// that order when it is made: MorvexError "Unsupported hash algorithm:
// <name as given>" for a name not in kHashes, then TextEncodeError for a
// password without a UTF-8 form. Whatever else a caller reads for the
// derivation comes after these two checks.
class Derivation {
 public:
  Derivation(std::string_view password, std::string_view hash_algorithm);

  // InvalidArgumentError for an iteration count or a length below 1,
  // PrimitiveError when OpenSSL fails.
  SecureBytes operator()(ByteView salt, std::int64_t iterations, std::int64_t length) const;
  // Into caller-owned storage; the length is out.size().
  void into(ByteView salt, std::int64_t iterations, std::span<std::uint8_t> out) const;

  const HashEntry& hash() const noexcept { return *hash_; }

 private:
  const HashEntry* hash_;
  ByteView password_;  // the password's UTF-8 form
};

// The members of a record that verification and the rehash policy read, as
// they stand after the whole text (a repeated key keeps its last value).
struct RecordFields {
  std::optional<std::string> salt;  // "salt" when it is a string
  std::optional<std::string> hash;  // "hash" when it is a string
  // "parameters"."iterations" and "outputLength" by the integer rule:
  // integers as they are, numbers with a fraction truncated toward zero,
  // true/false as 1/0, strings holding a decimal integer (optional sign,
  // surrounding ASCII white space). Values beyond the 64-bit range saturate
  // at its ends, so every comparison with a bound or threshold keeps its
  // answer. Nothing when absent, when "parameters" is not an object, or when
  // the rule gives no integer.
  std::optional<std::int64_t> iterations;
  std::optional<std::int64_t> output_length;
  // "parameters"."hashAlgorithm" looked up in kHashes; HASH_ALGORITHM's entry
  // when absent; nullptr when it is not a string or names no entry.
  const HashEntry* hash_algorithm = nullptr;
};

// The fields of a record, or nothing when the text is not a JSON object
// (RFC 8259 and the reader's rules in password/json_reader.hpp).
std::optional<RecordFields> _read_record(std::string_view hash_json);

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

}  // namespace morvex::password
