// FrodoKEM-*-AES through Botan, in the raw encodings of the reference
// implementation.
#include <botan/frodokem.h>
#include <botan/pubkey.h>
#include <botan/rng.h>

#include <algorithm>
#include <string>

#include "common/ossl.hpp"
#include "quantum/backend/families.hpp"

namespace morvex::quantum::oqs::internal::botan_pq {
namespace {

// Botan's randomness: the system source (through OpenSSL's DRBG, like every
// other random byte of the library), or deterministic draws for known-answer
// tests. In the deterministic case the first `batch` bytes are drawn in one
// piece and handed out in order, as the reference code draws them; every
// request beyond them is one draw of its own.
class Rng final : public Botan::RandomNumberGenerator {
 public:
  Rng() = default;
  Rng(Entropy* entropy, std::size_t batch) : entropy_(entropy) {
    if (entropy_ != nullptr && batch != 0) {
      pending_.resize(batch);
      entropy_->draw(pending_);
    }
  }
  bool accepts_input() const override { return false; }
  std::string name() const override { return "morvex"; }
  void clear() override {}
  bool is_seeded() const override { return true; }

 private:
  void fill_bytes_with_input(std::span<std::uint8_t> out, std::span<const std::uint8_t>) override {
    if (out.empty()) return;
    if (entropy_ == nullptr) {
      detail::random_bytes(out.data(), out.size());
      return;
    }
    const std::size_t from_batch = std::min(out.size(), pending_.size() - used_);
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(used_), from_batch, out.begin());
    used_ += from_batch;
    if (from_batch < out.size()) entropy_->draw(out.subspan(from_batch));
  }

  Entropy* entropy_ = nullptr;
  SecureBytes pending_;
  std::size_t used_ = 0;
};

Botan::FrodoKEMMode frodo_mode(const Mechanism& m) { return Botan::FrodoKEMMode(m.impl); }

void expect_length(std::size_t got, std::size_t want, const char* what) {
  if (got != want) throw PrimitiveError(std::string(what) + " has an unexpected length");
}

}  // namespace

void check_available(const Mechanism& m) {
  bool ok = false;
  try {
    ok = frodo_mode(m).is_available() && frodo_mode(m).is_aes();
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) throw PrimitiveError("Botan does not offer " + std::string(m.name));
}

KeyPair kem_keypair(const Mechanism& m, Entropy* entropy) {
  Rng rng(entropy, m.keygen_draw);
  const Botan::FrodoKEM_PrivateKey key(rng, frodo_mode(m));
  KeyPair kp;
  kp.public_key = key.raw_public_key_bits();
  const Botan::secure_vector<std::uint8_t> sk = key.raw_private_key_bits();
  kp.secret_key.assign(sk.begin(), sk.end());
  expect_length(kp.public_key.size(), m.public_key, "public key");
  expect_length(kp.secret_key.size(), m.secret_key, "secret key");
  return kp;
}

Encapsulation kem_encapsulate(const Mechanism& m, ByteView raw_public, Entropy* entropy) {
  const Botan::FrodoKEM_PublicKey key(raw_public, frodo_mode(m));
  Botan::PK_KEM_Encryptor enc(key, "Raw");
  expect_length(enc.encapsulated_key_length(), m.output, "ciphertext");
  expect_length(enc.shared_key_length(m.shared_secret), m.shared_secret,
                "shared secret");
  Rng rng(entropy, m.encaps_draw);
  Encapsulation out;
  out.ciphertext.resize(m.output);
  out.shared_secret.resize(m.shared_secret);
  enc.encrypt(std::span<std::uint8_t>(out.ciphertext), std::span<std::uint8_t>(out.shared_secret), rng,
              m.shared_secret);
  return out;
}

SecureBytes kem_decapsulate(const Mechanism& m, ByteView raw_secret, ByteView ciphertext) {
  const Botan::FrodoKEM_PrivateKey key(raw_secret, frodo_mode(m));
  Rng rng;
  Botan::PK_KEM_Decryptor dec(key, rng, "Raw");
  expect_length(dec.encapsulated_key_length(), m.output, "ciphertext");
  expect_length(dec.shared_key_length(m.shared_secret), m.shared_secret,
                "shared secret");
  SecureBytes ss(m.shared_secret);
  dec.decrypt(std::span<std::uint8_t>(ss), ciphertext, m.shared_secret);
  return ss;
}

}  // namespace morvex::quantum::oqs::internal::botan_pq
