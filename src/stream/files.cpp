// Files by path: batches of chunks through the incremental objects, written
// to a temporary file beside the target that replaces it only on success.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "common/ossl.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "stream/files.hpp"
#include "stream/internal.hpp"

namespace morvex {

IoError::IoError(int error_number, std::string path)
    : Error(ErrorKind::Io, std::strerror(error_number)), error_number_(error_number), path_(std::move(path)) {}

namespace stream {
namespace internal {

File::File(const std::filesystem::path& path, int flags, mode_t mode) : path_(path.string()) {
  do fd_ = ::open(path_.c_str(), flags | O_CLOEXEC, mode);
  while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw IoError(errno, path_);
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t File::read_full(std::span<std::uint8_t> buf) {
  std::size_t got = 0;
  while (got < buf.size()) {
    const ssize_t n = ::read(fd_, buf.data() + got, buf.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw IoError(errno, path_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void File::read_at(std::uint64_t offset, std::span<std::uint8_t> buf) {
  std::size_t got = 0;
  while (got < buf.size()) {
    const ssize_t n = ::pread(fd_, buf.data() + got, buf.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw IoError(errno, path_);
    if (n == 0) throw IoError(EIO, path_);  // the file shrank under us
    got += static_cast<std::size_t>(n);
  }
}

void File::write_all(ByteView data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw IoError(errno, path_);
    data = data.subspan(static_cast<std::size_t>(n));
  }
}

std::uint64_t File::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw IoError(errno, path_);
  return static_cast<std::uint64_t>(st.st_size);
}

void File::sync() {
  if (::fsync(fd_) != 0) throw IoError(errno, path_);
}

void File::close() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw IoError(errno, path_);
}

}  // namespace internal

namespace {

std::filesystem::path temporary_beside(const std::filesystem::path& target) {
  std::uint8_t random[9];
  detail::random_bytes(random, sizeof random);
  std::string tag = encoding::base64_encode(ByteView(random, sizeof random));
  for (char& c : tag)
    if (c == '/') c = '_';
  return target.parent_path() / ("." + target.filename().string() + "." + tag + ".tmp");
}

// Batches of this many chunks: memory stays flat whatever the file size.
constexpr std::size_t kBatchChunks = 16;

template <class Machine, class InBuf, class OutBuf>
void pump(Machine& m, std::size_t batch, const std::filesystem::path& src, const std::filesystem::path& dst) {
  internal::File in(src, O_RDONLY);
  PendingFile out(dst);
  InBuf buf(batch);
  OutBuf result((kBatchChunks + 2) * SEALED_CHUNK_SIZE + HEADER_SIZE);
  for (;;) {
    const std::size_t n = in.read_full(buf);
    out.write(ByteView(result.data(), m.update_into(ByteView(buf.data(), n), result)));
    if (n < batch) break;
  }
  out.write(ByteView(result.data(), m.finalize_into(result)));
  out.commit();
}

}  // namespace

struct PendingFile::State {
  std::filesystem::path target, temp;
  std::optional<internal::File> file;
  bool live = true;
  explicit State(const std::filesystem::path& t) : target(t), temp(temporary_beside(t)) {
    try {
      file.emplace(temp, O_WRONLY | O_CREAT | O_EXCL, 0600);
    } catch (const IoError& e) {  // named after the file the caller asked for
      throw IoError(e.error_number(), target.string());
    }
  }
};

PendingFile::PendingFile(const std::filesystem::path& target) : s_(std::make_unique<State>(target)) {}
PendingFile::PendingFile(PendingFile&&) noexcept = default;
PendingFile& PendingFile::operator=(PendingFile&&) noexcept = default;
PendingFile::~PendingFile() { discard(); }

void PendingFile::write(ByteView data) {
  if (!s_ || !s_->file) throw StateError("pending file already closed");
  s_->file->write_all(data);
}

void PendingFile::commit() {
  if (!s_ || !s_->file) throw StateError("pending file already closed");
  s_->file->sync();
  s_->file->close();
  s_->file.reset();
  if (::rename(s_->temp.c_str(), s_->target.c_str()) != 0) {
    const int err = errno;
    discard();
    throw IoError(err, s_->target.string());
  }
  s_->live = false;
}

void PendingFile::discard() noexcept {
  if (!s_ || !s_->live) return;
  s_->file.reset();
  ::unlink(s_->temp.c_str());
  s_->live = false;
}

void encrypt_file(const std::filesystem::path& src, const std::filesystem::path& dst, std::string_view key,
                  ByteView context) {
  Encryptor e(key, context);
  pump<Encryptor, SecureBytes, Bytes>(e, kBatchChunks * CHUNK_SIZE, src, dst);
}

void decrypt_file(const std::filesystem::path& src, const std::filesystem::path& dst, std::string_view key,
                  ByteView context) {
  Decryptor d(key, context);
  pump<Decryptor, Bytes, SecureBytes>(d, kBatchChunks * SEALED_CHUNK_SIZE, src, dst);
}

}  // namespace stream
}  // namespace morvex
