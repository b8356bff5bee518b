// Times morvex's C++ chunked encryption against its own one-pass AES-GCM (the
// aes area) on the same buffers, without Python: the cost of the per-chunk
// nonce, tag and key derivation.
//
//   raw_stream [bytes=1048576] [seconds=0.5]
//
// Prints "name microseconds-per-call" lines, best of eight interleaved samples
// of this thread's CPU time.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cpu_timing.hpp"
#include "morvex/aes.hpp"
#include "morvex/stream.hpp"

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
  const std::vector<double> t = morvex::bench::best_us(
      {[&] { morvex::aes::encrypt_bytes_into(data, key, sealed); },
       [&] { st::encrypt_bytes_into(data, key, stream_ct); },
       [&] { morvex::aes::decrypt_bytes_into(sealed, key, back); },
       [&] { st::decrypt_bytes_into(stream_ct, key, stream_back); }},
      seconds, 8);
  std::printf("aes_seal %.2f\nstream_seal %.2f\naes_open %.2f\nstream_open %.2f\n", t[0], t[1], t[2], t[3]);
  return 0;
}
