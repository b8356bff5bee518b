// Our own code on secret data, for valgrind memcheck (make test-ct): every
// secret input is marked undefined, so a branch or a memory index that
// depends on one is reported, with the line that made it. Values the format
// makes public are declared so where the library computes them
// (common/ct.hpp). The program checks nothing else: correctness is the
// test suites' part.
#include <string>
#include <vector>

#include "common/ct.hpp"
#include "morvex/aes.hpp"
#include "morvex/bytes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/errors.hpp"
#include "morvex/keys.hpp"
#include "morvex/password.hpp"
#include "quantum/formats.hpp"
#include "quantum/internal.hpp"

using namespace morvex;

namespace {

template <class Buffer>
Buffer secret(Buffer b) {
  MORVEX_CT_SECRET(b.data(), b.size());
  return b;
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + 37 * i);
  return b;
}

// Results are made public before they leave, so that the caller's use of
// them (here: none but this) is not reported.
template <class Buffer>
void consume(const Buffer& b) {
  MORVEX_CT_PUBLIC(b.data(), b.size());
}

void key_texts() {
  // Base64 of 32 and 64 bytes (taken as they are), of 16 and 17 bytes ("=="
  // and "=" padding, hashed), a passphrase, text that is almost Base64, and
  // a passphrase with non-ASCII characters (the surrogate search).
  const std::vector<std::string> texts = {
      encoding::base64_encode(pattern(32, 1)), encoding::base64_encode(pattern(64, 2)),
      encoding::base64_encode(pattern(16, 3)), encoding::base64_encode(pattern(17, 4)),
      "correct horse battery staple",          "AAAA AAA",
      "p\xC3\xA4sswort \xF0\x9F\x94\x91 \xED\x9F\xBF"};
  for (const std::string& t : texts) consume(keys::convert_key(secret(t)));
  for (const std::string& t : texts) {
    if (auto d = encoding::try_base64_decode_secure(secret(t))) consume(*d);
  }
}

// A sealed blob made and opened under a secret key text.
void sealed_blob() {
  const std::string key = secret(encoding::base64_encode(pattern(32, 9)));
  Bytes blob = aes::encrypt_bytes(pattern(20, 1), key);
  MORVEX_CT_PUBLIC(blob.data(), blob.size());  // a blob is public, whatever key made it
  consume(aes::decrypt_bytes(blob, key));
  blob[20] ^= 1;
  try {
    consume(aes::decrypt_bytes(blob, key));
  } catch (const DecryptionError&) {
  }
}

void password_compare() {
  const std::string record = password::hash_password("pw", 1);
  (void)password::verify_password(secret(std::string("pw")), record);
  (void)password::verify_password(secret(std::string("px")), record);
}

// Gen2 and Gen5 after decapsulation: the MAC check under a secret key, then
// AES-CBC and the PKCS#7 unpadding under a secret key.
void mac_and_unpadding() {
  const SecureBytes key = secret(SecureBytes(32, 9));
  const Bytes iv(16, 1);
  for (std::size_t n : {0, 5, 16, 31}) {
    const Bytes ct = quantum::_cbc_encrypt(pattern(n, 5), key, iv);
    Bytes enc(iv);
    enc.insert(enc.end(), ct.begin(), ct.end());
    const auto mac = quantum::_hmac256(key, enc);
    enc.insert(enc.end(), mac.begin(), mac.end());
    quantum::internal::check_mac(key, enc, "refused");
    consume(quantum::_cbc_decrypt(secret(ct), key, iv));
    enc.back() ^= 1;
    try {
      quantum::internal::check_mac(key, enc, "refused");
    } catch (const DecryptionError&) {
    }
  }
  // Padding that is wrong in its last byte or inside the run.
  for (std::uint8_t bad : {0, 17, 3}) {
    Bytes block(16, 4);
    block[15] = bad;
    const Bytes ct = quantum::_cbc_encrypt(block, key, iv);  // the padding block is ignored below
    try {
      consume(quantum::_cbc_decrypt(secret(Bytes(ct.begin(), ct.begin() + 16)), key, iv));
    } catch (const DecryptionError&) {
    }
  }
}

// Gen7's XOR mix (FrodoKEM secrets of 16, 24 and 32 bytes) and Gen8's
// combination of the two shared secrets, each into HKDF and AES-GCM.
void combinations() {
  const SecureBytes session = secret(SecureBytes(32, 7));
  for (std::size_t n : {16, 24, 32}) {
    const SecretArray<32> mixed = quantum::_xor_mix(session, secret(SecureBytes(n, 8)));
    consume(quantum::_hkdf(mixed.span(), Bytes(32, 1), quantum::internal::view("Gen7-Hybrid-RSA-Frodo"), 32));
  }
  SecretArray<64> combined;
  const SecureBytes x25519 = secret(SecureBytes(32, 5)), mlkem = secret(SecureBytes(32, 6));
  std::copy(x25519.begin(), x25519.end(), combined.data());
  std::copy(mlkem.begin(), mlkem.end(), combined.data() + 32);
  Bytes enc(60 + 3);
  quantum::internal::hkdf_gcm_seal_into(combined.span(), 32, quantum::internal::view("Gen8-Hybrid-X25519-MLKEM"),
                                      Bytes(3, 1), enc.data());
  MORVEX_CT_PUBLIC(enc.data(), enc.size());  // a message is public, whatever key made it
  consume(quantum::internal::hkdf_gcm_open(combined.span(), 32, quantum::internal::view("Gen8-Hybrid-X25519-MLKEM"), enc));
}

void wrappers_and_wiping() {
  std::uint8_t out[32];
  quantum::internal::hmac256_parts(secret(SecureBytes(40, 2)), {Bytes(10, 3)}, out);
  MORVEX_CT_PUBLIC(out, sizeof out);
  std::uint8_t okm[64];
  quantum::internal::hkdf_into(secret(SecureBytes(64, 2)), Bytes(16, 1), Bytes(4, 1), okm);
  MORVEX_CT_PUBLIC(okm, sizeof okm);
  SecureBytes wiped = secret(SecureBytes(100, 1));
  secure_wipe(wiped.data(), wiped.size());
}

}  // namespace

int main() {
  key_texts();
  sealed_blob();
  password_compare();
  mac_and_unpadding();
  combinations();
  wrappers_and_wiping();
  return 0;
}
