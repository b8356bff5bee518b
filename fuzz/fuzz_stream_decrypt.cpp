// The stream decryptors on damaged and arbitrary streams. Input: a control
// byte, then (mode 0) a ciphertext taken as is, or (mode 1) parameters and a
// plaintext that is encrypted, then cut, flipped or extended. Every form
// (whole buffer, incremental in pieces, random access) must agree: the same
// message on failure, only authenticated plaintext released, and success
// exactly when the stream was not damaged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "morvex/errors.hpp"
#include "morvex/stream.hpp"

using namespace morvex;
namespace st = morvex::stream;

namespace {

constexpr std::string_view kKey = "fuzz key";

bool known(std::string_view m) { return m == st::kTruncated || m == st::kWrongKey || m == st::kBadChunk; }

std::uint32_t u16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

// Whole-buffer result or the failure message ("" on success).
std::string whole(ByteView ct, SecureBytes& out) {
  try {
    out = st::decrypt_bytes(ct, kKey);
    return "";
  } catch (const DecryptionError& e) {
    if (!known(e.what()) || e.cause()) std::abort();
    return e.what();
  }
}

// The incremental decryptor in pieces of `step` bytes.
std::string pieces(ByteView ct, std::size_t step, SecureBytes& released) {
  st::Decryptor d(kKey);
  std::string failure;
  try {
    for (std::size_t i = 0; i < ct.size(); i += step) {
      const SecureBytes part = d.update(ct.subspan(i, std::min(step, ct.size() - i)));
      released.insert(released.end(), part.begin(), part.end());
    }
    const SecureBytes last = d.finalize();
    released.insert(released.end(), last.begin(), last.end());
    return "";
  } catch (const DecryptionError& e) {
    failure = e.what();
  }
  try {  // a failed decryptor keeps failing the same way
    (void)d.update(ct.first(std::min<std::size_t>(ct.size(), 1)));
    std::abort();
  } catch (const DecryptionError& e) {
    if (failure != e.what()) std::abort();
  }
  return failure;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const std::size_t step = 1 + (data[0] & 0x7F) * 97;
  const bool sealed = data[0] & 0x80;
  Bytes ct;
  Bytes original;
  bool damaged = true;
  if (!sealed) {
    ct.assign(data + 1, data + size);
  } else {
    // cut (bytes off the end), flip (bit position, 0: none), extend (garbage
    // bytes), repeat (copies of the plaintext), plaintext.
    const std::uint32_t cut = u16(data + 1), flip = u16(data + 3), extend = data[5], repeat = data[6];
    for (std::uint32_t r = 0; r <= repeat && original.size() < 70000; ++r)
      original.insert(original.end(), data + 7, data + size);
    ct = st::encrypt_bytes(original, kKey);
    ct.resize(ct.size() - std::min<std::size_t>(cut, ct.size()));
    const bool flipped = flip != 0 && flip / 8 < ct.size();
    if (flipped) ct[flip / 8] ^= static_cast<std::uint8_t>(1u << (flip % 8));
    ct.insert(ct.end(), extend, 0xA5);
    damaged = cut != 0 || flipped || extend != 0;
  }

  SecureBytes got, released;
  const std::string a = whole(ct, got);
  const std::string b = pieces(ct, step, released);
  if (a != b || a.empty() == damaged) std::abort();
  if (a.empty() && (got != released || got != original)) std::abort();
  // Released plaintext is authenticated: a prefix of what was encrypted (and
  // nothing at all behind a header a fuzzer made up).
  if (released.size() > original.size() || !std::equal(released.begin(), released.end(), original.begin()))
    std::abort();
  // Random access agrees with the whole buffer wherever both answer.
  const std::int64_t offset = static_cast<std::int64_t>(u16(data + 1)) - 1000, length = data[3] * 300;
  try {
    // Whatever a range returns is that part of what was encrypted: only the
    // chunks it covers are read, and the final chunk pins the length.
    const SecureBytes range = st::read_range(ct, kKey, offset, length);
    const std::size_t n = original.size();
    const std::size_t start = offset >= 0 ? std::min<std::size_t>(offset, n)
                                          : n - std::min<std::size_t>(static_cast<std::size_t>(-offset), n);
    const std::size_t end = a.empty() ? std::min<std::size_t>(start + length, n) : start + range.size();
    if (end > n || range.size() != end - start || !std::equal(range.begin(), range.end(), original.begin() + start))
      std::abort();
  } catch (const DecryptionError& e) {
    if (!known(e.what()) || a.empty()) std::abort();
  }
  return 0;
}
