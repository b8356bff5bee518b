// Pieces shared by the envelope writer/reader and the format detection.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::hybrid {

// What the format detection takes a blob for, by its length and first four
// bytes alone, in the order the rules are tried.
enum class Format { Legacy, Envelope, Direct };
Format detect_format(ByteView blob) noexcept;

}  // namespace morvex::hybrid

namespace morvex::hybrid::internal {

// Length of the ciphertext field of an envelope-shaped blob.
std::size_t net_plaintext_size(ByteView blob) noexcept;
// _net_decrypt into `out`, which must hold net_plaintext_size(blob) bytes.
void net_decrypt_into(ByteView blob, std::string_view private_pem, std::span<std::uint8_t> out);

}  // namespace morvex::hybrid::internal
