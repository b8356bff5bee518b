// Key normalisation and the strict text readings behind it: any byte string
// as a key text. Checks that the Base64 reader agrees with itself and with a
// plain model of the rules, that convert_key takes the right branch, and that
// the UTF-8 validator agrees with a direct reading of the well-formedness table.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/sha.hpp"
#include "keys/internal.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/keys.hpp"

using namespace morvex;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

int value_of(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The strict rules read literally, character by character.
std::optional<Bytes> model_base64(std::string_view s) {
  if (s.empty() || s.size() % 4 != 0) return std::nullopt;
  Bytes out;
  for (std::size_t g = 0; g < s.size(); g += 4) {
    const bool last = g + 4 == s.size();
    int pads = 0;
    int v[4];
    for (int k = 0; k < 4; ++k) {
      const char c = s[g + k];
      if (c == '=') {
        if (!last || k < 2) return std::nullopt;
        ++pads;
        v[k] = 0;
      } else {
        if (pads > 0) return std::nullopt;  // data after padding
        v[k] = value_of(c);
        if (v[k] < 0) return std::nullopt;
      }
    }
    const std::uint32_t w = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out.push_back(static_cast<std::uint8_t>(w >> 16));
    if (pads < 2) out.push_back(static_cast<std::uint8_t>(w >> 8));
    if (pads < 1) out.push_back(static_cast<std::uint8_t>(w));
  }
  return out;
}

// Well-formed UTF-8 per the Unicode standard's table of byte sequences.
bool model_utf8(const std::uint8_t* p, std::size_t n) {
  std::size_t i = 0;
  auto in = [&](std::size_t k, int lo, int hi) { return i + k < n && p[i + k] >= lo && p[i + k] <= hi; };
  while (i < n) {
    const int c = p[i];
    if (c <= 0x7F) { i += 1; continue; }
    if (c >= 0xC2 && c <= 0xDF && in(1, 0x80, 0xBF)) { i += 2; continue; }
    if (c == 0xE0 && in(1, 0xA0, 0xBF) && in(2, 0x80, 0xBF)) { i += 3; continue; }
    if (((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) && in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF)) { i += 3; continue; }
    if (c == 0xED && in(1, 0x80, 0x9F) && in(2, 0x80, 0xBF)) { i += 3; continue; }
    if (c == 0xF0 && in(1, 0x90, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF)) { i += 4; continue; }
    if (c >= 0xF1 && c <= 0xF3 && in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF)) { i += 4; continue; }
    if (c == 0xF4 && in(1, 0x80, 0x8F) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF)) { i += 4; continue; }
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Base64: the optional reading, the throwing reading and the model agree.
  const std::optional<SecureBytes> decoded = keys::_try_base64(text);
  const std::optional<Bytes> model = model_base64(text);
  check(decoded.has_value() == model.has_value());
  if (decoded) {
    check(*decoded == *model);
    check(!decoded->empty());
    check(encoding::base64_decode(text) == *decoded);
    const std::string again = encoding::base64_encode(*decoded);
    check(again.size() == size);
    check(encoding::base64_decode(again) == *decoded);
  } else if (size > 0) {
    try {
      encoding::base64_decode(text);
      std::abort();
    } catch (const Base64Error&) {
    }
  }

  // Text holding an encoded surrogate has no UTF-8 form: refused.
  bool surrogate = false;
  for (std::size_t i = 0; i + 2 < size; ++i) surrogate |= data[i] == 0xED && data[i + 1] >= 0xA0 && data[i + 1] <= 0xBF;
  if (surrogate && !decoded) {
    try {
      keys::convert_key(text);
      std::abort();
    } catch (const TextEncodeError&) {
    }
    return 0;
  }

  // convert_key takes the branch the decoded length calls for.
  const keys::AesKey key = keys::convert_key(text);
  std::uint8_t want[32];
  if (decoded && (decoded->size() == 32 || decoded->size() == 64)) {
    std::memcpy(want, decoded->data(), 32);
  } else if (decoded) {
    detail::sha256(*decoded, want);
  } else {
    detail::sha256(as_bytes(text), want);
  }
  check(std::memcmp(key.data(), want, 32) == 0);

  // UTF-8: the validator, its throwing form and the model agree.
  const bool valid = model_utf8(data, size);
  check(encoding::is_valid_utf8({data, size}) == valid);
  try {
    encoding::validate_utf8({data, size});
    check(valid);
  } catch (const Utf8Error& e) {
    check(!valid);
    check(e.start() < e.end() && e.end() <= size && e.end() - e.start() <= 4);
    check(!model_utf8(data, e.end()) && model_utf8(data, e.start()));
  }
  return 0;
}
