// One-shot SHA-256 over a byte string.
#pragma once

#include <array>
#include <cstdint>

#include "morvex/bytes.hpp"

namespace morvex::detail {

void sha256(ByteView data, std::uint8_t out[32]);

}  // namespace morvex::detail
