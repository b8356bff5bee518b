// The stream core beyond what the Python suite drives through the binding
// (vectors, interoperability, files): raw input keys and where the
// incremental decryptor draws the line between held-back and released.
#include "morvex/stream.hpp"
#include "stream/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
namespace st = morvex::stream;

TEST(StreamCore, RawInputKeysAreExactly32Bytes) {
  // The key texts of the public forms always normalise to 32 bytes; the
  // Wycheproof InvalidKeySize cases (31 and 33 bytes) meet this check.
  for (std::size_t n : {0u, 16u, 31u, 33u, 64u})
    EXPECT_MORVEX_ERROR(st::internal::Session(Bytes(n, 1), Bytes(24, 2), {}), InvalidInputError,
                        "Stream input key must be 32 bytes");
  EXPECT_NO_THROW(st::internal::Session(Bytes(32, 1), Bytes(24, 2), {}));
}

TEST(StreamCore, EncryptionRefusesTheEmptyKeyTextBeforeAnyFile) {
  EXPECT_MORVEX_ERROR(st::encrypt_bytes(Bytes(1, 1), ""), InvalidInputError, st::kEmptyKey);
  EXPECT_MORVEX_ERROR(st::encrypt_file("/nonexistent/in", "/nonexistent/out", ""), InvalidInputError, st::kEmptyKey);
}

TEST(StreamCore, DecryptorReleasesAFullChunkOnlyOnceMoreFollows) {
  const Bytes msg(2 * st::CHUNK_SIZE + 5, 0x42);
  const Bytes ct = st::encrypt_bytes(msg, "k");
  ASSERT_EQ(ct.size(), st::encrypted_size(msg.size()));
  st::Decryptor d("k");
  EXPECT_TRUE(d.update({}).empty());  // empty spans carry no storage at all
  const std::size_t first_end = st::HEADER_SIZE + st::SEALED_CHUNK_SIZE;
  EXPECT_TRUE(d.update(ByteView(ct).first(first_end)).empty());  // could be a cut stream's last piece
  EXPECT_EQ(d.update(ByteView(ct).subspan(first_end, 1)).size(), st::CHUNK_SIZE);
  SecureBytes rest;
  for (std::size_t i = first_end + 1; i < ct.size(); ++i) {  // byte by byte
    const SecureBytes part = d.update(ByteView(ct).subspan(i, 1));
    rest.insert(rest.end(), part.begin(), part.end());
  }
  EXPECT_EQ(rest.size(), st::CHUNK_SIZE);
  EXPECT_EQ(d.finalize().size(), 5u);
  // Cut at a chunk boundary: the held-back full chunk is the truncation.
  st::Decryptor cut("k");
  EXPECT_TRUE(cut.update(ByteView(ct).first(first_end)).empty());
  EXPECT_MORVEX_ERROR(cut.finalize(), DecryptionError, st::kTruncated);
  EXPECT_MORVEX_ERROR(cut.update(ct), DecryptionError, st::kTruncated);
}

TEST(StreamCore, IntoFormsRefuseShortOutputBuffers) {
  const Bytes msg(100, 1);
  Bytes out(st::encrypted_size(msg.size()) - 1);
  EXPECT_THROW(st::encrypt_bytes_into(msg, "k", out), InvalidArgumentError);
  const Bytes ct = st::encrypt_bytes(msg, "k");
  Bytes back(99);
  EXPECT_THROW(st::decrypt_bytes_into(ct, "k", back), InvalidArgumentError);
  EXPECT_EQ(st::decrypted_size_hint(ct.size()), msg.size());
  EXPECT_TRUE(st::decrypt_bytes(st::encrypt_bytes({}, "k"), "k").empty());
}
