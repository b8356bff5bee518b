// A strict JSON reader (RFC 8259) that hands each value to a handler as it
// meets it and builds nothing itself. The record reader keeps the few members
// its rules need; the Python binding builds the host's objects from the same
// reading, so both agree on which texts are JSON.
//
// Handler:
//   void begin_object();  void begin_array();  void end();
//   void key(std::string_view);        // decoded UTF-8
//   void string(std::string_view);     // decoded UTF-8
//   void integer(std::string_view);    // the literal, whatever its size
//   void number(double);               // a literal with a fraction or an exponent
//   void boolean(bool);  void null();
// The views last until the next call. An exception from the handler passes
// through read() as it is.
//
// Refused: anything but one value with white space around it; a byte order
// mark; text that is not UTF-8 (overlong forms, encoded surrogates); control
// characters in strings; an escaped surrogate without its pair; NaN and
// Infinity; a number with a fraction or an exponent beyond the double range
// (integers keep their literal and are never refused for their size).
// Nesting has no depth limit and uses no recursion.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::password::json {

namespace detail {

inline bool is_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Length of the well-formed UTF-8 sequence of 2 to 4 bytes at p, or 0.
inline std::size_t utf8_sequence(const char* p, const char* end) noexcept {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(p[i]); };
  const auto c0 = at(0);
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c0 < 0xC2) return 0;
  if (c0 < 0xE0) {
    n = 2;
  } else if (c0 < 0xF0) {
    n = 3;
    if (c0 == 0xE0) lo = 0xA0;  // overlong
    if (c0 == 0xED) hi = 0x9F;  // surrogates
  } else if (c0 < 0xF5) {
    n = 4;
    if (c0 == 0xF0) lo = 0x90;  // overlong
    if (c0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (static_cast<std::size_t>(end - p) < n || at(1) < lo || at(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if ((at(i) & 0xC0) != 0x80) return 0;
  return n;
}

inline void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) noexcept : p_(text.data()), end_(text.data() + text.size()) {}

  template <class Handler>
  bool read(Handler& h) {
    for (;;) {
      // A value starts here.
      skip_space();
      if (p_ == end_) return false;
      switch (*p_) {
        case '{':
          ++p_;
          h.begin_object();
          skip_space();
          if (p_ != end_ && *p_ == '}') {
            ++p_;
            h.end();
            break;
          }
          open_.push_back('}');
          if (!member_key(h)) return false;
          continue;
        case '[':
          ++p_;
          h.begin_array();
          skip_space();
          if (p_ != end_ && *p_ == ']') {
            ++p_;
            h.end();
            break;
          }
          open_.push_back(']');
          continue;
        case '"': {
          std::string_view s;
          if (!string(s)) return false;
          h.string(s);
          break;
        }
        case 't':
          if (!literal("true")) return false;
          h.boolean(true);
          break;
        case 'f':
          if (!literal("false")) return false;
          h.boolean(false);
          break;
        case 'n':
          if (!literal("null")) return false;
          h.null();
          break;
        default:
          if (!number(h)) return false;
      }
      // A value is complete: close the containers that end here, then find
      // the next value.
      for (;;) {
        skip_space();
        if (open_.empty()) return p_ == end_;
        if (p_ == end_) return false;
        const char c = *p_++;
        if (c == ',') {
          if (open_.back() == '}' && !member_key(h)) return false;
          break;
        }
        if (c != open_.back()) return false;
        open_.pop_back();
        h.end();
      }
    }
  }

 private:
  void skip_space() noexcept {
    while (p_ != end_ && is_space(*p_)) ++p_;
  }

  bool literal(std::string_view word) noexcept {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0)
      return false;
    p_ += word.size();
    return true;
  }

  // `"key" :` with the white space around it.
  template <class Handler>
  bool member_key(Handler& h) {
    skip_space();
    std::string_view k;
    if (p_ == end_ || *p_ != '"' || !string(k)) return false;
    h.key(k);
    skip_space();
    if (p_ == end_ || *p_ != ':') return false;
    ++p_;
    return true;
  }

  bool hex4(std::uint32_t& out) noexcept {
    if (end_ - p_ < 4) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = *p_++;
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      out = out << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
  }

  // The string at p_ (at its opening quote), decoded. A string without
  // escapes is a view of the text; one with escapes is decoded into scratch_.
  bool string(std::string_view& out) {
    const char* const start = ++p_;
    bool escaped = false;
    while (p_ != end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        if (!escaped) out = std::string_view(start, static_cast<std::size_t>(p_ - start));
        else out = scratch_;
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!escaped) {
          scratch_.assign(start, p_);
          escaped = true;
        }
        ++p_;
        if (p_ == end_ || !escape()) return false;
        continue;
      }
      const char* const from = p_;
      if (c < 0x80) {
        ++p_;
      } else {
        const std::size_t n = utf8_sequence(p_, end_);
        if (n == 0) return false;
        p_ += n;
      }
      if (escaped) scratch_.append(from, p_);
    }
    return false;
  }

  // The escape after a backslash, appended to scratch_.
  bool escape() {
    const char c = *p_++;
    switch (c) {
      case '"': case '\\': case '/': scratch_ += c; return true;
      case 'b': scratch_ += '\b'; return true;
      case 'f': scratch_ += '\f'; return true;
      case 'n': scratch_ += '\n'; return true;
      case 'r': scratch_ += '\r'; return true;
      case 't': scratch_ += '\t'; return true;
      case 'u': break;
      default: return false;
    }
    std::uint32_t cp;
    if (!hex4(cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return false;  // a low surrogate first
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      std::uint32_t low;
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
      p_ += 2;
      if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(scratch_, cp);
    return true;
  }

  // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
  template <class Handler>
  bool number(Handler& h) {
    const char* const start = p_;
    const auto digit = [&] { return p_ != end_ && *p_ >= '0' && *p_ <= '9'; };
    const auto digits = [&] {
      const char* from = p_;
      while (digit()) ++p_;
      return static_cast<std::size_t>(p_ - from);
    };
    if (p_ != end_ && *p_ == '-') ++p_;
    if (!digit()) return false;
    const char* const int_start = p_;
    if (*p_ == '0') ++p_;
    else digits();
    // 0 for a zero integer part, else its number of digits
    const std::size_t int_digits = *int_start == '0' ? 0 : static_cast<std::size_t>(p_ - int_start);
    std::size_t leading_zeros = 0;  // of the fraction, when the integer part is zero
    bool plain = true;
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      const char* const frac = p_;
      if (digits() == 0) return false;
      while (frac + leading_zeros != p_ && frac[leading_zeros] == '0') ++leading_zeros;
      plain = false;
    }
    std::int64_t exponent = 0;
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      bool negative = false;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) negative = *p_++ == '-';
      if (!digit()) return false;
      for (; digit(); ++p_)
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p_ - '0');
      if (negative) exponent = -exponent;
      plain = false;
    }
    const std::string_view literal(start, static_cast<std::size_t>(p_ - start));
    if (plain) {
      h.integer(literal);
      return true;
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (ec == std::errc::result_out_of_range) {
      // Beyond the double range, or so small that it rounds to zero: the
      // literal's decimal order tells which.
      const std::int64_t order = int_digits > 0 ? static_cast<std::int64_t>(int_digits) + exponent
                                                : exponent - static_cast<std::int64_t>(leading_zeros);
      if (order > 0) return false;
      value = *start == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc() || ptr != p_ || !std::isfinite(value)) {
      return false;
    }
    h.number(value);
    return true;
  }

  const char* p_;
  const char* const end_;
  std::vector<char> open_;  // the closing character of each open container
  std::string scratch_;
};

}  // namespace detail

// True when `text` is one JSON value, having handed that value to `h`; false
// when it is not (`h` may then have seen part of it).
template <class Handler>
bool read(std::string_view text, Handler& h) {
  return detail::Reader(text).read(h);
}

}  // namespace morvex::password::json
