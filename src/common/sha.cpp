#include "common/sha.hpp"

#include "common/ossl.hpp"

namespace morvex::detail {

void sha256(ByteView data, std::uint8_t out[32]) {
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), out, &len, detail::sha256(), nullptr) != 1 || len != 32)
    throw_openssl("SHA-256 failed");
}

}  // namespace morvex::detail
