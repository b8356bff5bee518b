// Strict UTF-8 validation (Unicode standard, table 3-7).
#include <cstdio>
#include <cstring>

#include "common/ct.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"

namespace morvex::encoding {
namespace {

struct Fault {
  std::size_t start = 0, end = 0;
  const char* reason = nullptr;
};

// Returns true when `data` is well-formed; otherwise fills `fault` with the
// first offending sequence, worded as Python's decoder words it.
bool check(ByteView data, Fault* fault) noexcept {
  const std::uint8_t* s = data.data();
  const std::size_t n = data.size();
  std::size_t i = 0;
  while (i < n) {
    // Skip ASCII eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      if (w & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    const std::uint8_t c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      if (fault) *fault = {i, i + 1, "invalid start byte"};
      return false;
    }
    // Second byte has the restricted range, the rest 80..BF.
    std::size_t k = 1;
    for (; k < len; ++k) {
      if (i + k >= n) {
        if (fault) *fault = {i, n, "unexpected end of data"};
        return false;
      }
      const std::uint8_t b = s[i + k];
      const bool ok = (k == 1) ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
      if (!ok) {
        if (fault) *fault = {i, i + k, "invalid continuation byte"};
        return false;
      }
    }
    i += len;
  }
  return true;
}

}  // namespace

void validate_utf8(ByteView data) {
  Fault f;
  if (!check(data, &f)) {
    std::string bad(reinterpret_cast<const char*>(data.data()) + f.start, f.end - f.start);
    throw Utf8Error(f.reason, f.start, f.end, std::move(bad));
  }
}

bool is_valid_utf8(ByteView data) noexcept { return check(data, nullptr); }

}  // namespace morvex::encoding

namespace morvex {

namespace {
std::string encode_error_text(std::size_t position, std::uint32_t code_point) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "'utf-8' codec can't encode character '\\u%04x' in position %zu: surrogates not allowed",
                static_cast<unsigned>(code_point), position);
  return buf;
}
}  // namespace

TextEncodeError::TextEncodeError(std::size_t position, std::uint32_t code_point)
    : std::runtime_error(encode_error_text(position, code_point)), position_(position), code_point_(code_point) {}

namespace encoding {

ByteView text_bytes(std::string_view text) {
  // A surrogate is written ED A0..BF xx; well-formed UTF-8 never holds one.
  // Texts are keys and plaintexts: the search looks at every byte the same
  // way, and only whether it found one (refusing the text) leaves it.
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  // Eight positions at a time: the high bit of each byte of `zero(x)` is set
  // exactly where x has a zero byte.
  const auto zero = [](std::uint64_t x) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((x & kLow7) + kLow7) | x | kLow7);
  };
  constexpr std::uint64_t kEd = 0xEDEDEDEDEDEDEDEDull, kTop3 = 0xE0E0E0E0E0E0E0E0ull, kA0 = 0xA0A0A0A0A0A0A0A0ull;
  std::uint64_t found = 0;
  std::size_t i = 0;
  for (; i + 10 <= n; i += 8) {
    std::uint64_t here, next;
    std::memcpy(&here, s + i, 8);
    std::memcpy(&next, s + i + 1, 8);
    found |= zero(here ^ kEd) & zero((next & kTop3) ^ kA0);
  }
  for (; i + 2 < n; ++i)
    found |= morvex::detail::ct_eq_mask(s[i], 0xED) & morvex::detail::ct_eq_mask(s[i + 1] >> 5, 0xA0 >> 5);
  if (!morvex::detail::public_value(found != 0)) return as_bytes(text);
  for (std::size_t i = 0; i + 2 < n; ++i) {
    if (s[i] == 0xED && s[i + 1] >= 0xA0 && s[i + 1] <= 0xBF) {
      std::size_t position = 0;  // characters before it: bytes that start one
      for (std::size_t k = 0; k < i; ++k) position += (s[k] & 0xC0) != 0x80;
      const std::uint32_t cp = 0xD000u | (std::uint32_t{s[i + 1] & 0x3Fu} << 6) | (s[i + 2] & 0x3Fu);
      throw TextEncodeError(position, cp);
    }
  }
  return as_bytes(text);
}

}  // namespace encoding
}  // namespace morvex
