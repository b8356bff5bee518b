// AES-GCM with a 96-bit nonce and 128-bit tag: the one mode every format of
// the library is built on. Associated data is authenticated, not stored; the
// formats other than the aes area's sealed blob never use it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "morvex/aes.hpp"
#include "morvex/bytes.hpp"

namespace morvex::detail {

// Encrypts `in` into `ct_out` (same length) and writes the tag to `tag_out`.
// `ct_out` may alias `in`. Throws PrimitiveError with OpenSSL's text.
void gcm_seal(ByteView key, const std::uint8_t* nonce, ByteView in, std::uint8_t* ct_out,
              std::uint8_t* tag_out, ByteView aad = {});

// Decrypts `ct` into `out` (same length) and checks `tag`. Returns false when
// the tag does not verify (`out` is then wiped); throws PrimitiveError for
// any other failure, including a key that is not 16, 24 or 32 bytes long.
bool gcm_open(ByteView key, const std::uint8_t* nonce, ByteView ct, const std::uint8_t* tag,
              std::uint8_t* out, ByteView aad = {});

}  // namespace morvex::detail
