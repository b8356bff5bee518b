// Sealed blobs beyond the refusals of fixed inputs (tests/data/cases/refusals.json).
#include "morvex/aes.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;

const char* const kNotGcm =
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data).";

TEST(AesCore, FreshNoncesAndEveryChangedBitRefused) {
  // Layout and round trips: the interoperability test; stored blobs: the
  // frozen vectors.
  const Bytes data(70000, 0x5a);
  const Bytes a = aes::encrypt_bytes(data, "key"), b = aes::encrypt_bytes(data, "key");
  EXPECT_NE(Bytes(a.begin(), a.begin() + 12), Bytes(b.begin(), b.begin() + 12));
  EXPECT_EQ(aes::decrypt_bytes(a, "key"), data);
  const Bytes blob = aes::encrypt_bytes(bytes_of("secret"), "k");
  for (std::size_t i = 0; i < blob.size() * 8; ++i) {
    Bytes t = blob;
    t[i / 8] ^= static_cast<std::uint8_t>(1u << (i % 8));
    EXPECT_MORVEX_ERROR(aes::decrypt_bytes(t, "k"), DecryptionError, kNotGcm);
  }
  EXPECT_MORVEX_ERROR(aes::decrypt_bytes(blob, "other"), DecryptionError, kNotGcm);
}

TEST(AesCore, IntoFormsRefuseShortOutputBuffers) {
  const Bytes data = bytes_of("hello");
  Bytes sealed(aes::sealed_size(data.size()));
  Bytes small(sealed.size() - 1);
  EXPECT_THROW(aes::encrypt_bytes_into(data, "k", small), InvalidArgumentError);
  aes::encrypt_bytes_into(data, "k", sealed);
  Bytes out(data.size()), short_out(data.size() - 1);
  EXPECT_THROW(aes::decrypt_bytes_into(sealed, "k", short_out), InvalidArgumentError);
  EXPECT_EQ(aes::decrypt_bytes_into(sealed, "k", out), data.size());
  EXPECT_EQ(out, data);
  // A blob too short to carry ciphertext never touches the output.
  EXPECT_MORVEX_ERROR(aes::decrypt_bytes_into(Bytes(28), "k", std::span<std::uint8_t>()), DecryptionError,
                      kNotGcm);
}

TEST(AesCore, ShortDecryptedTextLivesWhereItsOwnerWipesIt) {
  // A short string would sit in the object's own buffer, which the wiping
  // allocator never sees.
  const SecureString s = aes::decrypt_str(aes::encrypt_str("hi", "k"), "k");
  const char* object = reinterpret_cast<const char*>(&s);
  EXPECT_TRUE(s.data() < object || s.data() >= object + sizeof s);
}
