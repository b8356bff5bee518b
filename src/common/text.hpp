// The text wrapper shared by every text operation: UTF-8 in and Base64 out
// when encrypting; strict Base64 in and strict UTF-8 out when decrypting.
#pragma once

#include <string>
#include <string_view>

#include "morvex/bytes.hpp"

namespace morvex::detail {

// Strict Base64 reading of a ciphertext text; DecryptionError
// "Ciphertext is not valid Base64" (decoder's failure as cause) otherwise.
Bytes decode_ciphertext(std::string_view ciphertext_b64);

// Decrypted bytes that must be text: DecryptionError "Decrypted data is not
// valid UTF-8" (decoder's failure as cause) unless they are strict UTF-8.
void check_plaintext_utf8(ByteView data);

// The plaintext bytes as text, after that check, held on the heap of a
// wiping string.
SecureString plaintext_text(const SecureBytes& data);

}  // namespace morvex::detail
