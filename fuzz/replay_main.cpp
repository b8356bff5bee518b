// Replays fuzz inputs once each, without libFuzzer: every argument is a file
// or a folder of files. Fails when no input was found.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A private copy, exactly the input's size, so overreads are caught.
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& e : std::filesystem::directory_iterator(arg)) {
        if (!e.is_regular_file()) continue;
        run_file(e.path());
        ++count;
      }
    } else if (std::filesystem::is_regular_file(arg)) {
      run_file(arg);
      ++count;
    }
  }
  std::printf("%s: %zu inputs replayed\n", argv[0], count);
  return count == 0 ? 1 : 0;
}
