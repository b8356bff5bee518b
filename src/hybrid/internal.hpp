// Pieces shared by the envelope writer/reader, the format detection and the
// RSA area's public encryption operations, which sit on top of both. Not
// installed.
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

// The readers behind decrypt_auto, each handing the plaintext back in a
// wiping owner. The envelope reader takes exactly the envelope layout (fixed
// offsets from RSA_BLOCK); the blob must be at least ENVELOPE_OVERHEAD bytes
// long. The legacy reader takes a blob that begins with HYBR and is at least
// 8 bytes long.
SecureBytes _net_decrypt(ByteView blob, std::string_view private_pem);
SecureBytes _legacy_decrypt(ByteView blob, std::string_view private_pem);

}  // namespace morvex::hybrid

namespace morvex::hybrid::internal {

// The direct path of rsa::encrypt_bytes with the block encryption passed in:
// a block that the format detection would take for an envelope (one in 2^32
// begins with the legacy mark) is encrypted again, so it always opens.
using BlockEncryptor = Bytes (*)(ByteView, std::string_view);
Bytes encrypt_direct(ByteView data, std::string_view public_pem, BlockEncryptor encrypt);

// Length of the ciphertext field of an envelope-shaped blob.
std::size_t net_plaintext_size(ByteView blob) noexcept;
// _net_decrypt into `out`, which must hold net_plaintext_size(blob) bytes.
void net_decrypt_into(ByteView blob, std::string_view private_pem, std::span<std::uint8_t> out);

}  // namespace morvex::hybrid::internal
