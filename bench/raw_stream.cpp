// Times morvex's C++ chunked encryption against its own one-pass AES-GCM (the
// aes area) on the same buffers, without Python: the cost of the per-chunk
// nonce, tag and key derivation.
//
//   raw_stream [bytes=1048576] [seconds=0.5]
//
// Prints "name microseconds-per-call" lines, best of eight interleaved samples.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "morvex/aes.hpp"
#include "morvex/stream.hpp"

namespace {

using Fn = std::function<void()>;

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

std::vector<double> best_us(const std::vector<Fn>& fs, double seconds) {
  using clock = std::chrono::steady_clock;
  std::vector<std::size_t> n;
  for (const Fn& f : fs) n.push_back(calibrate(f, seconds));
  std::vector<double> best(fs.size(), 1e300);
  for (int s = 0; s < 8; ++s) {
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const auto t0 = clock::now();
      for (std::size_t i = 0; i < n[k]; ++i) fs[k]();
      best[k] = std::min(best[k], std::chrono::duration<double, std::micro>(clock::now() - t0).count() / n[k]);
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  namespace st = morvex::stream;
  const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : (1u << 20);
  const double seconds = argc > 2 ? std::atof(argv[2]) : 0.5;
  if (size == 0 || size > (1u << 30)) return 2;
  const char* key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
  std::vector<std::uint8_t> data(size, 7), sealed(morvex::aes::sealed_size(size)), back(size);
  std::vector<std::uint8_t> stream_ct(st::encrypted_size(size)), stream_back(size);
  morvex::aes::encrypt_bytes_into(data, key, sealed);
  st::encrypt_bytes_into(data, key, stream_ct);
  const std::vector<double> t = best_us(
      {[&] { morvex::aes::encrypt_bytes_into(data, key, sealed); },
       [&] { st::encrypt_bytes_into(data, key, stream_ct); },
       [&] { morvex::aes::decrypt_bytes_into(sealed, key, back); },
       [&] { st::decrypt_bytes_into(stream_ct, key, stream_back); }},
      seconds);
  std::printf("aes_seal %.2f\nstream_seal %.2f\naes_open %.2f\nstream_open %.2f\n", t[0], t[1], t[2], t[3]);
  return 0;
}
