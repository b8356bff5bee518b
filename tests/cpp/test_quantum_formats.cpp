// Quantum key generation, dispatch and the message formats of every
// generation. Keys are made once per run (Classic McEliece keys take about a
// second and a megabyte each).
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "morvex/quantum.hpp"
#include "morvex/quantum/oqs.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using morvex::test::bytes_of;

namespace {

const char* const kGcmFailed = "Quantum AES-GCM decryption failed (wrong key or tampered data)";
const char* const kLoader =
    "Post-quantum support requires the native liboqs binding. Install it with:  pip install "
    "'morvex[quantum]'";

struct Pair {
  Bytes pub, priv;
};

Bytes header_swapped(const Bytes& key, std::uint8_t gen) {
  Bytes k = key;
  k[0] = gen;
  return k;
}

Bytes le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

Bytes cat(std::initializer_list<ByteView> parts) {
  Bytes out;
  for (ByteView p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Pair make(std::int64_t gen, std::int64_t strength) {
  KeyPair kp = generate_keypair(gen, strength);
  return {std::move(kp.public_key), Bytes(kp.private_key.begin(), kp.private_key.end())};
}

// Key pairs by (generation byte, strength), made on first use. Gen2 and Gen5
// share their Classic McEliece keys, Gen4 and Gen6 their FrodoKEM keys, and
// the Gen7 keys of strengths 0 and 1 reuse the RSA half of the strength-2 key.
const Pair& keys(int gen, int strength) {
  static std::mutex mu;
  static std::map<std::pair<int, int>, Pair> cache;
  std::unique_lock lock(mu);
  auto found = cache.find({gen, strength});
  if (found != cache.end()) return found->second;
  Pair p;
  switch (gen) {
    case 2:
    case 5: {
      auto other = cache.find({gen == 2 ? 5 : 2, strength});
      p = other != cache.end() ? Pair{header_swapped(other->second.pub, gen), header_swapped(other->second.priv, gen)}
                               : make(gen == 2 && strength == 0 ? 1 : gen, strength);  // GEN1 makes Gen2 keys
      break;
    }
    case 4: p = make(4, 0); break;
    case 6: p = make(6, strength); break;
    case 7:
      if (strength == 2) {
        p = make(7, 2);
      } else {
        lock.unlock();
        const Pair& full = keys(7, 2);
        const Pair& frodo = keys(6, strength);
        lock.lock();
        auto rsa_part = [](const Bytes& k) {
          const std::size_t l = k[2] | (k[3] << 8) | (k[4] << 16) | (std::size_t{k[5]} << 24);
          return Bytes(k.begin() + 2, k.begin() + 6 + static_cast<std::ptrdiff_t>(l));
        };
        const Bytes h = {7, static_cast<std::uint8_t>(strength)};
        p.pub = cat({h, rsa_part(full.pub), ByteView(frodo.pub).subspan(2)});
        p.priv = cat({h, rsa_part(full.priv), ByteView(frodo.priv).subspan(2)});
      }
      break;
    case 8: p = make(8, strength); break;
    default: break;
  }
  return cache.emplace(std::make_pair(gen, strength), std::move(p)).first->second;
}

const std::vector<std::pair<int, int>>& all_keys() {
  static const std::vector<std::pair<int, int>> v = {{4, 2}, {6, 0}, {6, 1}, {6, 2}, {2, 0}, {2, 1}, {2, 2},
                                                      {5, 0}, {5, 1}, {5, 2}, {7, 0}, {7, 1}, {7, 2}, {8, 0},
                                                      {8, 1}, {8, 2}};
  return v;
}

// Encrypted-message size for a plaintext of n bytes.
std::size_t message_size(int gen, std::size_t n) {
  const std::size_t m = 16 * (n / 16 + 1);
  switch (gen) {
    case 4: return n + 28;
    case 6: return n + 44;
    case 2: return m + 48;
    case 5: return m + 80;
    default: return n + 60;
  }
}

struct BackendAbsent {
  BackendAbsent() { oqs::testing::set_backend_available(false); }
  ~BackendAbsent() { oqs::testing::set_backend_available(true); }
};

std::string wrong_key_error(int gen) {
  switch (gen) {
    case 2: return "Gen2 HMAC verification failed";
    case 5: return "Gen5 HMAC verification failed";
    case 7: return "Gen7 RSA decryption failed";
    default: return kGcmFailed;
  }
}

// Every key of the given generations: all texts round-trip (Classic
// McEliece decapsulation takes about a tenth of a second: there one text per
// key, and the empty text at strength 0).
void check_round_trips(std::initializer_list<int> gens) {
  const std::string texts[] = {"", "hello", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93 \xf0\x9d\x84\x9e",
                               std::string(1000, 'x')};
  for (auto [gen, strength] : all_keys()) {
    if (std::find(gens.begin(), gens.end(), gen) == gens.end()) continue;
    SCOPED_TRACE(testing::Message() << "gen " << gen << " strength " << strength);
    const Pair& k = keys(gen, strength);
    ASSERT_EQ(k.pub[0], gen);
    ASSERT_EQ(k.pub[1], strength);
    ASSERT_EQ(k.priv[0], gen);
    ASSERT_EQ(k.priv[1], strength);
    const bool cmce = gen == 2 || gen == 5;
    for (const std::string& t : texts) {
      const Encrypted e = encrypt(t, k.pub);
      EXPECT_EQ(e.message.size(), message_size(gen, t.size()));
      if (!cmce || t == texts[2] || (t.empty() && strength == 0)) {
        EXPECT_EQ(decrypt(e.message, k.priv, e.secret), t);
      }
    }
    // Fresh randomness every time.
    const Encrypted a = encrypt("same", k.pub), b = encrypt("same", k.pub);
    EXPECT_NE(a.secret, b.secret);
    EXPECT_NE(a.message, b.message);
  }
}

// Decrypting with the private key of another pair of the same generation
// fails in the generation's authentication step.
void check_wrong_key(int gen, int strength, const Pair& alt) {
  SCOPED_TRACE(gen);
  const Encrypted e = encrypt("secret", keys(gen, strength).pub);
  EXPECT_MORVEX_ERROR(decrypt(e.message, alt.priv, e.secret), DecryptionError, wrong_key_error(gen));
}

// One flipped bit in the message (first byte: salt, IV or nonce; middle;
// last) or in the KEM ciphertext is refused by the authentication step.
void check_tampering(int gen, int strength) {
  SCOPED_TRACE(gen);
  const Pair& k = keys(gen, strength);
  const Encrypted e = encrypt("tamper with me", k.pub);
  const std::string want = gen == 2 ? "Gen2 HMAC verification failed"
                           : gen == 5 ? "Gen5 HMAC verification failed"
                                      : kGcmFailed;
  const bool cmce = gen == 2 || gen == 5;
  for (std::size_t pos : {std::size_t{0}, e.message.size() / 2, e.message.size() - 1}) {
    if (cmce && pos != 0) continue;
    SCOPED_TRACE(pos);
    Bytes m = e.message;
    m[pos] ^= 0x01;
    EXPECT_MORVEX_ERROR(decrypt(m, k.priv, e.secret), DecryptionError, want);
  }
  // The KEM ciphertext (for Gen8 it precedes the ephemeral key).
  Bytes s = e.secret;
  s[gen == 8 ? s.size() - 33 : s.size() - 1] ^= 0x01;
  EXPECT_MORVEX_ERROR(decrypt(e.message, k.priv, s), DecryptionError, want);
}

}  // namespace

// Each TEST runs in a process of its own under ctest: the tests that need
// the slow keys (Classic McEliece, RSA-4096) are grouped so each kind is
// made once per process.

TEST(QuantumFormats, FrodoAndX25519GenerationsRoundTrip) {
  check_round_trips({4, 6, 8});
  check_wrong_key(4, 2, make(4, 2));
  check_wrong_key(6, 0, make(6, 0));
  check_wrong_key(8, 0, make(8, 0));
  check_tampering(4, 2);
  check_tampering(6, 0);
  check_tampering(8, 0);
}

TEST(QuantumFormats, ClassicMcElieceGenerations) {
  check_round_trips({2, 5});
  // The strength-0 key was made by asking for GEN1.
  EXPECT_EQ(keys(2, 0).pub.size(), 2u + 1044992u);  // Classic-McEliece-6688128
  const Pair alt = make(2, 0);
  check_wrong_key(2, 0, alt);
  check_wrong_key(5, 0, Pair{header_swapped(alt.pub, 5), header_swapped(alt.priv, 5)});
  // The key of another parameter set is refused by the adapter.
  const Encrypted e = encrypt("secret", keys(2, 0).pub);
  EXPECT_THROW(decrypt(e.message, keys(2, 1).priv, e.secret), QuantumOperationError);
  check_tampering(2, 0);
  check_tampering(5, 0);

  // Layouts and MACs.
  const Pair& g2 = keys(2, 0);
  const ByteView sk2 = ByteView(g2.priv).subspan(2);
  const Encrypted e2 = _gen2_encrypt({}, ByteView(g2.pub).subspan(2), 0);
  ASSERT_EQ(e2.message.size(), 64u);
  EXPECT_TRUE(_gen2_decrypt(e2.message, sk2, e2.secret, 0).empty());
  // The MAC is keyed with the raw shared secret, over IV || ciphertext.
  const SecureBytes ss = oqs::decapsulate("Classic-McEliece-6688128", sk2, e2.secret);
  const auto mac = _hmac256(ss, ByteView(e2.message).first(32));
  EXPECT_EQ(Bytes(mac.begin(), mac.end()), Bytes(e2.message.end() - 32, e2.message.end()));
  // ... and the AES key is HKDF(ss) without salt or info.
  const SecureBytes aes_key = _hkdf(ss, {}, {}, 32);
  EXPECT_TRUE(_cbc_decrypt(ByteView(e2.message).subspan(16, 16), aes_key, ByteView(e2.message).first(16)).empty());
  EXPECT_MORVEX_ERROR(_gen2_decrypt(Bytes(47, 0), sk2, e2.secret, 0), InvalidInputError,
                      "Invalid Gen2 encrypted message");
  EXPECT_MORVEX_ERROR(_gen2_decrypt(Bytes(48, 0), sk2, e2.secret, 0), DecryptionError,
                      "Gen2 HMAC verification failed");

  const Pair& g5 = keys(5, 0);
  const ByteView sk5 = ByteView(g5.priv).subspan(2);
  const Encrypted e5 = _gen5_encrypt(Bytes(16, 0x61), ByteView(g5.pub).subspan(2), 0);
  ASSERT_EQ(e5.message.size(), 112u);
  EXPECT_EQ(_gen5_decrypt(e5.message, sk5, e5.secret, 0), Bytes(16, 0x61));
  const SecureBytes ss5 = oqs::decapsulate("Classic-McEliece-6688128", sk5, e5.secret);
  const SecureBytes dk = _hkdf(ss5, ByteView(e5.message).first(32), as_bytes(_GEN5_INFO), 64);
  const auto mac5 = _hmac256(ByteView(dk).subspan(32), ByteView(e5.message).first(112 - 32));
  EXPECT_EQ(Bytes(mac5.begin(), mac5.end()), Bytes(e5.message.end() - 32, e5.message.end()));
  EXPECT_MORVEX_ERROR(_gen5_decrypt(Bytes(79, 0), sk5, e5.secret, 0), InvalidInputError,
                      "Invalid Gen5 encrypted message");

  // A correct MAC over bad padding (a sender other than this library).
  Bytes forged(48 + 16);
  const Bytes iv(16, 3);
  std::copy(iv.begin(), iv.end(), forged.begin());
  const Bytes padded(16, 0);  // decrypts to a last byte of 0
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  Bytes raw_ct(16);
  int n = 0;
  EVP_EncryptInit_ex(c, EVP_aes_256_cbc(), nullptr, aes_key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(c, 0);
  EVP_EncryptUpdate(c, raw_ct.data(), &n, padded.data(), 16);
  EVP_CIPHER_CTX_free(c);
  std::copy(raw_ct.begin(), raw_ct.end(), forged.begin() + 16);
  const auto fmac = _hmac256(ss, ByteView(forged).first(32));
  std::copy(fmac.begin(), fmac.end(), forged.begin() + 32);
  EXPECT_MORVEX_ERROR(_gen2_decrypt(forged, sk2, e2.secret, 0), DecryptionError, "Quantum AES-CBC unpadding failed");
}

TEST(QuantumFormats, KeyGenerationHeadersAndSizes) {
  EXPECT_EQ(keys(4, 2).pub.size(), 2u + 21520u);  // FrodoKEM-1344-AES
  EXPECT_EQ(keys(6, 0).pub.size(), 2u + 9616u);   // FrodoKEM-640-AES
  // GEN3 makes Gen6 keys, GEN4 ignores the strength (GEN1: see the Classic
  // McEliece test).
  const Pair g3 = make(3, 1);
  EXPECT_EQ(g3.pub[0], 6);
  EXPECT_EQ(g3.pub[1], 1);
  EXPECT_EQ(g3.pub.size(), 2u + 15632u);  // FrodoKEM-976-AES
  const Pair g4 = make(4, 0);
  EXPECT_EQ(g4.pub[0], 4);
  EXPECT_EQ(g4.pub[1], 2);
  EXPECT_EQ(g4.pub.size(), keys(4, 2).pub.size());
  // Gen8 at strength 0: 2 + 32 + 800 and 2 + 32 + 1632; default is GEN8/HIGHEST.
  EXPECT_EQ(keys(8, 0).pub.size(), 834u);
  EXPECT_EQ(keys(8, 0).priv.size(), 1666u);
  const Pair def = make(8, 2);
  EXPECT_EQ(def.pub.size(), 2u + 32 + 1568);
  const KeyPair dflt = generate_keypair();
  EXPECT_EQ(dflt.public_key[0], 8);
  EXPECT_EQ(dflt.public_key[1], 2);
  // Conversions come first: no library call for a bad value.
  BackendAbsent absent;
  EXPECT_THROW(generate_keypair(9), std::invalid_argument);
  EXPECT_THROW(generate_keypair(0), std::invalid_argument);
  EXPECT_THROW(generate_keypair(2, 3), std::invalid_argument);
  EXPECT_THROW(generate_keypair(4, 5), std::invalid_argument);
  EXPECT_MORVEX_ERROR(generate_keypair(6, 0), QuantumOperationError, kLoader);
}

TEST(QuantumFormats, DispatchChecksAndTheirOrder) {
  EXPECT_MORVEX_ERROR(encrypt("x", Bytes{6, 1}), InvalidInputError, "Invalid or empty quantum public key");
  EXPECT_MORVEX_ERROR(encrypt("x", Bytes(100, 0)), InvalidInputError, "Invalid or empty quantum public key");
  Bytes zeros(50, 0);
  zeros[0] = 6;
  zeros[1] = 1;
  EXPECT_MORVEX_ERROR(encrypt("x", zeros), InvalidInputError, "Invalid or empty quantum public key");
  EXPECT_MORVEX_ERROR(encrypt("x", Bytes({1, 0, 1})), QuantumOperationError,
                      "Quantum generation 0x01 is not supported for encryption");
  EXPECT_MORVEX_ERROR(encrypt("x", Bytes({0xff, 0, 1})), QuantumOperationError,
                      "Quantum generation 0xff is not supported for encryption");
  EXPECT_MORVEX_ERROR(encrypt("x", Bytes({3, 0, 1})), QuantumOperationError,
                      "Quantum generation 0x03 is not supported for encryption");

  const Bytes msg(100, 1), secret(10, 1);
  EXPECT_MORVEX_ERROR(decrypt(msg, Bytes{8, 2}, {}), InvalidInputError, "Invalid quantum private key");
  EXPECT_MORVEX_ERROR(decrypt(msg, Bytes({8, 2, 0}), {}), InvalidInputError,
                      "Encapsulated secret required for quantum decryption");
  EXPECT_MORVEX_ERROR(decrypt(msg, Bytes({0x0a, 2, 0}), secret), QuantumOperationError,
                      "Quantum generation 0x0a is not supported for decryption");
  // No all-zero test on the private key: it reaches the generation.
  EXPECT_MORVEX_ERROR(decrypt(Bytes(59, 0), Bytes({8, 0, 0, 0}), Bytes(40, 1)), InvalidInputError,
                      "Invalid Gen8 private key");

  // A strength byte outside 0..2 fails in the mechanism lookup, after the
  // dispatch checks.
  for (std::uint8_t gen : {6, 2, 5, 8}) {
    Bytes pub = {gen, 3};
    pub.resize(2000, 1);
    const Bytes secret = cat({le32(100), Bytes(132, 1)});  // well-formed for Gen8 too
    EXPECT_THROW(encrypt("x", pub), std::out_of_range) << int(gen);
    EXPECT_THROW(decrypt(Bytes(200, 1), pub, secret), std::out_of_range) << int(gen);
  }
  // A Gen4 key never looks at its strength byte.
  Bytes g4pub = keys(4, 2).pub, g4priv = keys(4, 2).priv;
  g4pub[1] = 0;
  g4priv[1] = 77;
  const Encrypted e = encrypt("still 1344", g4pub);
  EXPECT_EQ(e.secret.size(), 21696u);  // FrodoKEM-1344-AES ciphertext
  EXPECT_EQ(decrypt(e.message, g4priv, e.secret), "still 1344");
}

TEST(QuantumFormats, PlaintextMustBeUtf8) {
  const Pair& k = keys(8, 0);
  const Bytes bad = {'o', 'k', 0xff};
  const Encrypted e = _gen8_encrypt(bad, ByteView(k.pub).subspan(2), 0);
  try {
    decrypt(e.message, k.priv, e.secret);
    ADD_FAILURE();
  } catch (const DecryptionError& err) {
    EXPECT_STREQ(err.what(), "Decrypted quantum data is not valid UTF-8");
    EXPECT_TRUE(err.cause() != nullptr);
  }
  EXPECT_EQ(_gen8_decrypt(e.message, ByteView(k.priv).subspan(2), e.secret, 0), bad);
}

TEST(QuantumFormats, Gen4AndGen6LengthEdges) {
  const Pair& g4 = keys(4, 2);
  const ByteView sk4 = ByteView(g4.priv).subspan(2);
  const Encrypted e4 = _gen4_encrypt({}, ByteView(g4.pub).subspan(2));
  ASSERT_EQ(e4.message.size(), 28u);
  EXPECT_TRUE(_gen4_decrypt(e4.message, sk4, e4.secret).empty());
  EXPECT_MORVEX_ERROR(_gen4_decrypt(Bytes(27, 0), sk4, e4.secret), InvalidInputError,
                      "Invalid Gen4 encrypted message");
  EXPECT_MORVEX_ERROR(_gen4_decrypt(Bytes(28, 0), sk4, e4.secret), DecryptionError, kGcmFailed);

  const Pair& g6 = keys(6, 1);
  const ByteView sk6 = ByteView(g6.priv).subspan(2);
  const Encrypted e6 = _gen6_encrypt({}, ByteView(g6.pub).subspan(2), 1);
  ASSERT_EQ(e6.message.size(), 44u);
  EXPECT_TRUE(_gen6_decrypt(e6.message, sk6, e6.secret, 1).empty());
  EXPECT_MORVEX_ERROR(_gen6_decrypt(Bytes(43, 0), sk6, e6.secret, 1), InvalidInputError,
                      "Invalid Gen6 encrypted message");

  // Length checks need no library.
  BackendAbsent absent;
  EXPECT_MORVEX_ERROR(_gen4_decrypt(Bytes(27, 0), sk4, e4.secret), InvalidInputError,
                      "Invalid Gen4 encrypted message");
  EXPECT_MORVEX_ERROR(decrypt(Bytes(43, 0), g6.priv, e6.secret), InvalidInputError,
                      "Invalid Gen6 encrypted message");
  EXPECT_MORVEX_ERROR(decrypt(e6.message, g6.priv, e6.secret), QuantumOperationError, kLoader);
}

TEST(QuantumFormats, Gen7EndToEndLayoutAndChecks) {
  check_round_trips({7});
  check_tampering(7, 0);

  const Pair& k = keys(7, 2);
  // 07 02 | 526 (le32) | 30 82 02 0A ...
  EXPECT_EQ(Bytes(k.pub.begin(), k.pub.begin() + 10), Bytes({7, 2, 0x0e, 0x02, 0, 0, 0x30, 0x82, 0x02, 0x0a}));
  EXPECT_EQ(k.pub.size(), 2u + 4 + 526 + 21520);
  const ByteView raw_pk = ByteView(k.pub).subspan(2), raw_sk = ByteView(k.priv).subspan(2);
  const Encrypted e = _gen7_encrypt({}, raw_pk, 2);
  EXPECT_EQ(Bytes(e.secret.begin(), e.secret.begin() + 4), Bytes({0, 2, 0, 0}));
  EXPECT_EQ(e.secret.size(), 4u + 512 + 21696);
  ASSERT_EQ(e.message.size(), 60u);
  EXPECT_TRUE(_gen7_decrypt(e.message, raw_sk, e.secret, 2).empty());

  // The RSA private key may also come in PKCS#8 form.
  {
    const std::size_t l = raw_sk[0] | (raw_sk[1] << 8) | (raw_sk[2] << 16) | (std::size_t{raw_sk[3]} << 24);
    const unsigned char* p = raw_sk.data() + 4;
    EVP_PKEY* rsa = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(l));
    ASSERT_NE(rsa, nullptr);
    PKCS8_PRIV_KEY_INFO* p8 = EVP_PKEY2PKCS8(rsa);
    unsigned char* der = nullptr;
    const int n = i2d_PKCS8_PRIV_KEY_INFO(p8, &der);
    ASSERT_GT(n, 0);
    const Bytes sk8 = cat({le32(static_cast<std::uint32_t>(n)), ByteView(der, n), raw_sk.subspan(4 + l)});
    OPENSSL_free(der);
    PKCS8_PRIV_KEY_INFO_free(p8);
    EVP_PKEY_free(rsa);
    EXPECT_TRUE(_gen7_decrypt(e.message, sk8, e.secret, 2).empty());
    // A key of another type parses, and then cannot decrypt.
    EVP_PKEY* ec = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    ASSERT_NE(ec, nullptr);
    PKCS8_PRIV_KEY_INFO* ec8 = EVP_PKEY2PKCS8(ec);
    unsigned char* ec_der = nullptr;
    const int m = i2d_PKCS8_PRIV_KEY_INFO(ec8, &ec_der);
    const Bytes sk_ec = cat({le32(static_cast<std::uint32_t>(m)), ByteView(ec_der, m), raw_sk.subspan(4 + l)});
    OPENSSL_free(ec_der);
    PKCS8_PRIV_KEY_INFO_free(ec8);
    EVP_PKEY_free(ec);
    EXPECT_MORVEX_ERROR(_gen7_decrypt(e.message, sk_ec, e.secret, 2), DecryptionError, "Gen7 RSA decryption failed");
  }

  // Public key checks.
  EXPECT_MORVEX_ERROR(_gen7_encrypt({}, Bytes(3, 1), 2), InvalidInputError, "Invalid Gen7 public key");
  const Bytes rsa_only(k.pub.begin() + 2, k.pub.begin() + 2 + 4 + 526);
  EXPECT_MORVEX_ERROR(_gen7_encrypt({}, rsa_only, 2), InvalidInputError, "Invalid Gen7 public key (truncated)");
  EXPECT_MORVEX_ERROR(_gen7_encrypt({}, cat({le32(0xffffffffu), Bytes(600, 1)}), 2), InvalidInputError,
                      "Invalid Gen7 public key (truncated)");
  EXPECT_MORVEX_ERROR(_gen7_encrypt({}, cat({le32(600), Bytes(600, 1)}), 2), InvalidInputError,
                      "Invalid Gen7 public key (truncated)");
  try {
    _gen7_encrypt({}, cat({le32(4), Bytes(4, 0x30), Bytes(10, 1)}), 2);
    ADD_FAILURE();
  } catch (const InvalidInputError& err) {
    EXPECT_EQ(std::string(err.what()).rfind("Invalid Gen7 RSA public key: ", 0), 0u) << err.what();
    EXPECT_GT(std::string(err.what()).size(), 29u);
    EXPECT_TRUE(err.cause() != nullptr);
  }
  // An RSA key too small for a 32-byte OAEP-SHA-256 payload.
  {
    EVP_PKEY* small = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(512));
    ASSERT_NE(small, nullptr);
    unsigned char* der = nullptr;
    const int n = i2d_PublicKey(small, &der);
    const Bytes pk = cat({le32(static_cast<std::uint32_t>(n)), ByteView(der, n), raw_pk.subspan(4 + 526)});
    OPENSSL_free(der);
    EVP_PKEY_free(small);
    try {
      _gen7_encrypt({}, pk, 2);
      ADD_FAILURE();
    } catch (const InvalidInputError& err) {
      EXPECT_EQ(std::string(err.what()).rfind("Invalid Gen7 RSA public key: ", 0), 0u) << err.what();
    }
  }

  // Private-side checks run in the order key, secret, message.
  EXPECT_MORVEX_ERROR(_gen7_decrypt(Bytes(1), Bytes(3), Bytes(1), 2), InvalidInputError, "Invalid Gen7 private key");
  EXPECT_MORVEX_ERROR(_gen7_decrypt(Bytes(1), raw_sk, Bytes(3), 2), InvalidInputError,
                      "Invalid Gen7 encapsulated secret");
  EXPECT_MORVEX_ERROR(_gen7_decrypt(Bytes(59), raw_sk, e.secret, 2), InvalidInputError,
                      "Invalid Gen7 encrypted message");
  try {
    _gen7_decrypt(e.message, cat({le32(5), Bytes(5, 0x02)}), e.secret, 2);
    ADD_FAILURE();
  } catch (const InvalidInputError& err) {
    EXPECT_EQ(std::string(err.what()).rfind("Invalid Gen7 RSA private key: ", 0), 0u) << err.what();
    EXPECT_TRUE(err.cause() != nullptr);
  }
  // A prefix larger than the key takes everything as the RSA part; the
  // parser stops at the end of its structure, and the missing FrodoKEM key
  // is the adapter's to refuse.
  Bytes cut(raw_sk.begin(), raw_sk.end());
  cut[3] = 0x7f;
  EXPECT_THROW(_gen7_decrypt(e.message, cut, e.secret, 2), QuantumOperationError);

  // RSA block of another size or another key.
  Bytes other_secret = e.secret;
  other_secret[4] ^= 1;
  EXPECT_MORVEX_ERROR(_gen7_decrypt(e.message, raw_sk, other_secret, 2), DecryptionError,
                      "Gen7 RSA decryption failed");
  EXPECT_MORVEX_ERROR(_gen7_decrypt(e.message, raw_sk, cat({le32(10), Bytes(10, 1)}), 2), DecryptionError,
                      "Gen7 RSA decryption failed");

  // A valid OAEP block carrying 16 bytes instead of 32.
  {
    const Encrypted e1 = _gen7_encrypt(bytes_of("x"), raw_pk, 2);
    const Bytes spki = _pkcs1_to_spki(raw_pk.subspan(4, 526));
    const unsigned char* p = spki.data();
    EVP_PKEY* rsa = d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size()));
    ASSERT_NE(rsa, nullptr);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, rsa, nullptr);
    ASSERT_EQ(EVP_PKEY_encrypt_init(ctx), 1);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
    EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha256());
    EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256());
    const Bytes short_key(16, 9);
    Bytes block(512);
    std::size_t n = block.size();
    ASSERT_EQ(EVP_PKEY_encrypt(ctx, block.data(), &n, short_key.data(), short_key.size()), 1);
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(rsa);
    Bytes forged = e1.secret;
    std::copy(block.begin(), block.end(), forged.begin() + 4);
    EXPECT_MORVEX_ERROR(_gen7_decrypt(e1.message, raw_sk, forged, 2), DecryptionError, "Gen7 RSA decryption failed");
  }
}

TEST(QuantumFormats, Gen8LayoutAndChecks) {
  const Pair& k1 = keys(8, 1);
  const ByteView raw_pk = ByteView(k1.pub).subspan(2), raw_sk = ByteView(k1.priv).subspan(2);
  const Encrypted e = _gen8_encrypt({}, raw_pk, 1);
  ASSERT_EQ(e.secret.size(), 1124u);
  EXPECT_EQ(Bytes(e.secret.begin(), e.secret.begin() + 4), Bytes({0x40, 0x04, 0, 0}));
  ASSERT_EQ(e.message.size(), 60u);
  EXPECT_TRUE(_gen8_decrypt(e.message, raw_sk, e.secret, 1).empty());

  EXPECT_MORVEX_ERROR(_gen8_encrypt({}, Bytes(31, 1), 1), InvalidInputError, "Invalid Gen8 public key");
  // Exactly 32 bytes: the empty ML-KEM key is the adapter's to refuse.
  EXPECT_THROW(_gen8_encrypt({}, Bytes(32, 1), 1), QuantumOperationError);

  EXPECT_MORVEX_ERROR(_gen8_decrypt(Bytes(1), Bytes(31), Bytes(1), 1), InvalidInputError, "Invalid Gen8 private key");
  EXPECT_MORVEX_ERROR(_gen8_decrypt(Bytes(1), raw_sk, Bytes(35), 1), InvalidInputError,
                      "Invalid Gen8 encapsulated secret");
  EXPECT_MORVEX_ERROR(_gen8_decrypt(Bytes(59), raw_sk, e.secret, 1), InvalidInputError,
                      "Invalid Gen8 encrypted message");
  for (std::uint32_t c : {0u, 1089u, 0xffffffffu}) {
    SCOPED_TRACE(c);
    Bytes s = e.secret;
    const Bytes l = le32(c);
    std::copy(l.begin(), l.end(), s.begin());
    EXPECT_MORVEX_ERROR(_gen8_decrypt(e.message, raw_sk, s, 1), InvalidInputError,
                        "Invalid Gen8 encapsulated secret");
  }
  // Trailing bytes after the ephemeral key are ignored.
  Bytes longer = e.secret;
  longer.insert(longer.end(), 17, 0xaa);
  EXPECT_TRUE(_gen8_decrypt(e.message, raw_sk, longer, 1).empty());
  // Another valid ephemeral key: the GCM step fails.
  Bytes swapped = e.secret;
  const X25519Raw other = _x25519_raw(Bytes(32, 0x42));
  std::copy(other.public_key.begin(), other.public_key.end(), swapped.end() - 32);
  EXPECT_MORVEX_ERROR(_gen8_decrypt(e.message, raw_sk, swapped, 1), DecryptionError, kGcmFailed);
}

TEST(QuantumFormats, Gen8RefusesLowOrderX25519Keys) {
  const Pair& k = keys(8, 0);
  for (std::uint8_t u : {0, 1}) {
    // A recipient key of low order makes an all-zero shared secret.
    Bytes pub = k.pub;
    std::fill(pub.begin() + 2, pub.begin() + 34, 0);
    pub[2] = u;
    EXPECT_MORVEX_ERROR(encrypt("x", pub), InvalidInputError, "Invalid Gen8 public key");
    // So does a low-order ephemeral key in the secret.
    const Encrypted e = encrypt("x", k.pub);
    Bytes s = e.secret;
    std::fill(s.end() - 32, s.end(), 0);
    s[s.size() - 32] = u;
    EXPECT_MORVEX_ERROR(decrypt(e.message, k.priv, s), DecryptionError, kGcmFailed);
  }
  const X25519Raw r = _x25519_raw(Bytes(32, 7));
  EXPECT_EQ(Bytes(r.private_key.data(), r.private_key.data() + 32), Bytes(32, 7));
  EXPECT_THROW(_x25519_raw(Bytes(31, 7)), InvalidInputError);
}

TEST(QuantumFormats, ConcurrentEncryptionAndDecryption) {
  const Pair& g8 = keys(8, 0);
  const Pair& g6 = keys(6, 0);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const Pair& k = t % 2 ? g8 : g6;
      for (int i = 0; i < 10; ++i) {
        const std::string text = "thread " + std::to_string(t) + " " + std::to_string(i);
        const Encrypted e = encrypt(text, k.pub);
        if (decrypt(e.message, k.priv, e.secret) != text) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}
