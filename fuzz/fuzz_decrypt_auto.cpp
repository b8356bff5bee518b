// hybrid::decrypt_auto on any blob under a fixed RSA-4096 key. The first
// input byte picks how the rest is used:
//   0: the blob itself;
//   1: an envelope around a real RSA block (of an AES key of one of several
//      lengths) followed by the rest as nonce, tag and ciphertext;
//   2: a legacy envelope around a real RSA block, the rest as the sealed blob;
//   3: a legacy envelope whose length field comes from the input;
//   4: the rest sealed by the writer and opened again (round trip).
// Forging an authentication tag is out of a fuzzer's reach, so modes 1 to 3
// know which error must come.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "morvex/errors.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

using namespace morvex;

namespace {

// The fixed RSA-4096 pair of the C++ tests (tests/data/keys).
std::string key_text(const char* name) {
  std::ifstream in(std::filesystem::path(MORVEX_TEST_DATA) / "keys" / name);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) std::abort();
  return text.str();
}
const std::string kPrivateA = key_text("rsa4096_a_private.pem");
const std::string kPublicA = key_text("rsa4096_a_public.pem");

constexpr const char* kTampered = "Hybrid AES-GCM decryption failed (wrong key or tampered data)";
constexpr const char* kLegacyInvalid = "Invalid hybrid data (legacy Swift format)";
constexpr const char* kNotGcm =
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data).";

// RSA blocks of AES keys of these lengths, made once.
const std::vector<Bytes>& blocks() {
  static const std::vector<Bytes> all = [] {
    std::vector<Bytes> out;
    const rsa::Key key = rsa::_load_private(kPrivateA);
    for (std::size_t n : {32u, 16u, 24u, 0u, 7u, 31u, 33u, 64u}) {
      const Bytes aes_key(n, static_cast<std::uint8_t>(0xA0 + n));
      out.push_back(rsa::internal::encrypt_oaep(key.get(), aes_key));
    }
    return out;
  }();
  return all;
}

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

void append(Bytes& b, const std::uint8_t* p, std::size_t n) { b.insert(b.end(), p, p + n); }

void put_be32(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
}

// Runs decrypt_auto, checks that the zero-copy form agrees, and returns the
// error message ("" on success).
std::string open(const Bytes& blob) {
  std::string first;
  SecureBytes plain;
  try {
    plain = hybrid::decrypt_auto(blob, kPrivateA);
  } catch (const DecryptionError& e) {
    first = e.what();
  }
  if (const auto n = hybrid::known_plaintext_size(blob)) {
    Bytes out(*n);
    std::string second;
    try {
      hybrid::decrypt_auto_into(blob, kPrivateA, out);
    } catch (const DecryptionError& e) {
      second = e.what();
    }
    if (second != first || (first.empty() && out != plain)) std::abort();
  }
  return first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0] % 5;
  const std::uint8_t pick = size > 1 ? data[1] : 0;
  const Bytes& block = blocks()[pick % blocks().size()];
  const std::uint8_t* rest = data + 1;
  const std::size_t n = size - 1;

  switch (mode) {
    case 0: {
      const std::string m = open(Bytes(rest, rest + n));
      if (!m.empty() && !starts_with(m, "RSA decryption failed: ") && m != kTampered && m != kLegacyInvalid &&
          m != kNotGcm)
        std::abort();
      if (starts_with(m, "RSA decryption failed: ") && m.size() <= 23) std::abort();
      break;
    }
    case 1: {
      Bytes blob{0x00, 0x02, 0x00, 0x00};
      append(blob, block.data(), block.size());
      append(blob, rest, n);
      if (blob.size() < hybrid::ENVELOPE_OVERHEAD) blob.resize(hybrid::ENVELOPE_OVERHEAD, 0);
      if (open(blob) != kTampered) std::abort();
      break;
    }
    case 2: {
      Bytes blob{'H', 'Y', 'B', 'R'};
      put_be32(blob, static_cast<std::uint32_t>(block.size()));
      append(blob, block.data(), block.size());
      append(blob, rest, n);
      if (open(blob) != (n == 0 ? kLegacyInvalid : kNotGcm)) std::abort();
      break;
    }
    case 3: {
      if (n < 4) return 0;
      Bytes blob{'H', 'Y', 'B', 'R'};
      append(blob, rest, 4);
      append(blob, block.data(), block.size());
      append(blob, rest + 4, n - 4);
      const std::string m = open(blob);
      if (m != kLegacyInvalid && m != kNotGcm && !starts_with(m, "RSA decryption failed: ")) std::abort();
      break;
    }
    default: {
      if (n == 0) return 0;
      const Bytes env = hybrid::encrypt_bytes(ByteView(rest, n), kPublicA);
      if (env.size() != n + hybrid::ENVELOPE_OVERHEAD || hybrid::decrypt_auto(env, kPrivateA) != Bytes(rest, rest + n))
        std::abort();
      break;
    }
  }
  return 0;
}
