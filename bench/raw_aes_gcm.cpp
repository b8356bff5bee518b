// Times OpenSSL's raw AES-256-GCM (EVP, one context per message, key set up
// once) against morvex's C++ seal/open of the same size, without Python.
//
//   raw_aes_gcm [bytes=1048576] [seconds=0.5]
//
// Prints "name microseconds-per-call" lines, best of eight interleaved samples.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"

namespace {

using Fn = std::function<void()>;

// Calls per sample so that one sample takes about `seconds` / 8.
std::size_t calibrate(const Fn& f, double seconds) {
  using clock = std::chrono::steady_clock;
  std::size_t n = 1;
  for (;;) {
    const auto t0 = clock::now();
    for (std::size_t i = 0; i < n; ++i) f();
    const double dt = std::chrono::duration<double>(clock::now() - t0).count();
    if (dt > seconds / 32 || n > (1u << 26))
      return std::max<std::size_t>(1, static_cast<std::size_t>(n * (seconds / 8) / dt));
    n *= 4;
  }
}

// Best microseconds per call of each function, samples interleaved so that
// a disturbance on the machine hits all of them alike.
std::vector<double> best_us(const std::vector<Fn>& fs, double seconds) {
  using clock = std::chrono::steady_clock;
  std::vector<std::size_t> n;
  for (const Fn& f : fs) n.push_back(calibrate(f, seconds));
  std::vector<double> best(fs.size(), 1e300);
  for (int s = 0; s < 8; ++s) {
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const auto t0 = clock::now();
      for (std::size_t i = 0; i < n[k]; ++i) fs[k]();
      const double us = std::chrono::duration<double, std::micro>(clock::now() - t0).count() / n[k];
      best[k] = std::min(best[k], us);
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : (1u << 20);
  const double seconds = argc > 2 ? std::atof(argv[2]) : 0.5;
  if (size == 0 || size > (1u << 30)) return 2;

  std::vector<unsigned char> key(32), nonce(12), data(size), out(size + 28), back(size), tag(16);
  RAND_bytes(key.data(), 32);
  RAND_bytes(data.data(), static_cast<int>(size));
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  if (cipher == nullptr) return 1;

  // Raw: a fresh context per message, as any one-shot caller does.
  const Fn raw_seal = [&] {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int l = 0;
    EVP_EncryptInit_ex2(ctx, cipher, key.data(), nonce.data(), nullptr);
    EVP_EncryptUpdate(ctx, out.data(), &l, data.data(), static_cast<int>(size));
    EVP_EncryptFinal_ex(ctx, out.data() + l, &l);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data());
    EVP_CIPHER_CTX_free(ctx);
  };
  const Fn raw_open = [&] {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int l = 0;
    EVP_DecryptInit_ex2(ctx, cipher, key.data(), nonce.data(), nullptr);
    EVP_DecryptUpdate(ctx, back.data(), &l, out.data(), static_cast<int>(size));
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data());
    EVP_DecryptFinal_ex(ctx, back.data() + l, &l);
    EVP_CIPHER_CTX_free(ctx);
  };
  const std::string key_text = morvex::encoding::base64_encode(key);
  std::vector<unsigned char> sealed(size + 28);
  morvex::aes::encrypt_bytes_into(data, key_text, sealed);
  const Fn mv_seal = [&] { morvex::aes::encrypt_bytes_into(data, key_text, out); };
  const Fn mv_open = [&] { morvex::aes::decrypt_bytes_into(sealed, key_text, back); };
  const std::vector<double> t = best_us({raw_seal, raw_open, mv_seal, mv_open}, seconds);
  mv_open();
  if (!std::equal(data.begin(), data.end(), back.begin())) return 1;

  std::printf("raw_seal %.3f\nraw_open %.3f\nmorvex_seal %.3f\nmorvex_open %.3f\n", t[0], t[1], t[2], t[3]);
  EVP_CIPHER_free(cipher);
  return 0;
}
