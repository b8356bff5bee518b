// Strict Base64 (RFC 4648) and strict UTF-8, as read everywhere in morvex.
//
// Thread safety: pure functions, safe on any number of threads at once.
// Ownership: results are values the caller owns; text_bytes returns a view of
// its argument (valid while the text is), base64_encode_into writes only to
// `out`.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::encoding {

// Standard Base64 with "=" padding and no line breaks.
std::string base64_encode(ByteView data);
// Length of base64_encode's output for n input bytes.
constexpr std::size_t base64_encoded_size(std::size_t n) noexcept { return (n + 2) / 3 * 4; }
// Writes base64_encoded_size(data.size()) characters to `out`.
void base64_encode_into(ByteView data, char* out) noexcept;

// Strict decoding: standard alphabet only, complete groups of four, padding
// ("=" after three data characters or "==" after two) only in the last group.
// Whitespace, line breaks, "-", "_" and non-ASCII characters are errors. Unused
// low bits of the last data character may be non-zero (another encoder's
// output stays readable). Throws Base64Error. The secure forms read key
// texts: in constant time (no table, no early exit), with one message for
// every refusal.
Bytes base64_decode(std::string_view text);
SecureBytes base64_decode_secure(std::string_view text);
// The same reading, answering nothing instead of throwing.
std::optional<Bytes> try_base64_decode(std::string_view text);
std::optional<SecureBytes> try_base64_decode_secure(std::string_view text);

// Strict UTF-8 validation in the sense of the Unicode standard: no overlong
// forms, no encoded surrogates, nothing above U+10FFFF, no truncated sequence.
// Throws Utf8Error naming the first offending bytes.
void validate_utf8(ByteView data);
bool is_valid_utf8(ByteView data) noexcept;

// The bytes of a text, which is UTF-8 except that it may hold lone surrogates
// as their three-byte encodings (how the Python binding hands on a str that
// has no UTF-8 form). Throws TextEncodeError at the first such character, so
// a text without a UTF-8 form never turns into bytes.
ByteView text_bytes(std::string_view text);

}  // namespace morvex::encoding
#pragma GCC visibility pop
