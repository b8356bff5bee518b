// Quantum key generation, dispatch and the message formats of every
// generation. Keys are made once per process.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "morvex/quantum.hpp"
#include "morvex/quantum/formats.hpp"
#include "morvex/quantum/oqs.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;

namespace {

using morvex::test::BackendAbsent;
using morvex::test::kGcmFailed;
using morvex::test::kLoader;

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

// Key pairs by (generation byte, strength), made on first use.
const Pair& keys(int gen, int strength) {
  static std::mutex mu;
  static std::map<std::pair<int, int>, Pair> cache;
  std::lock_guard lock(mu);
  auto found = cache.find({gen, strength});
  if (found == cache.end())  // GEN1 makes Gen2 keys
    found = cache.emplace(std::make_pair(gen, strength), make(gen == 2 && strength == 0 ? 1 : gen, strength)).first;
  return found->second;
}

// Bytes from a case: hex strings, and [hex, count] runs.
Bytes bytes_from(const nlohmann::json& parts) {
  Bytes out;
  for (const auto& p : parts) {
    const Bytes b = morvex::test::from_hex(p.is_array() ? p[0].get<std::string>() : p.get<std::string>());
    for (std::size_t i = 0, n = p.is_array() ? p[1].get<std::size_t>() : 1; i < n; ++i)
      out.insert(out.end(), b.begin(), b.end());
  }
  return out;
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

std::string auth_error(int gen) {
  return gen == 2 || gen == 5 ? "Gen" + std::to_string(gen) + " HMAC verification failed" : kGcmFailed;
}

// Every key of the given generation round-trips every text with fresh
// randomness each time; one flipped bit in the message (first, middle, last
// byte) or the KEM ciphertext is refused by the authentication step, and so
// is the private key of another pair of the same generation.
void check_generation(int gen) {
  const std::string texts[] = {"", "hello", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93 \xf0\x9d\x84\x9e",
                               std::string(1000, 'x')};
  for (int strength : gen == 4 ? std::vector<int>{2} : std::vector<int>{0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "gen " << gen << " strength " << strength);
    const Pair& k = keys(gen, strength);
    ASSERT_EQ(Bytes(k.pub.begin(), k.pub.begin() + 2), Bytes({std::uint8_t(gen), std::uint8_t(strength)}));
    ASSERT_EQ(Bytes(k.priv.begin(), k.priv.begin() + 2), Bytes(k.pub.begin(), k.pub.begin() + 2));
    for (const std::string& t : texts) {
      const Encrypted e = encrypt(t, k.pub);
      EXPECT_EQ(e.message.size(), message_size(gen, t.size()));
      EXPECT_EQ(decrypt(e.message, k.priv, e.secret), t);
    }
    const Encrypted a = encrypt("same", k.pub), b = encrypt("same", k.pub);
    EXPECT_NE(a.secret, b.secret);
    EXPECT_NE(a.message, b.message);
  }
  const int strength = gen == 4 ? 2 : 0;
  const Pair& k = keys(gen, strength);
  const Encrypted e = encrypt("tamper with me", k.pub);
  for (std::size_t pos : {std::size_t{0}, e.message.size() / 2, e.message.size() - 1}) {
    SCOPED_TRACE(pos);
    Bytes m = e.message;
    m[pos] ^= 0x01;
    EXPECT_MORVEX_ERROR(decrypt(m, k.priv, e.secret), DecryptionError, auth_error(gen));
  }
  Bytes s = e.secret;  // for Gen8 the KEM ciphertext precedes the ephemeral key
  s[gen == 8 ? s.size() - 33 : s.size() - 1] ^= 0x01;
  EXPECT_MORVEX_ERROR(decrypt(e.message, k.priv, s), DecryptionError, auth_error(gen));
  if (gen == 7) return;  // another RSA key: see the Gen7 test
  static std::map<int, Pair> alts;  // one other pair per mechanism
  const int family = gen == 5 ? 2 : gen;
  if (!alts.count(family)) alts[family] = make(family, strength);
  Bytes alt_priv = header_swapped(alts[family].priv, static_cast<std::uint8_t>(gen));
  EXPECT_MORVEX_ERROR(decrypt(e.message, alt_priv, e.secret), DecryptionError, auth_error(gen));
}

Bytes pkcs8_of(EVP_PKEY* key) {
  if (key == nullptr) return {};
  PKCS8_PRIV_KEY_INFO* p8 = EVP_PKEY2PKCS8(key);
  unsigned char* der = nullptr;
  const int n = i2d_PKCS8_PRIV_KEY_INFO(p8, &der);
  Bytes out(der, der + std::max(n, 0));
  OPENSSL_free(der);
  PKCS8_PRIV_KEY_INFO_free(p8);
  EVP_PKEY_free(key);
  return out;
}

}  // namespace

// Each TEST runs in a process of its own under ctest: the tests that need
// the slow keys (Classic McEliece, RSA-4096) are grouped.

TEST(QuantumFormats, FrodoAndX25519GenerationsRoundTrip) {
  for (int gen : {4, 6, 8}) check_generation(gen);
}

TEST(QuantumFormats, ClassicMcElieceGenerations) {
  check_generation(2);
  check_generation(5);
  // The key of another parameter set is refused by the adapter.
  const Encrypted e = encrypt("secret", keys(2, 0).pub);
  EXPECT_THROW(decrypt(e.message, keys(2, 1).priv, e.secret), QuantumOperationError);

  // Message lengths (Gen2 and Gen5 share the key pair).
  const ByteView sk2 = ByteView(keys(2, 0).priv).subspan(2);
  const Encrypted e2 = _gen2_encrypt({}, ByteView(keys(2, 0).pub).subspan(2), 0);
  EXPECT_MORVEX_ERROR(_gen2_decrypt(Bytes(47, 0), sk2, e2.secret, 0), InvalidInputError,
                      "Invalid Gen2 encrypted message");
  EXPECT_MORVEX_ERROR(_gen2_decrypt(Bytes(48, 0), sk2, e2.secret, 0), DecryptionError,
                      "Gen2 HMAC verification failed");
  EXPECT_MORVEX_ERROR(_gen5_decrypt(Bytes(79, 0), sk2, e2.secret, 0), InvalidInputError,
                      "Invalid Gen5 encrypted message");
}

TEST(QuantumFormats, KeyGenerationHeadersAndSizes) {
  // GEN3 makes Gen6 keys, GEN4 ignores the strength (GEN1: see the Classic
  // McEliece test); the default is GEN8/HIGHEST. (Key layouts: the
  // interoperability tests read them with another implementation.)
  const Pair g3 = make(3, 1), g4 = make(4, 0);
  EXPECT_EQ(Bytes(g3.pub.begin(), g3.pub.begin() + 2), Bytes({6, 1}));
  EXPECT_EQ(Bytes(g4.pub.begin(), g4.pub.begin() + 2), Bytes({4, 2}));
  const KeyPair dflt = generate_keypair();
  EXPECT_EQ(Bytes(dflt.public_key.begin(), dflt.public_key.begin() + 2), Bytes({8, 2}));
  // Conversions come first: no library call for a bad value.
  BackendAbsent absent;
  EXPECT_THROW(generate_keypair(9), std::invalid_argument);
  EXPECT_THROW(generate_keypair(0), std::invalid_argument);
  EXPECT_THROW(generate_keypair(2, 3), std::invalid_argument);
  EXPECT_THROW(generate_keypair(4, 5), std::invalid_argument);
  EXPECT_MORVEX_ERROR(generate_keypair(6, 0), QuantumOperationError, kLoader);
}

TEST(QuantumFormats, DispatchChecksAndTheirOrder) {
  const nlohmann::json cases = morvex::test::load_cases("quantum_dispatch.json");
  for (const auto& c : cases["cases"]) {
    const Bytes key = bytes_from(c["key"]);
    std::string got = "(none)";
    try {
      if (c.contains("secret"))
        decrypt(bytes_from(c["message"]), key, bytes_from(c["secret"]));
      else
        encrypt("x", key);
    } catch (const std::out_of_range&) {
      got = "out_of_range";
    } catch (const InvalidInputError& e) {
      got = std::string("InvalidInputError: ") + e.what();
    } catch (const QuantumOperationError& e) {
      got = std::string("QuantumOperationError: ") + e.what();
    }
    EXPECT_EQ(got, c["error"].get<std::string>()) << c["what"];
  }
  // A Gen4 key never looks at its strength byte.
  Bytes g4pub = keys(4, 2).pub, g4priv = keys(4, 2).priv;
  g4pub[1] = 0;
  g4priv[1] = 77;
  const Encrypted e = encrypt("still 1344", g4pub);
  EXPECT_EQ(e.secret.size(), 21696u);  // FrodoKEM-1344-AES ciphertext
  EXPECT_EQ(decrypt(e.message, g4priv, e.secret), "still 1344");
}

TEST(QuantumFormats, Gen4AndGen6LengthChecksNeedNoLibrary) {
  // Empty and tampered messages: every generation's round trips.
  const Pair& g4 = keys(4, 2);
  const Encrypted e4 = _gen4_encrypt({}, ByteView(g4.pub).subspan(2));
  const Pair& g6 = keys(6, 1);
  const Encrypted e6 = _gen6_encrypt({}, ByteView(g6.pub).subspan(2), 1);
  BackendAbsent absent;
  EXPECT_MORVEX_ERROR(_gen4_decrypt(Bytes(27, 0), ByteView(g4.priv).subspan(2), e4.secret), InvalidInputError,
                      "Invalid Gen4 encrypted message");
  EXPECT_MORVEX_ERROR(decrypt(Bytes(43, 0), g6.priv, e6.secret), InvalidInputError,
                      "Invalid Gen6 encrypted message");
  EXPECT_MORVEX_ERROR(decrypt(e6.message, g6.priv, e6.secret), QuantumOperationError, kLoader);
}

TEST(QuantumFormats, Gen7EndToEndLayoutAndChecks) {
  check_generation(7);

  // The layout of keys and secrets: the interoperability test reads them
  // with another implementation.
  const Pair& k = keys(7, 2);
  const ByteView raw_pk = ByteView(k.pub).subspan(2), raw_sk = ByteView(k.priv).subspan(2);
  const Encrypted e = _gen7_encrypt({}, raw_pk, 2);

  // The RSA private key may also come in PKCS#8 form; a key of another type
  // parses, and then cannot decrypt.
  const std::size_t l = raw_sk[0] | (raw_sk[1] << 8) | (raw_sk[2] << 16) | (std::size_t{raw_sk[3]} << 24);
  const unsigned char* p = raw_sk.data() + 4;
  const Bytes rsa8 = pkcs8_of(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(l)));
  const Bytes ec8 = pkcs8_of(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  ASSERT_FALSE(rsa8.empty() || ec8.empty());
  const ByteView frodo_sk = raw_sk.subspan(4 + l);
  EXPECT_TRUE(_gen7_decrypt(e.message, cat({le32(std::uint32_t(rsa8.size())), rsa8, frodo_sk}), e.secret, 2).empty());
  EXPECT_MORVEX_ERROR(_gen7_decrypt(e.message, cat({le32(std::uint32_t(ec8.size())), ec8, frodo_sk}), e.secret, 2),
                      DecryptionError, "Gen7 RSA decryption failed");

  // Public key checks (those of fixed bytes: the dispatch cases).
  EXPECT_MORVEX_ERROR(_gen7_encrypt({}, Bytes(k.pub.begin() + 2, k.pub.begin() + 2 + 4 + 526), 2), InvalidInputError,
                      "Invalid Gen7 public key (truncated)");
  // Unparsable, and an RSA key too small for a 32-byte OAEP-SHA-256 payload.
  EVP_PKEY* small = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(512));
  ASSERT_NE(small, nullptr);
  unsigned char* der = nullptr;
  const int n = i2d_PublicKey(small, &der);
  const Bytes small_pk = cat({le32(static_cast<std::uint32_t>(n)), ByteView(der, n), raw_pk.subspan(4 + 526)});
  OPENSSL_free(der);
  EVP_PKEY_free(small);
  for (const Bytes& pk : {cat({le32(4), Bytes(4, 0x30), Bytes(10, 1)}), small_pk})
    EXPECT_ERROR_WITH_CAUSE(_gen7_encrypt({}, pk, 2), InvalidInputError, "Invalid Gen7 RSA public key: ");

  // Private-side checks run in the order key, secret, message.
  EXPECT_MORVEX_ERROR(_gen7_decrypt(Bytes(1), raw_sk, Bytes(3), 2), InvalidInputError,
                      "Invalid Gen7 encapsulated secret");
  EXPECT_MORVEX_ERROR(_gen7_decrypt(Bytes(59), raw_sk, e.secret, 2), InvalidInputError,
                      "Invalid Gen7 encrypted message");
  EXPECT_ERROR_WITH_CAUSE(_gen7_decrypt(e.message, cat({le32(5), Bytes(5, 0x02)}), e.secret, 2), InvalidInputError,
                          "Invalid Gen7 RSA private key: ");
  // A prefix larger than the key takes everything as the RSA part; the
  // parser stops at the end of its structure, and the missing FrodoKEM key
  // is the adapter's to refuse.
  Bytes cut(raw_sk.begin(), raw_sk.end());
  cut[3] = 0x7f;
  EXPECT_THROW(_gen7_decrypt(e.message, cut, e.secret, 2), QuantumOperationError);

  // RSA block altered, of another size, or a valid OAEP block carrying 16
  // bytes instead of 32.
  Bytes altered = e.secret;
  altered[4] ^= 1;
  const Bytes spki = _pkcs1_to_spki(raw_pk.subspan(4, 526));
  const unsigned char* sp = spki.data();
  const rsa::Key rsa_pub(d2i_PUBKEY(nullptr, &sp, static_cast<long>(spki.size())));
  ASSERT_TRUE(rsa_pub);
  const Bytes block = rsa::encrypt_oaep_with(rsa_pub.get(), Bytes(16, 9));
  Bytes short_payload = e.secret;
  std::copy(block.begin(), block.end(), short_payload.begin() + 4);
  for (const Bytes& s : {altered, cat({le32(10), Bytes(10, 1)}), short_payload})
    EXPECT_MORVEX_ERROR(_gen7_decrypt(e.message, raw_sk, s, 2), DecryptionError, "Gen7 RSA decryption failed");
}

TEST(QuantumFormats, Gen8LayoutAndChecks) {
  const Pair& k1 = keys(8, 1);
  const ByteView raw_pk = ByteView(k1.pub).subspan(2), raw_sk = ByteView(k1.priv).subspan(2);
  const Encrypted e = _gen8_encrypt({}, raw_pk, 1);  // layout: the interoperability test
  ASSERT_EQ(e.secret.size(), 1124u);

  // Exactly 32 bytes: the empty ML-KEM key is the adapter's to refuse.
  EXPECT_THROW(_gen8_encrypt({}, Bytes(32, 1), 1), QuantumOperationError);

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
