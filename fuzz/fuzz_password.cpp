// Password records from the fuzzer: the record reader agrees with a general
// JSON parser on which texts are JSON objects; verify_password and
// needs_rehash on any text never throw, agree with the fields the reader
// takes, and derive only what the record allows.
//
// Input: one byte n, then n % 16 bytes of password, then the record text.
// Records asking for more than kMaxFuzzIterations are only planned, not
// derived, so each run stays fast.
#include <openssl/crypto.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/password.hpp"
#include "password/internal.hpp"
#include "password/record.hpp"

using namespace morvex;
namespace pw = morvex::password;

namespace {

constexpr std::int64_t kMaxFuzzIterations = 64;

void check(bool ok) {
  if (!ok) std::abort();
}

// What nlohmann::json makes of the text: 1 an object, 0 another value, -1
// not JSON, -2 a number it cannot hold (an integer or a fraction beyond the
// double range, which the reader decides on its own).
int general_reading(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return -1;  // nlohmann skips a byte order mark
  // nlohmann ends the text at a NUL byte; JSON has no place for one outside
  // a string, nor unescaped inside one.
  if (text.find('\0') != std::string_view::npos) return -1;
  try {
    return nlohmann::json::parse(text.begin(), text.end()).is_object() ? 1 : 0;
  } catch (const nlohmann::json::out_of_range&) {
    return -2;
  } catch (const nlohmann::json::parse_error&) {
    return -1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(data[0] % 16, size - 1);
  const std::string_view password(reinterpret_cast<const char*>(data + 1), n);
  const std::string_view text(reinterpret_cast<const char*>(data + 1 + n), size - 1 - n);

  const std::optional<pw::RecordFields> record = pw::_read_record(text);
  const int general = general_reading(text);
  if (general != -2) check(record.has_value() == (general == 1));

  // The rehash policy: only the iteration count decides.
  const std::optional<std::int64_t> iterations = record ? record->iterations : std::nullopt;
  check(pw::needs_rehash(text) == (!iterations || *iterations < pw::UPGRADE_THRESHOLD));

  const std::optional<pw::VerifyPlan> plan = pw::_plan_verify(text);
  if (plan) {
    check(record.has_value() && iterations == plan->iterations && plan->hash == record->hash_algorithm);
    check(plan->iterations >= 1 && plan->iterations <= pw::MAX_ITERATIONS);
    check(!plan->digest.empty() && plan->digest.size() <= static_cast<std::size_t>(pw::MAX_OUTPUT_LENGTH));
  }
  if (password.empty() || !plan) {
    check(!pw::verify_password(password, text));
    return 0;
  }
  if (plan->iterations > kMaxFuzzIterations) return 0;
  try {
    encoding::text_bytes(password);
  } catch (const TextEncodeError&) {  // no UTF-8 form: refused before deriving
    try {
      pw::verify_password(password, text);
      std::abort();
    } catch (const TextEncodeError&) {
    }
    return 0;
  }

  const bool ok = pw::verify_password(password, text);
  const SecureBytes derived = pw::_derive(password, plan->salt, plan->iterations,
                                          static_cast<std::int64_t>(plan->digest.size()), plan->hash->name);
  check(ok == (CRYPTO_memcmp(derived.data(), plan->digest.data(), derived.size()) == 0));
  // The derived bytes, written back as a record, verify.
  const nlohmann::json made = {
      {"salt", encoding::base64_encode(plan->salt)},
      {"hash", encoding::base64_encode(derived)},
      {"parameters",
       {{"iterations", plan->iterations}, {"outputLength", derived.size()}, {"hashAlgorithm", plan->hash->name}}},
  };
  check(pw::verify_password(password, made.dump()));
  return 0;
}
