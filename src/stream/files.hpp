// POSIX files for the stream area: a descriptor owner with whole reads and
// writes, and the temporary file that replaces a target only on success.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "morvex/bytes.hpp"

namespace morvex::stream::internal {

class File {
 public:
  File(const std::filesystem::path& path, int flags, mode_t mode = 0);
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();
  // Reads until `buf` is full or the file ends; returns the bytes read.
  std::size_t read_full(std::span<std::uint8_t> buf);
  // Reads exactly buf.size() bytes at `offset`.
  void read_at(std::uint64_t offset, std::span<std::uint8_t> buf);
  void write_all(ByteView data);
  std::uint64_t size() const;
  void sync();
  void close();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace morvex::stream::internal
