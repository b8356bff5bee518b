// RSA key pairs as PEM text, and the two PEM readers every RSA operation
// starts with.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/encoder.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>

#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

namespace morvex::rsa {
namespace {

using detail::PKey;
using detail::PKeyCtx;
using EncoderCtx = detail::OsslPtr<OSSL_ENCODER_CTX, OSSL_ENCODER_CTX_free>;

constexpr const char* kPublicPrefix = "Invalid RSA public key PEM: ";
constexpr const char* kPrivatePrefix = "Invalid RSA private key PEM: ";

// Code point of the UTF-8 sequence at `s[i]` (lenient: the text may carry lone
// surrogates), and the number of bytes it takes.
std::uint32_t decode_one(std::string_view s, std::size_t i, std::size_t* len) {
  const auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  std::uint32_t cp = n == 4 ? b & 0x07u : n == 3 ? b & 0x0Fu : n == 2 ? b & 0x1Fu : b;
  std::size_t k = 1;
  for (; k < n && i + k < s.size(); ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) break;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  *len = k;
  return cp;
}

// The encoder's complaint about the first run of characters outside ASCII,
// worded like the host's own ASCII codec; empty when the text is ASCII.
std::string non_ascii_complaint(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  if (i == text.size()) return {};
  // Every character before the first non-ASCII byte is one byte long, so the
  // byte offset is the character position.
  const std::size_t start = i;
  std::size_t count = 0;
  std::uint32_t first = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x80) {
    std::size_t len = 0;
    const std::uint32_t cp = decode_one(text, i, &len);
    if (count == 0) first = cp;
    ++count;
    i += len;
  }
  char buf[160];
  if (count == 1) {
    const char* fmt = first <= 0xFF     ? "'ascii' codec can't encode character '\\x%02x' in position %zu: "
                      : first <= 0xFFFF ? "'ascii' codec can't encode character '\\u%04x' in position %zu: "
                                        : "'ascii' codec can't encode character '\\U%08x' in position %zu: ";
    std::snprintf(buf, sizeof buf, fmt, static_cast<unsigned>(first), start);
  } else {
    std::snprintf(buf, sizeof buf, "'ascii' codec can't encode characters in position %zu-%zu: ", start,
                  start + count - 1);
  }
  return std::string(buf) + "ordinal not in range(128)";
}

// One PEM block as OpenSSL's reader hands it out: its label, its headers and
// the DER it carries (wiped when released: it may be a private key).
struct PemBlock {
  struct Free {
    void operator()(char* p) const noexcept { OPENSSL_free(p); }
  };
  std::unique_ptr<char, Free> name, header;
  SecureBytes der;
};

std::optional<PemBlock> read_pem(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const detail::OsslPtr<BIO, BIO_free_all> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  char *name = nullptr, *header = nullptr;
  unsigned char* data = nullptr;
  long len = 0;
  if (!bio || PEM_read_bio(bio.get(), &name, &header, &data, &len) != 1) return std::nullopt;
  const auto clear_free = [len](unsigned char* p) { OPENSSL_clear_free(p, static_cast<std::size_t>(len)); };
  const std::unique_ptr<unsigned char, decltype(clear_free)> owned(data, clear_free);
  PemBlock block{std::unique_ptr<char, PemBlock::Free>(name), std::unique_ptr<char, PemBlock::Free>(header), {}};
  block.der.assign(data, data + len);
  return block;
}

// The structure each label holds; a loader takes only its own two labels.
struct Label {
  const char* name;
  internal::KeyStructure structure;
};
constexpr Label kPublicLabels[] = {{"PUBLIC KEY", internal::KeyStructure::SubjectPublicKeyInfo},
                                   {"RSA PUBLIC KEY", internal::KeyStructure::RsaPublicKey}};
constexpr Label kPrivateLabels[] = {{"PRIVATE KEY", internal::KeyStructure::PrivateKeyInfo},
                                    {"RSA PRIVATE KEY", internal::KeyStructure::RsaPrivateKey}};

// The key in `der`, already checked to be canonical DER of `structure`.
Key parse_der(ByteView der, internal::KeyStructure structure) {
  using S = internal::KeyStructure;
  const unsigned char* p = der.data();
  const long n = static_cast<long>(der.size());
  switch (structure) {
    case S::SubjectPublicKeyInfo: return Key(d2i_PUBKEY(nullptr, &p, n));
    case S::RsaPublicKey: return Key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, n));
    case S::RsaPrivateKey: return Key(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, n));
    case S::PrivateKeyInfo: {
      const detail::OsslPtr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free> info(
          d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, n));
      return Key(info ? EVP_PKCS82PKEY(info.get()) : nullptr);
    }
  }
  return Key();
}

[[noreturn]] void refuse(const char* prefix, const std::string& reason) {
  throw InvalidInputError(prefix + reason, std::make_exception_ptr(PrimitiveError(reason)));
}

Key load(std::string_view pem, bool want_private, const char* prefix) {
  if (std::string complaint = non_ascii_complaint(pem); !complaint.empty()) {
    throw InvalidInputError(prefix + complaint, std::make_exception_ptr(std::invalid_argument(complaint)));
  }
  detail::clear_openssl_errors();
  const std::optional<PemBlock> block = read_pem(pem);
  if (!block) {
    std::string text = detail::take_openssl_error();
    refuse(prefix, text.empty() ? "no key found" : text);
  }
  const std::string_view label(block->name.get());
  const Label* found = nullptr;
  for (const Label& l : want_private ? std::span(kPrivateLabels) : std::span(kPublicLabels))
    if (label == l.name) found = &l;
  if (found == nullptr) {
    refuse(prefix, "PEM label \"" + std::string(label) + "\" is not " +
                       (want_private ? "PRIVATE KEY or RSA PRIVATE KEY" : "PUBLIC KEY or RSA PUBLIC KEY"));
  }
  // A Proc-Type header marks an encrypted key: no password is ever given.
  if (block->header && block->header.get()[0] != '\0') refuse(prefix, "PEM headers (an encrypted key) are not supported");
  if (const char* fault = internal::der_fault(block->der, found->structure)) refuse(prefix, fault);
  Key key = parse_der(block->der, found->structure);
  if (!key) {
    std::string text = detail::take_openssl_error();
    refuse(prefix, text.empty() ? "could not decode the key" : text);
  }
  detail::clear_openssl_errors();
  if (!want_private && internal::has_unusable_exponent(key.get())) refuse(prefix, internal::kUnusableExponent);
  return key;
}

// Writes `key` as PEM text in the given structure.
// The PEM text of the key, as a Text (a plain or a wiping string).
template <class Text>
Text write_pem(EVP_PKEY* key, int selection, const char* structure) {
  EncoderCtx ectx(OSSL_ENCODER_CTX_new_for_pkey(key, selection, "PEM", structure, nullptr));
  if (!ectx || OSSL_ENCODER_CTX_get_num_encoders(ectx.get()) == 0)
    detail::throw_openssl("no PEM writer for the key");
  unsigned char* data = nullptr;
  std::size_t len = 0;
  if (OSSL_ENCODER_to_data(ectx.get(), &data, &len) != 1) detail::throw_openssl("PEM writing failed");
  // The buffer holds the private key's text: wiped when released, whatever happens.
  const auto clear_free = [len](unsigned char* p) { OPENSSL_clear_free(p, len); };
  const std::unique_ptr<unsigned char, decltype(clear_free)> owned(data, clear_free);
  const std::string_view text(reinterpret_cast<const char*>(data), len);
  if constexpr (std::is_same_v<Text, SecureString>) return to_secure_string(text);
  else return Text(text);
}

}  // namespace

bool internal::has_unusable_exponent(EVP_PKEY* key) {
  if (!EVP_PKEY_is_a(key, "RSA") && !EVP_PKEY_is_a(key, "RSA-PSS")) return false;
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &raw) != 1) return false;
  const detail::OsslPtr<BIGNUM, BN_free> e(raw);
  return BN_is_one(e.get()) || !BN_is_odd(e.get());
}

KeyDescription describe(const Key& key) {
  KeyDescription d{EVP_PKEY_get0_type_name(key.get()), EVP_PKEY_get_bits(key.get()), std::nullopt};
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &raw) == 1) {
    const detail::OsslPtr<BIGNUM, BN_free> e(raw);
    const std::unique_ptr<char, void (*)(char*)> dec(BN_bn2dec(e.get()), [](char* p) { OPENSSL_free(p); });
    if (dec) d.public_exponent = dec.get();
  }
  return d;
}

void KeyDeleter::operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }

std::pair<SecureString, std::string> new_key_pair() {
  detail::clear_openssl_errors();
  PKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1) detail::throw_openssl("RSA key generation unavailable");
  unsigned int bits = KEY_SIZE;
  // The exponent goes in as a native-endian unsigned integer.
  unsigned long e = PUBLIC_EXPONENT;
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_uint(OSSL_PKEY_PARAM_RSA_BITS, &bits),
      OSSL_PARAM_construct_ulong(OSSL_PKEY_PARAM_RSA_E, &e),
      OSSL_PARAM_construct_end(),
  };
  if (EVP_PKEY_CTX_set_params(ctx.get(), params) != 1) detail::throw_openssl("RSA key parameters refused");
  EVP_PKEY* raw = nullptr;
  if (EVP_PKEY_generate(ctx.get(), &raw) != 1) detail::throw_openssl("RSA key generation failed");
  const Key key(raw);
  SecureString priv = write_pem<SecureString>(key.get(), EVP_PKEY_KEYPAIR, "PrivateKeyInfo");
  return {std::move(priv), write_pem<std::string>(key.get(), EVP_PKEY_PUBLIC_KEY, "SubjectPublicKeyInfo")};
}

Key _load_public(std::string_view public_pem) { return load(public_pem, false, kPublicPrefix); }

Key _load_private(std::string_view private_pem) { return load(private_pem, true, kPrivatePrefix); }

}  // namespace morvex::rsa
