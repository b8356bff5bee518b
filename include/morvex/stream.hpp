// Chunked encryption of messages of any size (Cobblestone-256): streaming,
// whole-buffer and random-access forms over one format.
//
// Format: salt (24) || commitment (32) || chunk 0 || chunk 1 || ... Every
// chunk is AES-256-GCM ciphertext || tag (16) of 16384 plaintext bytes, except
// the last, which is shorter (possibly empty) and marks the end. The chunk key,
// base nonce and commitment are HKDF-Expand-SHA-512 of the input key with
// info "c2sp.org/chunked-encryption@v1+AEAD_AES_256_GCM" || 0x00 || salt ||
// context; chunk i is sealed under nonce = base nonce XOR i (big-endian).
//
// The input key is the 32-byte normalisation of a key text (keys::
// convert_key, as for the aes area): a passphrase is hashed once with SHA-256,
// with no stretching. Derive a key from a password with the password area
// first (see the "Encrypt a file" how-to).
//
// Decryption checks, in this order, whatever the form:
//   1. fewer than 56 header bytes           DecryptionError kTruncated
//   2. the commitment does not match        DecryptionError kWrongKey
//      (wrong key or context, damaged salt or commitment)
//   3. each full chunk, in order            DecryptionError kBadChunk
//      (counter beyond 2^38 - 2 for a full chunk: kTooLong)
//   4. the last piece is not 16..16399      DecryptionError kTruncated
//      bytes long (missing final chunk, cut tag)
//   5. the last piece authenticates as      DecryptionError kBadChunk
//      the final chunk (trailing data, truncation inside a chunk)
// No plaintext byte is released before its chunk authenticates. An
// incremental decryptor that failed repeats its first error for ever.
//
// Thread safety: the free functions may run on any number of threads at once.
// An Encryptor, Decryptor, PendingFile or RangeReader belongs to one caller:
// distinct objects may be used on distinct threads, one object by one thread
// at a time. Ownership: each of these objects owns its state (the keys it
// derived, wiped when released); results are values the caller owns
// (plaintexts in wiping owners); the forms that take `out` write only to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "morvex/bytes.hpp"

// Exported by the shared library; everything else in it stays hidden.
#pragma GCC visibility push(default)

namespace morvex::stream {

inline constexpr std::size_t CHUNK_SIZE = 16384;
inline constexpr std::size_t SALT_SIZE = 24;
inline constexpr std::size_t COMMITMENT_SIZE = 32;
inline constexpr std::size_t HEADER_SIZE = SALT_SIZE + COMMITMENT_SIZE;  // 56
inline constexpr std::size_t TAG_SIZE = 16;
inline constexpr std::size_t SEALED_CHUNK_SIZE = CHUNK_SIZE + TAG_SIZE;
// Chunk counters stop below this bound (4 PiB messages).
inline constexpr std::uint64_t MAX_CHUNKS = std::uint64_t{1} << 38;

inline constexpr const char* kTruncated = "Stream decryption failed: the stream is truncated";
inline constexpr const char* kWrongKey =
    "Stream decryption failed: wrong key or context (the key commitment does not match)";
inline constexpr const char* kBadChunk =
    "Stream decryption failed: a chunk does not authenticate (tampered, reordered or trailing data)";
inline constexpr const char* kTooLong = "Stream decryption failed: more than 2^38 chunks";
// Encryption of a message that would need a chunk counter of 2^38.
inline constexpr const char* kTooLongToEncrypt = "Stream encryption failed: more than 2^38 chunks";
// EncryptionError prefix for a failing primitive.
inline constexpr const char* kEncryptFailed = "Stream encryption failed: ";
inline constexpr const char* kNegativeLength = "Range length cannot be negative";
inline constexpr const char* kEncryptorDone = "Stream encryptor already finalized";
inline constexpr const char* kDecryptorDone = "Stream decryptor already finalized";
// Encryption refuses the empty key text: its key is SHA-256 of nothing, which
// anyone can compute (a missing environment variable would seal under it).
// Decryption still takes it, as the aes area does.
inline constexpr const char* kEmptyKey = "Key cannot be empty";

// Size of the encryption of an n-byte message: 56 + 16 per chunk + n.
constexpr std::uint64_t encrypted_size(std::uint64_t n) noexcept {
  return HEADER_SIZE + (n / CHUNK_SIZE + 1) * TAG_SIZE + n;
}

// Whole messages in memory. The empty message is valid (one empty chunk).
// Throws InvalidInputError kEmptyKey, EncryptionError (a failing primitive,
// kTooLongToEncrypt).
Bytes encrypt_bytes(ByteView data, std::string_view key, ByteView context = {});
// Throws DecryptionError at the checks above.
SecureBytes decrypt_bytes(ByteView blob, std::string_view key, ByteView context = {});
// Zero-copy forms: `out` holds encrypted_size(data.size()) bytes, or, for
// decryption, at least decrypted_size_hint(blob) bytes (InvalidArgumentError
// otherwise). decrypt_bytes_into returns the plaintext length.
void encrypt_bytes_into(ByteView data, std::string_view key, std::span<std::uint8_t> out, ByteView context = {});
std::size_t decrypt_bytes_into(ByteView blob, std::string_view key, std::span<std::uint8_t> out,
                               ByteView context = {});
// The plaintext length a blob of this size would have (0 for impossible sizes).
std::size_t decrypted_size_hint(std::size_t blob_size) noexcept;

// Push-style encryption: update() returns the header (first call) and every
// chunk its input completes; finalize() the final short chunk. Not for use by
// two threads at once. The constructor throws InvalidInputError kEmptyKey.
class Encryptor {
 public:
  explicit Encryptor(std::string_view key, ByteView context = {});
  Encryptor(Encryptor&&) noexcept;
  Encryptor& operator=(Encryptor&&) noexcept;
  ~Encryptor();

  // Exact output sizes of the next update(n bytes) / finalize().
  std::size_t update_size(std::size_t n) const noexcept;
  std::size_t finalize_size() const noexcept;
  // Write into `out` (at least that size; InvalidArgumentError otherwise)
  // and return the bytes written. Throws InvalidInputError kEncryptorDone
  // after finalize, EncryptionError on a primitive failure or kTooLongToEncrypt.
  std::size_t update_into(ByteView data, std::span<std::uint8_t> out);
  std::size_t finalize_into(std::span<std::uint8_t> out);
  Bytes update(ByteView data);
  Bytes finalize();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Push-style decryption: update() returns the plaintext of every chunk that
// authenticated (a full chunk is released once a byte after it arrived: only
// the end tells a full final chunk, which is a truncation, from a full one);
// finalize() checks and opens the final chunk. After a failure every call
// throws the first failure again.
class Decryptor {
 public:
  explicit Decryptor(std::string_view key, ByteView context = {});
  Decryptor(Decryptor&&) noexcept;
  Decryptor& operator=(Decryptor&&) noexcept;
  ~Decryptor();

  std::size_t update_size(std::size_t n) const noexcept;
  std::size_t finalize_size() const noexcept;
  std::size_t update_into(ByteView data, std::span<std::uint8_t> out);
  std::size_t finalize_into(std::span<std::uint8_t> out);
  SecureBytes update(ByteView data);
  SecureBytes finalize();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// A file that replaces `target` only when committed: bytes go to a new
// temporary file ".<name>.<random>.tmp" (mode 0600) beside it, which commit()
// syncs and renames over the target, and which is removed otherwise. For
// callers that run their own loop into a path. Throws IoError, and StateError
// for a write or commit after commit or discard.
class PendingFile {
 public:
  explicit PendingFile(const std::filesystem::path& target);
  PendingFile(PendingFile&&) noexcept;
  PendingFile& operator=(PendingFile&&) noexcept;
  ~PendingFile();
  void write(ByteView data);
  void commit();
  // Removes the temporary file now (a no-op once committed or discarded).
  void discard() noexcept;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Files by path, read and written in batches of chunks (memory flat in the
// file size). The result goes to a temporary file beside `dst` that is renamed
// over `dst` only on success and removed on failure, so a failed decryption
// leaves no plaintext behind. Throws IoError for an I/O failure,
// InvalidInputError and EncryptionError as encrypt_bytes does (the key is
// checked before any file is opened).
void encrypt_file(const std::filesystem::path& src, const std::filesystem::path& dst, std::string_view key,
                  ByteView context = {});
// As encrypt_file; throws IoError, DecryptionError at the checks above.
void decrypt_file(const std::filesystem::path& src, const std::filesystem::path& dst, std::string_view key,
                  ByteView context = {});

// Random access: the plaintext bytes [offset, offset + length), cut at the end
// of the message. A negative offset counts from the end (clipped to the
// start). Only the chunks the range covers are decrypted; the final chunk is
// always authenticated when the result depends on the message length (a
// negative offset, or a range that reaches the final chunk). InvalidInputError
// kNegativeLength for length < 0 comes first, then DecryptionError at the
// checks above (a full chunk outside the range is never read).
// The first check of read_range on its own, for callers that read the source
// themselves through RangeReader.
void check_range(std::int64_t length);
SecureBytes read_range(ByteView blob, std::string_view key, std::int64_t offset, std::int64_t length,
                       ByteView context = {});
SecureBytes read_range_file(const std::filesystem::path& src, std::string_view key, std::int64_t offset,
                            std::int64_t length, ByteView context = {});

// Random access over a source the caller reads: built from the header and the
// ciphertext's total size (checks 1 and 2), it names the ciphertext bytes a
// range needs (span) and opens them (open).
class RangeReader {
 public:
  RangeReader(ByteView header, std::uint64_t total_size, std::string_view key, ByteView context = {});
  RangeReader(RangeReader&&) noexcept;
  RangeReader& operator=(RangeReader&&) noexcept;
  ~RangeReader();

  struct Span {
    std::uint64_t start = 0;  // ciphertext offset
    std::uint64_t size = 0;   // ciphertext bytes to read
  };
  // The ciphertext bytes to read for the range (InvalidInputError for a
  // negative length; kTruncated when the range needs an ill-formed end).
  Span span(std::int64_t offset, std::int64_t length) const;
  // The plaintext of the range from exactly those bytes.
  SecureBytes open(std::int64_t offset, std::int64_t length, ByteView ciphertext) const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace morvex::stream
#pragma GCC visibility pop
