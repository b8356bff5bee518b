// What the key normalisation shows the Python binding and the fuzz targets.
// Not installed.
#pragma once

#include <optional>
#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::keys {

// The strict Base64 reading of `s`, or nothing; never throws. Wiping: the
// Base64 text of a key decodes to the key itself.
std::optional<SecureBytes> _try_base64(std::string_view s);

}  // namespace morvex::keys
