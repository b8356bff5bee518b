#include "password/pbkdf2.hpp"

// The block functions are OpenSSL's SHA512_Transform and SHA256_Transform,
// kept by OpenSSL 3 as deprecated low-level calls.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace morvex::detail {

#ifndef OPENSSL_NO_DEPRECATED_3_0
namespace {

struct Sha512 {
  using Ctx = SHA512_CTX;
  static constexpr std::size_t kBlock = 128, kOut = 64, kLengthBytes = 16;
  static void init(Ctx* c) { SHA512_Init(c); }
  static void update(Ctx* c, const void* p, std::size_t n) { SHA512_Update(c, p, n); }
  static void final(std::uint8_t* out, Ctx* c) { SHA512_Final(out, c); }
  static void transform(Ctx* c, const std::uint8_t* block) { SHA512_Transform(c, block); }
};

struct Sha256 {
  using Ctx = SHA256_CTX;
  static constexpr std::size_t kBlock = 64, kOut = 32, kLengthBytes = 8;
  static void init(Ctx* c) { SHA256_Init(c); }
  static void update(Ctx* c, const void* p, std::size_t n) { SHA256_Update(c, p, n); }
  static void final(std::uint8_t* out, Ctx* c) { SHA256_Final(out, c); }
  static void transform(Ctx* c, const std::uint8_t* block) { SHA256_Transform(c, block); }
};

// A chaining value as digest bytes (big-endian words).
template <class Word, std::size_t N>
void store_be(const Word (&h)[N], std::uint8_t* out) {
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t b = 0; b < sizeof(Word); ++b)
      out[i * sizeof(Word) + b] = static_cast<std::uint8_t>(h[i] >> (8 * (sizeof(Word) - 1 - b)));
}

// A block holding one digest as the whole message after the key pad: the
// digest, the 0x80 marker, zeros, and the bit length of pad + digest.
template <class H>
void prepare_block(std::array<std::uint8_t, H::kBlock>& block) {
  block.fill(0);
  block[H::kOut] = 0x80;
  std::uint64_t bits = 8 * (H::kBlock + H::kOut);
  for (std::size_t i = 0; i < 8; ++i, bits >>= 8) block[H::kBlock - 1 - i] = static_cast<std::uint8_t>(bits);
}

// Holds every secret intermediate and wipes it on the way out.
template <class H>
struct State {
  typename H::Ctx inner, outer, work;
  std::array<std::uint8_t, H::kBlock> pad, inner_block, outer_block;
  std::array<std::uint8_t, H::kOut> t;
  ~State() { OPENSSL_cleanse(this, sizeof *this); }
};

template <class H>
void derive(std::string_view password, ByteView salt, std::uint64_t iterations, std::span<std::uint8_t> out) {
  State<H> s;
  // HMAC key: the password, or its hash when longer than a block.
  s.pad.fill(0);
  if (password.size() > H::kBlock) {
    H::init(&s.work);
    H::update(&s.work, password.data(), password.size());
    H::final(s.pad.data(), &s.work);
  } else {
    std::copy(password.begin(), password.end(), s.pad.begin());
  }
  for (auto& b : s.pad) b ^= 0x36;
  H::init(&s.inner);
  H::update(&s.inner, s.pad.data(), H::kBlock);
  for (auto& b : s.pad) b ^= 0x36 ^ 0x5c;
  H::init(&s.outer);
  H::update(&s.outer, s.pad.data(), H::kBlock);
  prepare_block<H>(s.inner_block);
  prepare_block<H>(s.outer_block);

  std::size_t done = 0;
  for (std::uint32_t index = 1; done < out.size(); ++index) {
    // U1 = HMAC(P, S || INT(index)), with the saved pad states.
    const std::uint8_t be[4] = {static_cast<std::uint8_t>(index >> 24), static_cast<std::uint8_t>(index >> 16),
                                static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
    s.work = s.inner;
    if (!salt.empty()) H::update(&s.work, salt.data(), salt.size());
    H::update(&s.work, be, sizeof be);
    H::final(s.outer_block.data(), &s.work);
    s.work = s.outer;
    H::update(&s.work, s.outer_block.data(), H::kOut);
    H::final(s.inner_block.data(), &s.work);  // the digests land in front of the blocks' padding
    std::copy_n(s.inner_block.begin(), H::kOut, s.t.begin());
    // U2 .. Uc: one inner and one outer compression each.
    for (std::uint64_t j = 1; j < iterations; ++j) {
      std::memcpy(s.work.h, s.inner.h, sizeof s.work.h);
      H::transform(&s.work, s.inner_block.data());
      store_be(s.work.h, s.outer_block.data());
      std::memcpy(s.work.h, s.outer.h, sizeof s.work.h);
      H::transform(&s.work, s.outer_block.data());
      store_be(s.work.h, s.inner_block.data());
      for (std::size_t k = 0; k < H::kOut; ++k) s.t[k] ^= s.inner_block[k];
    }
    const std::size_t n = std::min(H::kOut, out.size() - done);
    std::copy_n(s.t.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(done));
    done += n;
  }
}

}  // namespace
#endif

bool pbkdf2_hmac_blocks(std::string_view digest, std::string_view password, ByteView salt,
                        std::uint64_t iterations, std::span<std::uint8_t> out) {
#ifndef OPENSSL_NO_DEPRECATED_3_0
  if (digest == "SHA2-512") {
    derive<Sha512>(password, salt, iterations, out);
    return true;
  }
  if (digest == "SHA2-256") {
    derive<Sha256>(password, salt, iterations, out);
    return true;
  }
#else
  (void)digest, (void)password, (void)salt, (void)iterations, (void)out;
#endif
  return false;
}

}  // namespace morvex::detail
