// What one PBKDF2-HMAC-SHA512 derivation costs against the SHA-512 work it
// is made of. With c iterations and a 64-byte output (one output block),
// PBKDF2 runs c HMACs of a 64-byte message; with the key pads hashed once,
// each HMAC is two compression-function calls (inner and outer), so the
// derivation is 2c compressions of 128-byte blocks: 420,000 for c = 210000.
//
//   raw_pbkdf2 [iterations=210000] [rounds=5]
//
// Prints "name milliseconds" lines (CPU time), best of `rounds` interleaved
// samples:
//   raw_block     that many calls of OpenSSL's SHA-512 block function
//   raw_stream    EVP SHA-512 over the same number of blocks of in-cache data
//   openssl       PKCS5_PBKDF2_HMAC, 64 bytes
//   morvex        password::_derive, 64 bytes
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "morvex/password.hpp"
#include "password/internal.hpp"

namespace {

// This thread's CPU time: other work on a shared machine disturbs it far
// less than wall time.
double cpu_ms() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

double ms(const std::function<void()>& f) {
  const double t0 = cpu_ms();
  f();
  return cpu_ms() - t0;
}

}  // namespace

int main(int argc, char** argv) {
  const long iterations = argc > 1 ? std::atol(argv[1]) : 210000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const long blocks = 2 * iterations;
  const unsigned char salt[32] = {1, 2, 3};
  const std::string password = "correct horse battery staple";
  unsigned char out[64];
  std::vector<unsigned char> chunk(64 * 1024, 0x5a);  // 512 blocks, stays in cache

  auto raw_block = [&] {
#ifndef OPENSSL_NO_DEPRECATED_3_0
    SHA512_CTX c;
    SHA512_Init(&c);
    for (long i = 0; i < blocks; ++i) SHA512_Transform(&c, chunk.data());
    SHA512_Final(out, &c);
#endif
  };
  auto raw_stream = [&] {
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    EVP_DigestInit_ex(c, EVP_sha512(), nullptr);
    const long per = static_cast<long>(chunk.size() / 128);
    for (long done = 0; done < blocks; done += per)
      EVP_DigestUpdate(c, chunk.data(), static_cast<std::size_t>(std::min(per, blocks - done)) * 128);
    unsigned int n = 0;
    EVP_DigestFinal_ex(c, out, &n);
    EVP_MD_CTX_free(c);
  };
  auto openssl = [&] {
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt, 32, static_cast<int>(iterations),
                      EVP_sha512(), 64, out);
  };
  auto morvex = [&] { morvex::password::_derive(password, {salt, 32}, iterations, 64, "SHA512"); };

  const std::vector<std::pair<const char*, std::function<void()>>> fns = {
      {"raw_block", raw_block}, {"raw_stream", raw_stream}, {"openssl", openssl}, {"morvex", morvex}};
  std::vector<double> best(fns.size(), 1e300);
  for (int r = 0; r < rounds; ++r)
    for (std::size_t i = 0; i < fns.size(); ++i) best[i] = std::min(best[i], ms(fns[i].second));
  for (std::size_t i = 0; i < fns.size(); ++i) std::printf("%s %.3f\n", fns[i].first, best[i]);
  std::printf("blocks %ld\n", blocks);
  return 0;
}
