// PBKDF2-HMAC key derivation and the writing of new password hash records.
#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "common/ossl.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/password.hpp"
#include "password/internal.hpp"
#include "password/pbkdf2.hpp"
#include "password/record.hpp"

namespace morvex::password {
namespace {

using KdfCtx = detail::OsslPtr<EVP_KDF_CTX, EVP_KDF_CTX_free>;

// Fetched once per process: every derivation then skips the provider lookup.
EVP_KDF* pbkdf2_kdf() {
  static EVP_KDF* const kdf = EVP_KDF_fetch(nullptr, "PBKDF2", nullptr);
  return kdf;
}

void pbkdf2(const HashEntry& hash, ByteView password, ByteView salt, std::uint64_t iterations,
            std::span<std::uint8_t> out) {
  const std::string_view password_text(reinterpret_cast<const char*>(password.data()), password.size());
  if (detail::pbkdf2_hmac_blocks(hash.digest, password_text, salt, iterations, out)) return;
  EVP_KDF* kdf = pbkdf2_kdf();
  if (kdf == nullptr) detail::throw_openssl("PBKDF2 is not available");
  KdfCtx ctx(EVP_KDF_CTX_new(kdf));
  if (!ctx) detail::throw_openssl("PBKDF2 context allocation failed");
  // An empty password or salt still needs a valid address.
  static const std::uint8_t kEmpty[1] = {0};
  void* const empty = const_cast<std::uint8_t*>(kEmpty);
  void* pw = password.empty() ? empty : static_cast<void*>(const_cast<std::uint8_t*>(password.data()));
  void* s = salt.empty() ? empty : static_cast<void*>(const_cast<std::uint8_t*>(salt.data()));
  // PKCS#5 mode: no SP 800-132 minimums on salt, key length or count; those
  // belong to the record's parameters.
  int pkcs5 = 1;
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, pw, password.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, s, salt.size()),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_ITER, &iterations),
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>(hash.digest), 0),
      OSSL_PARAM_construct_int(OSSL_KDF_PARAM_PKCS5, &pkcs5),
      OSSL_PARAM_construct_end(),
  };
  if (EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) != 1) {
    secure_wipe(out.data(), out.size());
    detail::throw_openssl("PBKDF2 derivation failed");
  }
}

void check_iterations(std::int64_t iterations) {
  if (iterations < 1) throw InvalidArgumentError("iteration count must be at least 1");
}

// Now in UTC, truncated to the whole second: YYYY-MM-DDTHH:MM:SSZ.
std::string created_utc() {
  using namespace std::chrono;
  const std::time_t t = system_clock::to_time_t(floor<seconds>(system_clock::now()));
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) throw PrimitiveError("system clock out of range");
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

}  // namespace

const HashEntry* _find_hash(std::string_view name) noexcept {
  // Upper-case into a small buffer; the only non-ASCII character whose upper
  // case is a letter of a supported name is U+017F LATIN SMALL LETTER LONG S
  // (upper case "S"). Anything else non-ASCII cannot match.
  char upper[8];
  std::size_t n = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (n == sizeof upper) return nullptr;
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      upper[n++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
    } else if (c == 0xC5 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) == 0xBF) {
      upper[n++] = 'S';
      ++i;
    } else {
      return nullptr;
    }
  }
  const std::string_view key(upper, n);
  for (const HashEntry& h : kHashes)
    if (h.name == key) return &h;
  return nullptr;
}

Derivation::Derivation(std::string_view password, std::string_view hash_algorithm)
    : hash_(_find_hash(hash_algorithm)) {
  if (hash_ == nullptr) throw MorvexError("Unsupported hash algorithm: " + std::string(hash_algorithm));
  password_ = encoding::text_bytes(password);  // a text without a UTF-8 form stops here
}

void Derivation::into(ByteView salt, std::int64_t iterations, std::span<std::uint8_t> out) const {
  check_iterations(iterations);
  if (out.empty()) throw InvalidArgumentError("derived key length must be at least 1");
  pbkdf2(*hash_, password_, salt, static_cast<std::uint64_t>(iterations), out);
}

SecureBytes Derivation::operator()(ByteView salt, std::int64_t iterations, std::int64_t length) const {
  check_iterations(iterations);
  if (length < 1) throw InvalidArgumentError("derived key length must be at least 1");
  SecureBytes out(static_cast<std::size_t>(length));
  pbkdf2(*hash_, password_, salt, static_cast<std::uint64_t>(iterations), out);
  return out;
}

SecureBytes _derive(std::string_view password, ByteView salt, std::int64_t iterations, std::int64_t length,
                    std::string_view hash_algorithm) {
  return Derivation(password, hash_algorithm)(salt, iterations, length);
}

std::string hash_password(std::string_view password, std::int64_t iterations) {
  if (password.empty()) throw InvalidInputError("Password cannot be empty");
  const Derivation derive(password, HASH_ALGORITHM);
  if (iterations < 1 || iterations > MAX_ITERATIONS)
    throw InvalidInputError("Iteration count must be between 1 and " + std::to_string(MAX_ITERATIONS));

  std::uint8_t salt[SALT_LENGTH];
  detail::random_bytes(salt, SALT_LENGTH);
  SecretArray<OUTPUT_LENGTH> derived;
  derive.into(ByteView(salt, SALT_LENGTH), iterations, derived.span());

  // nlohmann::json keeps object members in a std::map, so dump() writes the
  // keys in ascending byte order, compact, without a trailing newline.
  const nlohmann::json record = {
      {"algorithm", std::string(ALGORITHM)},
      {"createdUtc", created_utc()},
      {"hash", encoding::base64_encode(derived.span())},
      {"parameters",
       {
           {"hashAlgorithm", std::string(HASH_ALGORITHM)},
           {"iterations", iterations},
           {"outputLength", OUTPUT_LENGTH},
           {"saltLength", SALT_LENGTH},
       }},
      {"salt", encoding::base64_encode(ByteView(salt, SALT_LENGTH))},
      {"version", VERSION},
  };
  return record.dump();
}

}  // namespace morvex::password
