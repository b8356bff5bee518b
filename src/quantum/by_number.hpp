// The key generators by the integer values of their enumerations, as the
// Python binding receives them. The generation (or algorithm) is converted
// before the strength; a value naming no member is std::invalid_argument
// "<value> is not a valid <Enumeration>", before any library call.
#pragma once

#include <cstdint>

#include "morvex/quantum.hpp"

namespace morvex::quantum {

KeyPair _generate_keypair(std::int64_t generation, std::int64_t strength);
KeyPair _generate_signature_keypair(std::int64_t algorithm, std::int64_t strength);

}  // namespace morvex::quantum
