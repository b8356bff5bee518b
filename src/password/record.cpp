// Reading password hash records back: verification and the rehash policy.
#include <openssl/crypto.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "common/ct.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/password.hpp"
#include "password/json_reader.hpp"
#include "password/record.hpp"

namespace morvex::password {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

bool is_space(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal integer with optional sign and surrounding white space; values
// beyond 64 bits saturate.
std::optional<std::int64_t> decimal_text(std::string_view s) noexcept {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  // Magnitude as an unsigned value, capped once it passes 2^63.
  constexpr std::uint64_t kCap = static_cast<std::uint64_t>(kMax) + 1;
  std::uint64_t magnitude = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    magnitude = magnitude > (kCap - digit) / 10 ? kCap : magnitude * 10 + digit;
  }
  if (negative) return magnitude >= kCap ? kMin : -static_cast<std::int64_t>(magnitude);
  return magnitude >= kCap ? kMax : static_cast<std::int64_t>(magnitude);
}

// A number with a fraction, truncated toward zero; it is finite (the reader
// refuses the others), and saturates beyond 64 bits.
std::int64_t truncated(double d) noexcept {
  const double t = std::trunc(d);
  // 2^63 is exactly representable; everything at or beyond it saturates.
  if (t >= 9223372036854775808.0) return kMax;
  if (t <= -9223372036854775808.0) return kMin;
  return static_cast<std::int64_t>(t);
}

// The reader's handler: keeps the members RecordFields names and passes over
// the rest.
class FieldReader {
 public:
  RecordFields fields;
  bool object = false;  // the text's value is an object

  void begin_object() { open(true); }
  void begin_array() { open(false); }
  void end() {
    if (--depth_ == 1) in_parameters_ = false;
  }

  void key(std::string_view k) {
    slot_ = Slot::None;
    if (depth_ == 1) {
      if (k == "salt") slot_ = Slot::Salt;
      else if (k == "hash") slot_ = Slot::Hash;
      else if (k == "parameters") slot_ = Slot::Parameters;
    } else if (depth_ == 2 && in_parameters_) {
      if (k == "iterations") slot_ = Slot::Iterations;
      else if (k == "outputLength") slot_ = Slot::OutputLength;
      else if (k == "hashAlgorithm") slot_ = Slot::HashAlgorithm;
    }
  }

  void string(std::string_view s) {
    switch (take()) {
      case Slot::Salt: fields.salt.emplace(s); break;
      case Slot::Hash: fields.hash.emplace(s); break;
      case Slot::Iterations: fields.iterations = decimal_text(s); break;
      case Slot::OutputLength: fields.output_length = decimal_text(s); break;
      case Slot::HashAlgorithm: fields.hash_algorithm = _find_hash(s); break;
      case Slot::Parameters: parameters(false); break;
      case Slot::None: break;
    }
  }
  void integer(std::string_view literal) { scalar(decimal_text(literal)); }
  void number(double d) { scalar(truncated(d)); }
  void boolean(bool b) { scalar(b ? 1 : 0); }
  void null() { scalar(std::nullopt); }

 private:
  enum class Slot : std::uint8_t { None, Salt, Hash, Parameters, Iterations, OutputLength, HashAlgorithm };

  // The member the next value sets; each value takes it once.
  Slot take() noexcept { return std::exchange(slot_, Slot::None); }

  // A value that is not a string: an integer by the rule, or nothing.
  void scalar(std::optional<std::int64_t> integer) {
    switch (take()) {
      case Slot::Salt: fields.salt.reset(); break;
      case Slot::Hash: fields.hash.reset(); break;
      case Slot::Iterations: fields.iterations = integer; break;
      case Slot::OutputLength: fields.output_length = integer; break;
      case Slot::HashAlgorithm: fields.hash_algorithm = nullptr; break;
      case Slot::Parameters: parameters(false); break;
      case Slot::None: break;
    }
  }

  void open(bool is_object) {
    if (depth_ == 0) object = is_object;
    if (slot_ == Slot::Parameters) {
      slot_ = Slot::None;
      parameters(is_object);
    } else {
      scalar(std::nullopt);  // a container in any other slot holds nothing the rules read
    }
    ++depth_;
  }

  // A new "parameters" member replaces everything an earlier one set.
  void parameters(bool is_object) {
    fields.iterations.reset();
    fields.output_length.reset();
    fields.hash_algorithm = is_object ? _find_hash(HASH_ALGORITHM) : nullptr;
    in_parameters_ = is_object;
  }

  std::size_t depth_ = 0;
  Slot slot_ = Slot::None;
  bool in_parameters_ = false;  // the object open at depth 2 is the latest "parameters"
};

}  // namespace

std::optional<RecordFields> _read_record(std::string_view hash_json) {
  FieldReader reader;
  if (!json::read(hash_json, reader) || !reader.object) return std::nullopt;
  return std::move(reader.fields);
}

std::optional<VerifyPlan> _plan_verify(std::string_view hash_json) {
  const std::optional<RecordFields> record = _read_record(hash_json);
  if (!record || !record->salt || !record->hash) return std::nullopt;
  std::optional<Bytes> salt = encoding::try_base64_decode(*record->salt);
  if (!salt) return std::nullopt;
  std::optional<Bytes> digest = encoding::try_base64_decode(*record->hash);
  if (!digest) return std::nullopt;
  const std::optional<std::int64_t> iterations = record->iterations;
  const std::optional<std::int64_t> length = record->output_length;
  if (!iterations || !length || record->hash_algorithm == nullptr) return std::nullopt;
  if (*iterations < 1 || *iterations > MAX_ITERATIONS) return std::nullopt;
  if (*length < 1 || *length > MAX_OUTPUT_LENGTH) return std::nullopt;
  // A stored digest of another length can never match: no derivation needed.
  if (digest->size() != static_cast<std::size_t>(*length)) return std::nullopt;
  return VerifyPlan{std::move(*salt), std::move(*digest), *iterations, record->hash_algorithm};
}

bool verify_password(std::string_view password, std::string_view hash_json) {
  if (password.empty()) return false;
  const std::optional<VerifyPlan> plan = _plan_verify(hash_json);
  if (!plan) return false;
  // A password without a UTF-8 form is refused only once there is something
  // to derive (the derivation's own check): against a malformed record the
  // answer stays false.
  SecureBytes derived(plan->digest.size());
  Derivation(password, plan->hash->name).into(plan->salt, plan->iterations, derived);
  // The answer is public: it is what verification is for.
  return morvex::detail::public_value(CRYPTO_memcmp(derived.data(), plan->digest.data(), derived.size()) == 0);
}

bool needs_rehash(std::string_view hash_json) {
  const std::optional<RecordFields> record = _read_record(hash_json);
  return !record || !record->iterations || *record->iterations < UPGRADE_THRESHOLD;
}

}  // namespace morvex::password
