// The field's shared vectors for the classical primitives, each run through
// the operations that use the primitive: AES-GCM (the sealed blob and the
// building blocks), AES-CBC with PKCS#7, HMAC-SHA256, HKDF-SHA256,
// PBKDF2-HMAC-SHA512 (the derivation loop), RSA-OAEP-4096 and RSA-PSS-4096
// (key loading from the vectors' PEM texts).
#include "conformance.hpp"
#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/password.hpp"
#include "morvex/quantum/formats.hpp"
#include "morvex/rsa.hpp"
#include "password/pbkdf2.hpp"
#include "quantum/internal.hpp"

using namespace morvex;
using namespace morvex::test::conformance;

namespace {

std::string text(const json& v) {
  const Bytes b = hex(v);
  return std::string(b.begin(), b.end());
}

// Groups of a key size the library never keys AES with.
std::string aes256_only(const Vector& v) {
  return v.group.at("keySize") == 256 ? "" : "AES-128 and AES-192 keys: every AES key of the library is 32 bytes";
}

}  // namespace

TEST(Conformance, AesGcm) {
  run_file(
      wycheproof("Cipher/wycheproof/aes_gcm_test.json"),
      [](const Vector& v) -> std::string {
        if (std::string why = aes256_only(v); !why.empty()) return why;
        if (v.group.at("ivSize") != 96) return "nonces other than 96 bits: every format carries a 12-byte nonce";
        if (!hex(v.test.at("aad")).empty()) return "associated data: the library authenticates none";
        return "";
      },
      [](const Vector& v) {
        const Bytes key = hex(v.test.at("key")), iv = hex(v.test.at("iv")), msg = hex(v.test.at("msg"));
        const Bytes ct = hex(v.test.at("ct")), tag = hex(v.test.at("tag"));
        // The sealed blob, nonce || ciphertext || tag, under the Base64 text of
        // the key; it carries at least one byte of ciphertext.
        Bytes blob = iv;
        blob.insert(blob.end(), ct.begin(), ct.end());
        blob.insert(blob.end(), tag.begin(), tag.end());
        const std::string key_text = encoding::base64_encode(key);
        SecureBytes opened;
        if (!completes<DecryptionError>([&] { opened = quantum::_gcm_open(key, iv, ct, tag); })) {
          EXPECT_THROW(aes::decrypt_bytes(blob, key_text), DecryptionError);
          return false;
        }
        EXPECT_TRUE(same(opened, msg));
        const quantum::Sealed sealed = quantum::_gcm_seal(key, iv, msg);
        EXPECT_TRUE(same(sealed.ciphertext, ct) && same(sealed.tag, tag));
        if (!msg.empty()) {
          EXPECT_TRUE(same(aes::decrypt_bytes(blob, key_text), msg));
        }
        return true;
      });
}

TEST(Conformance, AesCbcPkcs7) {
  run_file(committed("aes_cbc_pkcs5_test.json"), aes256_only, [](const Vector& v) {
    const Bytes key = hex(v.test.at("key")), iv = hex(v.test.at("iv")), ct = hex(v.test.at("ct"));
    SecureBytes plain;
    bool ok = true;
    try {
      plain = quantum::_cbc_decrypt(ct, key, iv);
    } catch (const DecryptionError&) {  // bad padding
      ok = false;
    } catch (const std::invalid_argument&) {  // not whole blocks: the cipher's own error
      ok = false;
    }
    if (ok) {
      const Bytes msg = hex(v.test.at("msg"));
      EXPECT_TRUE(same(plain, msg));
      EXPECT_TRUE(same(quantum::_cbc_encrypt(msg, key, iv), ct));
    }
    return ok;
  });
}

TEST(Conformance, HmacSha256) {
  run_file(
      committed("hmac_sha256_test.json"),
      [](const Vector& v) -> std::string {
        return v.group.at("tagSize") == 256 ? "" : "truncated tags: every format compares all 32 bytes";
      },
      [](const Vector& v) {
        const Bytes tag = hex(v.test.at("tag"));
        const auto mac = quantum::_hmac256(hex(v.test.at("key")), hex(v.test.at("msg")));
        return tag.size() == mac.size() && quantum::detail::equal_ct(mac.data(), tag.data(), mac.size());
      });
}

TEST(Conformance, HkdfSha256) {
  run_file(
      wycheproof("Protocol/wycheproof/hkdf_sha256_test.json"), run_all,
      [](const Vector& v) {
        SecureBytes okm;
        const bool ok = completes<PrimitiveError>([&] {
          okm = quantum::_hkdf(hex(v.test.at("ikm")), hex(v.test.at("salt")), hex(v.test.at("info")),
                               v.test.at("size").get<std::size_t>());
        });
        if (ok) {
          EXPECT_TRUE(same(okm, hex(v.test.at("okm"))));
        }
        return ok;
      });
}

// The record's derivation, and the block-function loop behind it, which
// must be the path taken for SHA-512.
TEST(Conformance, Pbkdf2HmacSha512) {
  run_file(
      committed("pbkdf2_hmacsha512_test.json"), run_all,
      [](const Vector& v) {
        const std::string password = text(v.test.at("password"));
        const Bytes salt = hex(v.test.at("salt")), dk = hex(v.test.at("dk"));
        const std::int64_t iterations = v.test.at("iterationCount"), length = v.test.at("dkLen");
        Bytes looped(dk.size());
        EXPECT_TRUE(detail::pbkdf2_hmac_blocks("SHA2-512", password, salt, std::uint64_t(iterations), looped));
        EXPECT_EQ(looped, dk);
        return same(password::_derive(password, salt, iterations, length, "SHA512"), dk);
      });
}

TEST(Conformance, RsaOaep4096) {
  run_file(
      wycheproof("Cipher/wycheproof/rsa_oaep_4096_sha256_mgf1sha256_test.json"),
      [](const Vector& v) -> std::string {
        return hex(v.test.at("label")).empty() ? "" : "non-empty OAEP label: the library's label is empty";
      },
      [](const Vector& v) {
        const std::string pem = v.group.at("privateKeyPem");
        SecureBytes plain;
        if (!completes<DecryptionError>([&] { plain = rsa::_decrypt_oaep(hex(v.test.at("ct")), pem); }))
          return false;
        EXPECT_TRUE(same(plain, hex(v.test.at("msg"))));
        return true;
      });
}

TEST(Conformance, RsaPss4096) {
  run_file(
      wycheproof("Signature/wycheproof/rsa_pss_4096_sha256_mgf1_32_test.json"),
      run_all,
      [](const Vector& v) {
        return rsa::verify_bytes(hex(v.test.at("msg")), hex(v.test.at("sig")), v.group.at("publicKeyPem").get<std::string>());
      });
}
