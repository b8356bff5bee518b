// Random access: only the chunks a plaintext range covers are read and
// opened; the final chunk whenever the answer depends on the message length.
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "morvex/errors.hpp"
#include "morvex/keys.hpp"
#include "stream/files.hpp"
#include "stream/internal.hpp"

namespace morvex::stream {

struct RangeReader::State {
  std::optional<internal::Session> session;
  internal::Shape shape;

  // Chunks [first, last] and the plaintext [start, end) wanted from them.
  struct Plan {
    std::uint64_t first = 0, last = 0, start = 0, end = 0;
    bool reads = false;  // false: nothing to read (empty range, no length involved)
  };

  Plan plan(std::int64_t offset, std::int64_t length) const {
    if (length < 0) throw InvalidInputError(kNegativeLength);
    Plan p;
    bool need_final = offset < 0;
    if (need_final) {
      if (!shape.well_formed()) throw DecryptionError(kTruncated);
      const std::uint64_t back = static_cast<std::uint64_t>(-(offset + 1)) + 1;  // |offset|, no overflow
      const std::uint64_t size = shape.message_size();
      p.start = back >= size ? 0 : size - back;
    } else {
      p.start = static_cast<std::uint64_t>(offset);
      if (length == 0) return p;
    }
    p.end = p.start + static_cast<std::uint64_t>(length);  // both below 2^63
    const std::uint64_t first = p.start / CHUNK_SIZE;
    const std::uint64_t last = p.end > p.start ? (p.end - 1) / CHUNK_SIZE : first;
    if (last >= shape.full_chunks) need_final = true;
    if (need_final) {
      if (!shape.well_formed()) throw DecryptionError(kTruncated);
      p.first = std::min(first, shape.full_chunks);
      p.last = shape.full_chunks;
      p.end = std::min(p.end, shape.message_size());
      p.start = std::min(p.start, p.end);
    } else {
      p.first = first;
      p.last = last;
    }
    if (p.last >= MAX_CHUNKS) throw DecryptionError(kTooLong);
    p.reads = true;
    return p;
  }

  std::uint64_t sealed_size(std::uint64_t chunk) const {
    return chunk == shape.full_chunks ? shape.last_piece : SEALED_CHUNK_SIZE;
  }
};

RangeReader::RangeReader(ByteView header, std::uint64_t total_size, std::string_view key, ByteView context)
    : s_(std::make_unique<State>()) {
  const keys::AesKey input = keys::convert_key(key);
  if (header.size() < HEADER_SIZE || total_size < HEADER_SIZE) throw DecryptionError(kTruncated);
  s_->session.emplace(input.span(), header.first(SALT_SIZE), context);
  if (!s_->session->commitment_matches(header.subspan(SALT_SIZE, COMMITMENT_SIZE))) throw DecryptionError(kWrongKey);
  s_->shape = internal::shape_of(total_size);
}
RangeReader::RangeReader(RangeReader&&) noexcept = default;
RangeReader& RangeReader::operator=(RangeReader&&) noexcept = default;
RangeReader::~RangeReader() = default;

RangeReader::Span RangeReader::span(std::int64_t offset, std::int64_t length) const {
  const State::Plan p = s_->plan(offset, length);
  if (!p.reads) return {};
  return {HEADER_SIZE + p.first * SEALED_CHUNK_SIZE,
          (p.last - p.first) * SEALED_CHUNK_SIZE + s_->sealed_size(p.last)};
}

SecureBytes RangeReader::open(std::int64_t offset, std::int64_t length, ByteView ciphertext) const {
  const State::Plan p = s_->plan(offset, length);
  const Span want = span(offset, length);
  if (ciphertext.size() != want.size) throw InvalidArgumentError("ciphertext does not cover the range");
  if (!p.reads) return {};
  SecureBytes out(p.end - p.start);
  SecretArray<CHUNK_SIZE> scratch;
  std::uint8_t* dst = out.data();
  for (std::uint64_t k = p.first; k <= p.last; ++k) {
    const std::uint64_t n = s_->sealed_size(k);
    if (n < TAG_SIZE) throw DecryptionError(kTruncated);
    if (!s_->session->open(k, ciphertext.first(n), scratch.data())) throw DecryptionError(kBadChunk);
    ciphertext = ciphertext.subspan(n);
    // The part of chunk k inside [start, end).
    const std::uint64_t lo = std::max(p.start, k * CHUNK_SIZE), hi = std::min(p.end, k * CHUNK_SIZE + n - TAG_SIZE);
    if (hi > lo) {
      std::memcpy(dst, scratch.data() + (lo - k * CHUNK_SIZE), hi - lo);
      dst += hi - lo;
    }
  }
  return out;
}

void check_range(std::int64_t length) {
  if (length < 0) throw InvalidInputError(kNegativeLength);
}

SecureBytes read_range(ByteView blob, std::string_view key, std::int64_t offset, std::int64_t length,
                       ByteView context) {
  check_range(length);
  const RangeReader reader(blob.first(std::min(blob.size(), HEADER_SIZE)), blob.size(), key, context);
  const RangeReader::Span s = reader.span(offset, length);
  return reader.open(offset, length, blob.subspan(s.start, s.size));
}

SecureBytes read_range_file(const std::filesystem::path& src, std::string_view key, std::int64_t offset,
                            std::int64_t length, ByteView context) {
  check_range(length);
  internal::File in(src, O_RDONLY);
  const std::uint64_t total = in.size();
  std::array<std::uint8_t, HEADER_SIZE> header{};
  const std::size_t got = in.read_full(header);
  const RangeReader reader(ByteView(header.data(), got), total, key, context);
  const RangeReader::Span s = reader.span(offset, length);
  Bytes ct(s.size);
  in.read_at(s.start, ct);
  return reader.open(offset, length, ct);
}

}  // namespace morvex::stream
