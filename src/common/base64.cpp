// Strict Base64 reading and standard Base64 writing.
#include <array>
#include <cstring>
#include <type_traits>

#include "common/ct.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"

namespace morvex::encoding {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr std::array<std::uint8_t, 256> make_table() {
  std::array<std::uint8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (std::uint8_t i = 0; i < 64; ++i) t[static_cast<std::uint8_t>(kAlphabet[i])] = i;
  t['='] = kPad;
  return t;
}
constexpr std::array<std::uint8_t, 256> kTable = make_table();

// Decodes into `out` (sized by the caller to the maximum); returns the length
// written or sets `error` to a description of what is wrong.
std::size_t decode(std::string_view text, std::uint8_t* out, const char*& error) {
  error = nullptr;
  const std::size_t n = text.size();
  if (n == 0) return 0;
  if (n % 4 != 0) {
    error = "Incomplete final group of four characters";
    return 0;
  }
  const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t o = 0;
  const std::size_t groups = n / 4;
  for (std::size_t g = 0; g + 1 < groups; ++g) {
    const std::uint8_t a = kTable[in[0]], b = kTable[in[1]], c = kTable[in[2]], d = kTable[in[3]];
    if ((a | b | c | d) & 0xC0) {
      // At least one character is padding or outside the alphabet.
      if (a == kInvalid || b == kInvalid || c == kInvalid || d == kInvalid)
        error = "Only characters of the standard Base64 alphabet are allowed";
      else
        error = "Padding is only allowed at the end";
      return 0;
    }
    const std::uint32_t v = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6) | d;
    out[o++] = static_cast<std::uint8_t>(v >> 16);
    out[o++] = static_cast<std::uint8_t>(v >> 8);
    out[o++] = static_cast<std::uint8_t>(v);
    in += 4;
  }
  // The last group: "xxxx", "xxx=" or "xx==".
  const std::uint8_t a = kTable[in[0]], b = kTable[in[1]], c = kTable[in[2]], d = kTable[in[3]];
  if (a == kInvalid || b == kInvalid || c == kInvalid || d == kInvalid) {
    error = "Only characters of the standard Base64 alphabet are allowed";
    return 0;
  }
  if (a == kPad || b == kPad) {
    error = "Padding may only follow two or three data characters";
    return 0;
  }
  if (c == kPad) {
    if (d != kPad) {
      error = "Data character after padding";
      return 0;
    }
    out[o++] = static_cast<std::uint8_t>((a << 2) | (b >> 4));
    return o;
  }
  if (d == kPad) {
    const std::uint32_t v = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6);
    out[o++] = static_cast<std::uint8_t>(v >> 16);
    out[o++] = static_cast<std::uint8_t>(v >> 8);
    return o;
  }
  const std::uint32_t v = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6) | d;
  out[o++] = static_cast<std::uint8_t>(v >> 16);
  out[o++] = static_cast<std::uint8_t>(v >> 8);
  out[o++] = static_cast<std::uint8_t>(v);
  return o;
}

// Key texts are secrets: their reading looks nothing up by character and
// never stops early. Each character's class comes from comparisons done
// with arithmetic; the faults of all groups are gathered into one word, and
// only the final answer (valid or not, and how much padding the last group
// had, which fixes the length of the result) leaves the computation.

// The value 0..63 of a character, or 0x100 for one outside the alphabet.
std::uint32_t ct_value(std::uint32_t c) noexcept {
  using morvex::detail::ct_eq_mask;
  using morvex::detail::ct_lt_mask;
  const std::uint32_t upper = ~ct_lt_mask(c, 'A') & ct_lt_mask(c, 'Z' + 1);
  const std::uint32_t lower = ~ct_lt_mask(c, 'a') & ct_lt_mask(c, 'z' + 1);
  const std::uint32_t digit = ~ct_lt_mask(c, '0') & ct_lt_mask(c, '9' + 1);
  const std::uint32_t plus = ct_eq_mask(c, '+'), slash = ct_eq_mask(c, '/');
  const std::uint32_t value = (upper & (c - 'A')) | (lower & (c - 'a' + 26)) | (digit & (c - '0' + 52)) |
                              (plus & 62u) | (slash & 63u);
  return value | (~(upper | lower | digit | plus | slash) & 0x100u);
}

// As decode(), with one fault text for every refusal.
std::size_t decode_ct(std::string_view text, std::uint8_t* out, const char*& error) {
  error = nullptr;
  const std::size_t n = text.size();  // the length of a text is public
  if (n == 0) return 0;
  if (n % 4 != 0) {
    error = "Incomplete final group of four characters";
    return 0;
  }
  const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
  std::uint32_t faults = 0;
  std::size_t o = 0;
  for (std::size_t g = 0; g + 1 < n / 4; ++g, in += 4) {
    const std::uint32_t a = ct_value(in[0]), b = ct_value(in[1]), c = ct_value(in[2]), d = ct_value(in[3]);
    faults |= a | b | c | d;
    const std::uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
    out[o++] = static_cast<std::uint8_t>(v >> 16);
    out[o++] = static_cast<std::uint8_t>(v >> 8);
    out[o++] = static_cast<std::uint8_t>(v);
  }
  // The last group: "xxxx", "xxx=" or "xx==".
  using morvex::detail::ct_eq_mask;
  const std::uint32_t pad_c = ct_eq_mask(in[2], '='), pad_d = ct_eq_mask(in[3], '=');
  const std::uint32_t a = ct_value(in[0]), b = ct_value(in[1]);
  const std::uint32_t c = ct_value(in[2]) & ~pad_c, d = ct_value(in[3]) & ~pad_d;
  faults |= a | b | c | d | (pad_c & ~pad_d);  // "x=x" after padding
  const std::uint32_t v = ((a << 18) | (b << 12) | (c << 6) | d) & 0xFFFFFFu;
  out[o] = static_cast<std::uint8_t>(v >> 16);
  out[o + 1] = static_cast<std::uint8_t>(v >> 8);
  out[o + 2] = static_cast<std::uint8_t>(v);
  // Public from here: whether the text is Base64 at all (the caller acts on
  // it), and the padding, which sets the length of what the caller gets.
  if (morvex::detail::public_value((faults & 0x100u) != 0)) {
    error = "Not valid strict Base64";
    return 0;
  }
  return o + 3 - morvex::detail::public_value((pad_c & 1u) + (pad_d & 1u));
}

template <class Vec>
Vec decode_or_throw(std::string_view text) {
  Vec out(text.size() / 4 * 3);
  const char* error = nullptr;
  const std::size_t len = (std::is_same_v<Vec, SecureBytes> ? decode_ct : decode)(text, out.data(), error);
  if (error != nullptr) throw Base64Error(error);
  out.resize(len);
  return out;
}

template <class Vec>
std::optional<Vec> decode_or_nothing(std::string_view text) {
  Vec out(text.size() / 4 * 3);
  const char* error = nullptr;
  const std::size_t len = (std::is_same_v<Vec, SecureBytes> ? decode_ct : decode)(text, out.data(), error);
  if (error != nullptr) return std::nullopt;
  out.resize(len);
  return out;
}

}  // namespace

void base64_encode_into(ByteView data, char* out) noexcept {
  const std::uint8_t* p = data.data();
  std::size_t n = data.size();
  while (n >= 3) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = kAlphabet[v & 63];
    p += 3;
    n -= 3;
    out += 4;
  }
  if (n == 1) {
    const std::uint32_t v = std::uint32_t{p[0]} << 16;
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = '=';
    out[3] = '=';
  } else if (n == 2) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8);
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = '=';
  }
}

std::string base64_encode(ByteView data) {
  std::string out(base64_encoded_size(data.size()), '\0');
  base64_encode_into(data, out.data());
  return out;
}

Bytes base64_decode(std::string_view text) { return decode_or_throw<Bytes>(text); }

SecureBytes base64_decode_secure(std::string_view text) { return decode_or_throw<SecureBytes>(text); }

std::optional<Bytes> try_base64_decode(std::string_view text) { return decode_or_nothing<Bytes>(text); }

std::optional<SecureBytes> try_base64_decode_secure(std::string_view text) {
  return decode_or_nothing<SecureBytes>(text);
}

}  // namespace morvex::encoding
