// Known answers: every KEM mechanism and ML-DSA, under each library that
// carries it, reproduce the published "single" hashes of the reference
// library from the NIST test DRBG, which proves that keys, capsules, shared
// secrets and signatures are byte for byte what stored keys and messages were
// made with. The libraries also open each other's capsules and signatures,
// and the stored messages and signatures.
#ifdef MORVEX_WITH_PQ

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <string>

#include "morvex/encoding.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/backend/mceliece.hpp"
#include "quantum/oqs_mechanisms.hpp"
#include "test_util.hpp"

using namespace morvex;
namespace oqs = morvex::quantum::oqs;
namespace pq = morvex::quantum::oqs::internal;

namespace {

// NIST PQC AES-256 CTR_DRBG (the test harness's randombytes), seeded like
// the harness's master generator with 0, 1, ..., 47.
class NistDrbg final : public pq::Entropy {
 public:
  NistDrbg() {
    std::array<std::uint8_t, 48> e;
    for (std::size_t i = 0; i < 48; ++i) e[i] = static_cast<std::uint8_t>(i);
    seed(e.data());
  }

  void seed(const std::uint8_t* entropy48) {
    key_.fill(0);
    v_.fill(0);
    update(entropy48);
  }

  void draw(std::span<std::uint8_t> out) override {
    for (std::size_t done = 0; done < out.size(); done += 16) {
      std::array<std::uint8_t, 16> block;
      next_block(block.data());
      std::copy_n(block.begin(), std::min<std::size_t>(16, out.size() - done), out.begin() + std::ptrdiff_t(done));
    }
    update(nullptr);
  }

 private:
  // Increments V and encrypts it under the key.
  void next_block(std::uint8_t* out) {
    for (int i = 15; i >= 0; --i)
      if (++v_[std::size_t(i)] != 0) break;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key_.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out, &len, v_.data(), 16);
    EVP_CIPHER_CTX_free(ctx);
  }

  void update(const std::uint8_t* data48) {
    std::array<std::uint8_t, 48> temp;
    for (int i = 0; i < 3; ++i) next_block(temp.data() + 16 * i);
    if (data48 != nullptr)
      for (std::size_t i = 0; i < 48; ++i) temp[i] ^= data48[i];
    std::copy_n(temp.begin(), 32, key_.begin());
    std::copy_n(temp.begin() + 32, 16, v_.begin());
  }

  std::array<std::uint8_t, 32> key_{};
  std::array<std::uint8_t, 16> v_{};
};

template <class V>
std::string hex(const V& bytes, const char* digits = "0123456789ABCDEF") {
  std::string s;
  for (std::uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

template <class V>
std::string line(const char* label, const V& bytes) {
  return std::string(label) + " = " + hex(bytes) + "\n";
}

// The SHA-256 of the first entry ("count = 0") of the harness's response file.
std::string single(const pq::Mechanism& m) {
  NistDrbg drbg;
  Bytes seed(48), msg(33);
  drbg.draw(seed);
  std::string text = "count = 0\n" + line("seed", seed);
  const pq::Backend& b = pq::backend();
  if (m.is_kem()) {
    drbg.seed(seed.data());
    const oqs::KeyPair kp = b.kem_keypair(m, &drbg);
    const oqs::Encapsulation enc = b.kem_encapsulate(m, kp.public_key, &drbg);
    // The adapter's own decapsulation agrees; an altered capsule gives another
    // secret (implicit rejection), not an error.
    EXPECT_EQ(oqs::decapsulate(m.name, kp.secret_key, enc.ciphertext), enc.shared_secret);
    Bytes altered = enc.ciphertext;
    altered[0] ^= 0x80;
    EXPECT_NE(oqs::decapsulate(m.name, kp.secret_key, altered), enc.shared_secret);
    text += line("pk", kp.public_key) + line("sk", kp.secret_key) + line("ct", enc.ciphertext) +
            line("ss", enc.shared_secret);
  } else {
    drbg.draw(msg);
    drbg.seed(seed.data());
    const oqs::KeyPair kp = b.sig_keypair(m, &drbg);
    Bytes sm = b.sig_sign(m, kp.secret_key, msg, &drbg);
    EXPECT_TRUE(oqs::sig_verify(m.name, kp.public_key, msg, sm));
    sm.insert(sm.end(), msg.begin(), msg.end());
    text += "mlen = 33\n" + line("msg", msg) + line("pk", kp.public_key) + line("sk", kp.secret_key) +
            "smlen = " + std::to_string(sm.size()) + "\n" + line("sm", sm);
  }
  std::array<unsigned char, 32> md;
  EVP_Digest(text.data(), text.size(), md.data(), nullptr, EVP_sha256(), nullptr);
  return hex(md, "0123456789abcdef");
}

}  // namespace

TEST(QuantumKat, EveryKemAndMlDsaUnderEveryProvider) {
  // Each mechanism runs on each library this build carries for it (liboqs,
  // and OpenSSL or Botan), Classic McEliece on each implementation this
  // processor has (AVX2, portable) as well as on the library's run-time
  // choice. SLH-DSA has no entry in the published files: its signatures are
  // the frozen vectors'.
  const nlohmann::json kats = morvex::test::load_cases("../kats/liboqs-0.16-kem-kats.json");
  const nlohmann::json sig_kats = morvex::test::load_cases("../kats/liboqs-0.16-sig-kats.json");
  int checked = 0, runs = 0;
  for (const pq::Mechanism& m : pq::mechanisms()) {
    if (m.family == pq::Family::SlhDsa) continue;
    const std::string want = (m.is_kem() ? kats : sig_kats).at(std::string(m.name)).at("single");
#ifdef MORVEX_WITH_LIBOQS
    EXPECT_EQ(pq::providers(m).front() == pq::Provider::Liboqs, !(m.family == pq::Family::ClassicMcEliece)) << m.name;
#endif
    for (const pq::Provider p : pq::providers(m)) {
      const pq::ProviderScope only({p});
      const bool mceliece = p == pq::Provider::LibMcEliece;
      for (long long i = -1; i < (mceliece ? pq::mceliece_pq::implementations(m) : 0); ++i) {
        SCOPED_TRACE(std::string(m.name) + " by " + std::string(pq::provider_name(p)) +
                     (i < 0 ? "" : " on " + pq::mceliece_pq::implementation_name(m, i)));
        const pq::mceliece_pq::ForcedImplementation forced(i);
        EXPECT_EQ(single(m), want);
      }
      ++runs;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 12);
#ifdef MORVEX_WITH_LIBOQS
  EXPECT_EQ(runs, 12 + 9);  // FrodoKEM, ML-KEM and ML-DSA twice
#else
  EXPECT_EQ(runs, 12);
#endif
}

TEST(QuantumProviders, EachOpensWhatAnotherMakes) {
  const Bytes msg(100, 0x5a);
  for (const pq::Mechanism& m : pq::mechanisms()) {
    const std::span<const pq::Provider> list = pq::providers(m);
    for (const pq::Provider maker : list) {
      for (const pq::Provider user : list) {
        if (maker == user) continue;
        SCOPED_TRACE(std::string(m.name) + " from " + std::string(pq::provider_name(maker)) + " to " +
                     std::string(pq::provider_name(user)));
        const pq::ProviderScope making({maker});  // the inner scope below takes over from it
        if (m.is_kem()) {
          const oqs::KeyPair kp = oqs::generate_keypair(m.name);
          const oqs::Encapsulation enc = oqs::encapsulate(m.name, kp.public_key);
          const pq::ProviderScope using_other({user});
          EXPECT_EQ(oqs::decapsulate(m.name, kp.secret_key, enc.ciphertext), enc.shared_secret);
        } else {
          const oqs::KeyPair kp = oqs::sig_generate_keypair(m.name);
          Bytes sig = oqs::sig_sign(m.name, kp.secret_key, msg);
          const pq::ProviderScope using_other({user});
          EXPECT_TRUE(oqs::sig_verify(m.name, kp.public_key, msg, sig));
          sig[sig.size() / 2] ^= 1;
          EXPECT_FALSE(oqs::sig_verify(m.name, kp.public_key, msg, sig));
          // Each refuses a secret key whose t0 its own public part does not give.
          SecureBytes corrupt = kp.secret_key;
          corrupt.back() ^= 1;
          EXPECT_THROW(oqs::sig_sign(m.name, corrupt, msg), QuantumOperationError);
        }
      }
    }
  }
}

// A random source that fails fails the call on every library, never handing
// out what a library made from the zeros it was left with (liboqs cannot be
// unwound through, so its hook notes the failure for the call to throw).
TEST(QuantumProviders, AFailingRandomSourceFailsTheCall) {
  struct Failing final : pq::Entropy {
    void draw(std::span<std::uint8_t>) override { throw PrimitiveError("no randomness"); }
  } failing;
  const pq::Backend& b = pq::backend();
  const Bytes msg(10, 1);
  for (const pq::Mechanism& m : pq::mechanisms()) {
    if (m.family == pq::Family::SlhDsa || m.family == pq::Family::ClassicMcEliece) continue;
    for (const pq::Provider p : pq::providers(m)) {
      SCOPED_TRACE(std::string(m.name) + " by " + std::string(pq::provider_name(p)));
      const pq::ProviderScope only({p});
      if (m.is_kem()) {
        EXPECT_THROW(b.kem_keypair(m, &failing), PrimitiveError);
        EXPECT_THROW(b.kem_encapsulate(m, oqs::generate_keypair(m.name).public_key, &failing), PrimitiveError);
      } else {
        EXPECT_THROW(b.sig_keypair(m, &failing), PrimitiveError);
        EXPECT_THROW(b.sig_sign(m, oqs::sig_generate_keypair(m.name).secret_key, msg, &failing), PrimitiveError);
      }
    }
  }
}

// Stored messages and signatures open on the libraries of a build without
// liboqs too (the Python vectors test opens them on the preferred ones).
TEST(QuantumProviders, FrozenVectorsOpenWithoutLiboqs) {
  std::ifstream in(morvex::test::data_file("vectors", "quantum.json"));
  const nlohmann::json vectors = nlohmann::json::parse(in);
  auto raw = [](const nlohmann::json& v, const char* field) {
    return encoding::base64_decode(v.at(field).get<std::string>());
  };
  const pq::ProviderScope without_liboqs({pq::Provider::OpenSsl, pq::Provider::Botan, pq::Provider::LibMcEliece});
  for (const nlohmann::json& v : vectors.at("generation"))
    EXPECT_TRUE(quantum::decrypt(raw(v, "message"), raw(v, "private_key"), raw(v, "secret")) ==
                v.at("plaintext").get<std::string>())
        << v.at("generation") << "/" << v.at("strength");
  for (const nlohmann::json& v : vectors.at("signature"))
    EXPECT_TRUE(quantum::verify(raw(v, "data"), raw(v, "signature"), raw(v, "public_key")))
        << v.at("algorithm") << "/" << v.at("strength");
}

#endif  // MORVEX_WITH_PQ
