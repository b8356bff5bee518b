// Reading password hash records back: verification and the rehash policy.
#include <openssl/crypto.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/ct.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/password.hpp"
#include "password/record.hpp"

namespace morvex::password {
namespace {

using json = nlohmann::json;

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

// The member `key` of an object, or nullptr.
const json* member(const json& object, const char* key) noexcept {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// The record's "parameters"."iterations" as an integer, or nothing.
std::optional<std::int64_t> iterations_of(const json& record) noexcept {
  const json* params = member(record, "parameters");
  if (params == nullptr) return std::nullopt;
  const json* iterations = member(*params, "iterations");
  if (iterations == nullptr) return std::nullopt;
  return _to_integer(*iterations);
}

std::optional<Bytes> base64_member(const json& record, const char* key) {
  const json* v = member(record, key);
  if (v == nullptr || !v->is_string()) return std::nullopt;
  return encoding::try_base64_decode(v->get_ref<const std::string&>());
}

// JSON integers keep their value whatever their size, but the reader turns
// those beyond 64 bits into doubles (losing digits) and refuses those beyond
// the double range outright. A look over the text before parsing finds the
// integer literals of 19 digits or more and notes each with its place among
// the text's numbers; each one the parser could only read as a double is then
// stored as a binary value holding its decimal literal, a kind JSON text
// cannot produce. Literals beyond the double range are handed to the parser
// as 1e308 (with their sign) and replaced the same way.
struct LongIntegers {
  std::optional<std::string> rewritten;  // nothing when nothing needed rewriting
  std::vector<std::pair<std::size_t, std::string_view>> literals;  // (number's ordinal, literal)
};

LongIntegers find_long_integers(std::string_view text) {
  constexpr std::size_t kMaxDigits = 308;
  constexpr std::size_t kMax64Digits = 19;
  LongIntegers found;
  std::size_t copied = 0, ordinal = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
      continue;
    }
    if (c == '"') {
      in_string = true;
      continue;
    }
    if (c != '-' && (c < '0' || c > '9')) continue;
    // A number: the run of characters a number may hold.
    std::size_t end = i + 1;
    while (end < text.size() && std::string_view("0123456789+-.eE").find(text[end]) != std::string_view::npos) ++end;
    const std::string_view literal = text.substr(i, end - i);
    const std::size_t digits = literal.size() - (c == '-');
    if (digits >= kMax64Digits && literal.find_first_of(".eE+", 1) == std::string_view::npos &&
        literal.find('-', 1) == std::string_view::npos && literal[c == '-'] != '0') {
      found.literals.emplace_back(ordinal, literal);
      if (digits > kMaxDigits) {
        if (!found.rewritten) found.rewritten.emplace();
        found.rewritten->append(text.substr(copied, i - copied));
        found.rewritten->append(c == '-' ? "-1e308" : "1e308");
        copied = end;
      }
    }
    ++ordinal;
    i = end - 1;
  }
  if (found.rewritten) found.rewritten->append(text.substr(copied));
  return found;
}

}  // namespace

std::optional<std::int64_t> _to_integer(const json& value) noexcept {
  switch (value.type()) {
    case json::value_t::number_integer:
      return value.get<std::int64_t>();
    case json::value_t::number_unsigned: {
      const std::uint64_t u = value.get<std::uint64_t>();
      return u > static_cast<std::uint64_t>(kMax) ? kMax : static_cast<std::int64_t>(u);
    }
    case json::value_t::number_float: {
      const double d = value.get<double>();
      if (!std::isfinite(d)) return std::nullopt;
      const double t = std::trunc(d);
      // 2^63 is exactly representable; everything at or beyond it saturates.
      if (t >= 9223372036854775808.0) return kMax;
      if (t <= -9223372036854775808.0) return kMin;
      return static_cast<std::int64_t>(t);
    }
    case json::value_t::boolean:
      return value.get<bool>() ? 1 : 0;
    case json::value_t::string:
      return decimal_text(value.get_ref<const std::string&>());
    case json::value_t::binary: {  // an integer literal beyond 64 bits
      const json::binary_t& literal = value.get_binary();
      return decimal_text({reinterpret_cast<const char*>(literal.data()), literal.size()});
    }
    default:
      return std::nullopt;
  }
}

std::optional<json> _parse(std::string_view hash_json) {
  // A byte order mark is not part of JSON text (the reader would skip it).
  if (hash_json.size() >= 3 && hash_json.substr(0, 3) == "\xEF\xBB\xBF") return std::nullopt;
  // Objects are std::maps: when a key repeats, the parser assigns every
  // occurrence in turn, so the last one stays.
  const LongIntegers found = find_long_integers(hash_json);
  const std::string_view text = found.rewritten ? std::string_view(*found.rewritten) : hash_json;
  json value;
  if (found.literals.empty()) {
    value = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
  } else {
    // Numbers reach the callback in the order of the text.
    std::size_t ordinal = 0, next = 0;
    const json::parser_callback_t keep_exact = [&](int, json::parse_event_t event, json& parsed) {
      if (event != json::parse_event_t::value || !parsed.is_number()) return true;
      if (next < found.literals.size() && found.literals[next].first == ordinal) {
        const std::string_view literal = found.literals[next++].second;
        if (parsed.is_number_float())
          parsed = json::binary(json::binary_t::container_type(literal.begin(), literal.end()));
      }
      ++ordinal;
      return true;
    };
    value = json::parse(text.begin(), text.end(), keep_exact, /*allow_exceptions=*/false,
                        /*ignore_comments=*/false);
  }
  if (!value.is_object()) return std::nullopt;  // also the discarded value of a parse error
  return value;
}

std::optional<VerifyPlan> _plan_verify(std::string_view hash_json) {
  const std::optional<json> record = _parse(hash_json);
  if (!record) return std::nullopt;
  std::optional<Bytes> salt = base64_member(*record, "salt");
  if (!salt) return std::nullopt;
  std::optional<Bytes> digest = base64_member(*record, "hash");
  if (!digest) return std::nullopt;
  const json* params = member(*record, "parameters");
  if (params == nullptr) return std::nullopt;
  const json* it_member = member(*params, "iterations");
  const json* len_member = member(*params, "outputLength");
  if (it_member == nullptr || len_member == nullptr) return std::nullopt;
  const std::optional<std::int64_t> iterations = _to_integer(*it_member);
  if (!iterations) return std::nullopt;
  const std::optional<std::int64_t> length = _to_integer(*len_member);
  if (!length) return std::nullopt;
  const HashEntry* hash = _find_hash(HASH_ALGORITHM);
  if (const json* name = member(*params, "hashAlgorithm")) {
    if (!name->is_string()) return std::nullopt;  // only a text can name a hash
    hash = _find_hash(name->get_ref<const std::string&>());
    if (hash == nullptr) return std::nullopt;
  }
  if (*iterations < 1 || *iterations > MAX_ITERATIONS) return std::nullopt;
  if (*length < 1 || *length > MAX_OUTPUT_LENGTH) return std::nullopt;
  // A stored digest of another length can never match: no derivation needed.
  if (digest->size() != static_cast<std::size_t>(*length)) return std::nullopt;
  return VerifyPlan{std::move(*salt), std::move(*digest), *iterations, hash};
}

bool verify_password(std::string_view password, std::string_view hash_json) {
  if (password.empty()) return false;
  const std::optional<VerifyPlan> plan = _plan_verify(hash_json);
  if (!plan) return false;
  // A password without a UTF-8 form is refused only once there is something
  // to derive (the derivation's own check): against a malformed record the
  // answer stays false.
  SecureBytes derived(plan->digest.size());
  _derive_into(password, plan->salt, plan->iterations, plan->hash->name, derived);
  // The answer is public: it is what verification is for.
  return morvex::detail::public_value(CRYPTO_memcmp(derived.data(), plan->digest.data(), derived.size()) == 0);
}

std::optional<std::vector<JsonItem>> _parse_items(std::string_view hash_json) {
  const std::optional<json> root = _parse(hash_json);
  if (!root) return std::nullopt;
  using Kind = JsonItem::Kind;
  std::vector<JsonItem> items;
  // Depth-first without recursion, so a deeply nested record cannot exhaust
  // the stack.
  struct Frame {
    const json* node;
    json::const_iterator it;
  };
  std::vector<Frame> stack;
  auto emit = [&](const json& j) {
    JsonItem item;
    switch (j.type()) {
      case json::value_t::object:
      case json::value_t::array:
        item.kind = j.is_object() ? Kind::BeginObject : Kind::BeginArray;
        items.push_back(std::move(item));
        stack.push_back(Frame{&j, j.cbegin()});
        return;
      case json::value_t::boolean: item.kind = Kind::Boolean, item.boolean = j.get<bool>(); break;
      case json::value_t::number_integer: item.kind = Kind::Integer, item.integer = j.get<std::int64_t>(); break;
      case json::value_t::number_unsigned:
        item.kind = Kind::Unsigned, item.unsigned_integer = j.get<std::uint64_t>();
        break;
      case json::value_t::number_float: item.kind = Kind::Float, item.number = j.get<double>(); break;
      case json::value_t::string: item.kind = Kind::String, item.text = j.get<std::string>(); break;
      case json::value_t::binary:
        item.kind = Kind::BigInteger, item.text.assign(j.get_binary().begin(), j.get_binary().end());
        break;
      default: item.kind = Kind::Null; break;
    }
    items.push_back(std::move(item));
  };
  emit(*root);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.it == f.node->cend()) {
      stack.pop_back();
      items.push_back(JsonItem{Kind::End, false, 0, 0, 0, {}});
      continue;
    }
    const json::const_iterator it = f.it++;
    if (f.node->is_object()) items.push_back(JsonItem{Kind::Key, false, 0, 0, 0, it.key()});
    emit(*it);  // may grow the stack: `f` is not used after this
  }
  return items;
}

bool needs_rehash(std::string_view hash_json) {
  const std::optional<json> record = _parse(hash_json);
  if (!record) return true;
  const std::optional<std::int64_t> iterations = iterations_of(*record);
  return !iterations || *iterations < UPGRADE_THRESHOLD;
}

}  // namespace morvex::password
