// The pieces every form of the stream area shares: key derivation with the
// commitment check, and one reusable AES-256-GCM context per message.
#pragma once

#include <cstdint>

#include "common/ossl.hpp"
#include "morvex/aes.hpp"
#include "morvex/bytes.hpp"
#include "morvex/stream.hpp"

namespace morvex::stream::internal {

inline constexpr std::size_t kKeySize = 32;

// The per-message key schedule. Built from a raw 32-byte input key (anything
// else: InvalidInputError "Stream input key must be 32 bytes") and a salt.
class Session {
 public:
  Session(ByteView input_key, ByteView salt, ByteView context);
  // The 32 derived commitment bytes, to prepend when encrypting.
  const SecretArray<COMMITMENT_SIZE>& commitment() const noexcept { return commitment_; }
  // Whether `stored` equals the derived commitment (constant time).
  bool commitment_matches(ByteView stored) const noexcept;
  // Chunk `index`: `in` into `out` (ciphertext then the 16-byte tag). `out`
  // may alias `in`. Throws EncryptionError kEncryptFailed + the primitive's text.
  void seal(std::uint64_t index, ByteView in, std::uint8_t* out);
  // `sealed` (ciphertext || tag, at least 16 bytes) into `out`; false when the
  // tag does not verify at this index (`out` is then wiped).
  bool open(std::uint64_t index, ByteView sealed, std::uint8_t* out);

 private:
  void set_nonce(std::uint64_t index, bool encrypt);
  SecretArray<kKeySize> key_;
  SecretArray<aes::GCM_NONCE_SIZE> base_nonce_;
  SecretArray<COMMITMENT_SIZE> commitment_;
  detail::CipherCtx ctx_;
  int mode_ = -1;  // 1 encrypt, 0 decrypt, -1 not keyed yet
};

// The shape of a ciphertext of `total` bytes: how many full chunks precede the
// last piece and how long that piece is (1..SEALED_CHUNK_SIZE; 0 for a
// ciphertext without body).
struct Shape {
  std::uint64_t full_chunks = 0;
  std::uint64_t last_piece = 0;
  bool well_formed() const noexcept { return last_piece >= TAG_SIZE && last_piece < SEALED_CHUNK_SIZE; }
  std::uint64_t message_size() const noexcept { return full_chunks * CHUNK_SIZE + last_piece - TAG_SIZE; }
};
Shape shape_of(std::uint64_t total) noexcept;

}  // namespace morvex::stream::internal
