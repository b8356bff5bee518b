// The RSA key readers on any text. A text either loads or fails with the
// loader's InvalidInputError and a reason after the prefix; a public key
// that loads is then used to verify (any key type), a private key to sign.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "morvex/errors.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

using namespace morvex;

namespace {

void check_refusal(const InvalidInputError& e, std::string_view prefix) {
  const std::string_view m = e.what();
  if (m.substr(0, prefix.size()) != prefix || m.size() <= prefix.size() || !e.cause()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Bytes message{'m', 's', 'g'};

  try {
    const rsa::Key key = rsa::_load_public(text);
    if (!key) std::abort();
    try {
      const Bytes signature(static_cast<std::size_t>(std::max(EVP_PKEY_get_size(key.get()), 1)), 0x5A);
      if (rsa::verify_bytes(message, signature, text)) std::abort();  // nobody signed this
    } catch (const InvalidInputError& e) {
      // Only a key of another algorithm is refused at this point.
      if (EVP_PKEY_is_a(key.get(), "RSA") || EVP_PKEY_is_a(key.get(), "RSA-PSS")) std::abort();
      check_refusal(e, "Invalid RSA public key PEM: ");
    }
  } catch (const InvalidInputError& e) {
    check_refusal(e, "Invalid RSA public key PEM: ");
  }

  try {
    const rsa::Key key = rsa::_load_private(text);
    if (!key) std::abort();
    try {
      rsa::sign_bytes(message, text);
    } catch (const SignatureError& e) {
      if (std::string_view(e.what()).substr(0, 20) != "RSA signing failed: ") std::abort();
    }
  } catch (const InvalidInputError& e) {
    check_refusal(e, "Invalid RSA private key PEM: ");
  }
  return 0;
}
