// Incremental encryption and decryption, and the whole-buffer forms built on
// them (one pass, chunks sealed and opened in place of the caller's buffers).
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "morvex/keys.hpp"
#include "stream/internal.hpp"

namespace morvex::stream {
namespace {

void need_room(std::span<std::uint8_t> out, std::size_t n) {
  if (out.size() < n) throw InvalidArgumentError("output buffer too small");
}

// An owned buffer of the exact size an _into form writes.
template <class Out, class Into>
Out written(std::size_t size, Into into) {
  Out out(size);
  out.resize(into(std::span<std::uint8_t>(out.data(), out.size())));
  return out;
}

// memcpy of the first n bytes of `from`, which may be an empty span without storage.
void copy(std::uint8_t* to, ByteView from, std::size_t n) {
  if (n != 0) std::memcpy(to, from.data(), n);
}

// Opening chunk after chunk straight from a buffer larger than the caches
// runs at about half the speed of one pass over it: the memory stream stalls
// at every call. Asking for the next chunk's lines while this one is opened
// takes most of that back (measured; sealing gains nothing from it, and a
// buffer that fits the caches only pays for the hints).
constexpr std::size_t kPrefetch = SEALED_CHUNK_SIZE;
constexpr std::size_t kPrefetchAbove = std::size_t{4} << 20;
void prefetch(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; i += 64) __builtin_prefetch(p + i, 0);
}

}  // namespace

// --- encryption ------------------------------------------------------------

struct Encryptor::State {
  std::array<std::uint8_t, HEADER_SIZE> header{};
  std::optional<internal::Session> session;
  SecretArray<CHUNK_SIZE> buffer;  // plaintext of the chunk being filled
  std::size_t have = 0;
  std::uint64_t index = 0;
  bool header_sent = false, done = false;

  std::size_t header_size() const noexcept { return header_sent ? 0 : HEADER_SIZE; }
  std::uint8_t* put_header(std::uint8_t* out) {
    if (header_sent) return out;
    std::memcpy(out, header.data(), HEADER_SIZE);
    header_sent = true;
    return out + HEADER_SIZE;
  }
};

Encryptor::Encryptor(std::string_view key, ByteView context) : s_(std::make_unique<State>()) {
  if (key.empty()) throw InvalidInputError(kEmptyKey);
  const keys::AesKey input = keys::convert_key(key);
  detail::random_bytes(s_->header.data(), SALT_SIZE);
  s_->session.emplace(input.span(), ByteView(s_->header.data(), SALT_SIZE), context);
  std::memcpy(s_->header.data() + SALT_SIZE, s_->session->commitment().data(), COMMITMENT_SIZE);
}
Encryptor::Encryptor(Encryptor&&) noexcept = default;
Encryptor& Encryptor::operator=(Encryptor&&) noexcept = default;
Encryptor::~Encryptor() = default;

std::size_t Encryptor::update_size(std::size_t n) const noexcept {
  if (s_->done) return 0;
  return s_->header_size() + (s_->have + n) / CHUNK_SIZE * SEALED_CHUNK_SIZE;
}

std::size_t Encryptor::finalize_size() const noexcept {
  return s_->done ? 0 : s_->header_size() + s_->have + TAG_SIZE;
}

std::size_t Encryptor::update_into(ByteView data, std::span<std::uint8_t> out) {
  State& s = *s_;
  if (s.done) throw InvalidInputError(kEncryptorDone);
  const std::size_t total = update_size(data.size());
  need_room(out, total);
  // The final chunk needs a counter of its own after every full one.
  if ((s.have + data.size()) / CHUNK_SIZE > MAX_CHUNKS - 1 - s.index) throw EncryptionError(kTooLongToEncrypt);
  std::uint8_t* p = s.put_header(out.data());
  if (s.have > 0) {
    const std::size_t take = std::min(CHUNK_SIZE - s.have, data.size());
    copy(s.buffer.data() + s.have, data, take);
    s.have += take;
    data = data.subspan(take);
    if (s.have < CHUNK_SIZE) return total;
    s.session->seal(s.index++, s.buffer.span(), p);
    p += SEALED_CHUNK_SIZE;
    s.have = 0;
  }
  for (; data.size() >= CHUNK_SIZE; data = data.subspan(CHUNK_SIZE), p += SEALED_CHUNK_SIZE)
    s.session->seal(s.index++, data.first(CHUNK_SIZE), p);
  copy(s.buffer.data(), data, data.size());
  s.have = data.size();
  return total;
}

std::size_t Encryptor::finalize_into(std::span<std::uint8_t> out) {
  State& s = *s_;
  if (s.done) throw InvalidInputError(kEncryptorDone);
  const std::size_t total = finalize_size();
  need_room(out, total);
  std::uint8_t* p = s.put_header(out.data());
  s.session->seal(s.index, ByteView(s.buffer.data(), s.have), p);
  s.done = true;
  s.have = 0;
  return total;
}

Bytes Encryptor::update(ByteView data) {
  return written<Bytes>(update_size(data.size()), [&](auto out) { return update_into(data, out); });
}

Bytes Encryptor::finalize() {
  return written<Bytes>(finalize_size(), [&](auto out) { return finalize_into(out); });
}

// --- decryption ------------------------------------------------------------

struct Decryptor::State {
  keys::AesKey input;
  Bytes context;
  std::array<std::uint8_t, HEADER_SIZE> header{};
  std::size_t header_have = 0;
  std::optional<internal::Session> session;
  std::array<std::uint8_t, SEALED_CHUNK_SIZE> pending;  // ciphertext held back (first `have` bytes)
  std::size_t have = 0;
  std::uint64_t index = 0;
  std::string failed;  // the first failure's message, repeated for ever
  bool done = false;

  void check_usable() const {
    if (!failed.empty()) throw DecryptionError(failed);
    if (done) throw InvalidInputError(kDecryptorDone);
  }
  // Opens a full chunk that is known not to be the last.
  void open_full(ByteView sealed, std::uint8_t* out) {
    if (index >= MAX_CHUNKS - 1) throw DecryptionError(kTooLong);
    if (!session->open(index, sealed, out)) throw DecryptionError(kBadChunk);
    ++index;
  }
  template <class F>
  auto guarded(F&& f) {
    try {
      return f();
    } catch (const DecryptionError& e) {
      failed = e.message();
      throw;
    }
  }
};

// Made with `new State`, not make_unique: the held-back buffer needs no zeroing.
Decryptor::Decryptor(std::string_view key, ByteView context) : s_(new State) {
  s_->input = keys::convert_key(key);
  s_->context.assign(context.begin(), context.end());
}
Decryptor::Decryptor(Decryptor&&) noexcept = default;
Decryptor& Decryptor::operator=(Decryptor&&) noexcept = default;
Decryptor::~Decryptor() = default;

std::size_t Decryptor::update_size(std::size_t n) const noexcept {
  const State& s = *s_;
  if (!s.failed.empty() || s.done) return 0;
  const std::size_t header_missing = HEADER_SIZE - s.header_have;
  const std::size_t body = s.have + (n > header_missing ? n - header_missing : 0);
  return body == 0 ? 0 : (body - 1) / SEALED_CHUNK_SIZE * CHUNK_SIZE;
}

std::size_t Decryptor::finalize_size() const noexcept {
  const State& s = *s_;
  if (!s.failed.empty() || s.done || s.have <= TAG_SIZE) return 0;
  return std::min(s.have - TAG_SIZE, CHUNK_SIZE);
}

std::size_t Decryptor::update_into(ByteView data, std::span<std::uint8_t> out) {
  State& s = *s_;
  s.check_usable();
  const std::size_t total = update_size(data.size());
  need_room(out, total);
  return s.guarded([&] {
    if (s.header_have < HEADER_SIZE) {
      const std::size_t take = std::min(HEADER_SIZE - s.header_have, data.size());
      copy(s.header.data() + s.header_have, data, take);
      s.header_have += take;
      data = data.subspan(take);
      if (s.header_have < HEADER_SIZE) return std::size_t{0};
      s.session.emplace(s.input.span(), ByteView(s.header.data(), SALT_SIZE), s.context);
      if (!s.session->commitment_matches(ByteView(s.header.data() + SALT_SIZE, COMMITMENT_SIZE)))
        throw DecryptionError(kWrongKey);
    }
    std::uint8_t* p = out.data();
    const bool hint = data.size() > kPrefetchAbove;
    while (!data.empty()) {
      if (s.have == SEALED_CHUNK_SIZE) {  // more follows: it was not the last
        s.open_full(s.pending, p);
        p += CHUNK_SIZE;
        s.have = 0;
      }
      if (s.have == 0 && data.size() > SEALED_CHUNK_SIZE) {
        if (hint) prefetch(data.data() + SEALED_CHUNK_SIZE, std::min(kPrefetch, data.size() - SEALED_CHUNK_SIZE));
        s.open_full(data.first(SEALED_CHUNK_SIZE), p);
        p += CHUNK_SIZE;
        data = data.subspan(SEALED_CHUNK_SIZE);
        continue;
      }
      const std::size_t take = std::min(SEALED_CHUNK_SIZE - s.have, data.size());
      copy(s.pending.data() + s.have, data, take);
      s.have += take;
      data = data.subspan(take);
    }
    return total;
  });
}

std::size_t Decryptor::finalize_into(std::span<std::uint8_t> out) {
  State& s = *s_;
  s.check_usable();
  const std::size_t total = finalize_size();
  need_room(out, total);
  return s.guarded([&] {
    if (s.header_have < HEADER_SIZE || s.have < TAG_SIZE || s.have == SEALED_CHUNK_SIZE)
      throw DecryptionError(kTruncated);
    if (!s.session->open(s.index, ByteView(s.pending.data(), s.have), out.data())) throw DecryptionError(kBadChunk);
    s.done = true;
    return total;
  });
}

SecureBytes Decryptor::update(ByteView data) {
  return written<SecureBytes>(update_size(data.size()), [&](auto out) { return update_into(data, out); });
}

SecureBytes Decryptor::finalize() {
  return written<SecureBytes>(finalize_size(), [&](auto out) { return finalize_into(out); });
}

// --- whole buffers ---------------------------------------------------------

void encrypt_bytes_into(ByteView data, std::string_view key, std::span<std::uint8_t> out, ByteView context) {
  need_room(out, encrypted_size(data.size()));
  Encryptor e(key, context);
  const std::size_t n = e.update_into(data, out);
  e.finalize_into(out.subspan(n));
}

Bytes encrypt_bytes(ByteView data, std::string_view key, ByteView context) {
  Bytes out(encrypted_size(data.size()));
  encrypt_bytes_into(data, key, out, context);
  return out;
}

std::size_t decrypted_size_hint(std::size_t blob_size) noexcept {
  const internal::Shape shape = internal::shape_of(blob_size);
  return shape.full_chunks * CHUNK_SIZE +
         (shape.last_piece > TAG_SIZE ? std::min<std::uint64_t>(shape.last_piece - TAG_SIZE, CHUNK_SIZE) : 0);
}

std::size_t decrypt_bytes_into(ByteView blob, std::string_view key, std::span<std::uint8_t> out, ByteView context) {
  need_room(out, decrypted_size_hint(blob.size()));
  Decryptor d(key, context);
  const std::size_t n = d.update_into(blob, out);
  return n + d.finalize_into(out.subspan(n));
}

SecureBytes decrypt_bytes(ByteView blob, std::string_view key, ByteView context) {
  return written<SecureBytes>(decrypted_size_hint(blob.size()),
                              [&](auto out) { return decrypt_bytes_into(blob, key, out, context); });
}

}  // namespace morvex::stream
