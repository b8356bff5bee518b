// Quantum key generation, dispatch and the message formats of every
// generation. Keys are made once per process.
#include <map>
#include <tuple>

#include "morvex/quantum.hpp"
#include "quantum/formats.hpp"
#include "quantum/by_number.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::quantum;
using namespace morvex::test;

namespace {

// Key pairs by (generation byte, strength), made on first use; alt picks a
// second pair.
const KeyPair& keys(int gen, int strength, int alt = 0) {
  static std::map<std::tuple<int, int, int>, KeyPair> cache;
  auto found = cache.find({gen, strength, alt});
  if (found == cache.end())  // GEN1 makes Gen2 keys
    found = cache.emplace(std::make_tuple(gen, strength, alt), _generate_keypair(gen == 2 ? 1 : gen, strength)).first;
  return found->second;
}

// Bytes from a case: hex strings, [hex, count] runs and "@name" parts.
Bytes bytes_from(const nlohmann::json& parts, const nlohmann::json& named) {
  Bytes out;
  for (const auto& p : parts) {
    const std::string hex = p.is_array() ? p[0].get<std::string>() : p.get<std::string>();
    const Bytes b = from_hex(hex[0] == '@' ? named.at(hex.substr(1)).get<std::string>() : hex);
    for (std::size_t i = 0, n = p.is_array() ? p[1].get<std::size_t>() : 1; i < n; ++i)
      out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// Encrypted-message size for a plaintext of n bytes: a fixed overhead, and
// whole blocks for the CBC generations.
std::size_t message_size(int gen, std::size_t n) {
  const std::size_t cbc = 16 * (n / 16 + 1);
  return gen == 2 ? cbc + 48 : gen == 5 ? cbc + 80 : gen == 4 ? n + 28 : gen == 6 ? n + 44 : n + 60;
}

std::string auth_error(int gen) {
  return gen == 2 || gen == 5 ? "Gen" + std::to_string(gen) + " HMAC verification failed" : kGcmFailed;
}

// Every key of the given generation round-trips every text with fresh
// randomness each time; altered data is refused by the authentication step,
// and so is the private key of another pair of the same generation.
void check_generation(int gen) {
  const std::string texts[] = {"", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93 \xf0\x9d\x84\x9e", std::string(1000, 'x')};
  for (int strength : gen == 4 ? std::vector<int>{2} : std::vector<int>{0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "gen " << gen << " strength " << strength);
    const KeyPair& k = keys(gen, strength);
    ASSERT_EQ(head(k.public_key), Bytes({std::uint8_t(gen), std::uint8_t(strength)}));
    ASSERT_EQ(head(k.private_key), head(k.public_key));
    for (const std::string& t : texts) {
      const Encrypted e = encrypt(t, k.public_key);
      EXPECT_EQ(e.message.size(), message_size(gen, t.size()));
      EXPECT_TRUE(decrypt(e.message, k.private_key, e.secret) == t);
    }
    const Encrypted a = encrypt("same", k.public_key), b = encrypt("same", k.public_key);
    EXPECT_NE(a.secret, b.secret);
    EXPECT_NE(a.message, b.message);
  }
  const int strength = gen == 4 ? 2 : 0;
  const KeyPair& k = keys(gen, strength);
  const Encrypted e = encrypt("tamper with me", k.public_key);
  // One flipped bit in the message (first, middle, last byte) or the secret:
  // the last byte of the KEM ciphertext, or of Gen8's ephemeral X25519 key
  // that follows it.
  const std::size_t m = e.message.size(), s = e.secret.size();
  for (const auto& [in_secret, pos] : {std::pair{false, std::size_t{0}}, {false, m / 2}, {false, m - 1},
                                       {true, s - 1}, {true, s - 33}}) {
    Encrypted t = e;
    (in_secret ? t.secret : t.message)[pos] ^= 0x01;
    EXPECT_MORVEX_ERROR(decrypt(t.message, k.private_key, t.secret), DecryptionError, auth_error(gen)) << pos;
  }
  const SecureBytes& alt = keys(gen == 5 ? 2 : gen, strength, 1).private_key;  // Gen2 and Gen5 share keys
  Bytes other(alt.begin(), alt.end());
  other[0] = static_cast<std::uint8_t>(gen);
  EXPECT_MORVEX_ERROR(decrypt(e.message, other, e.secret), DecryptionError,
                      gen == 7 ? "Gen7 RSA decryption failed" : auth_error(gen));
}

}  // namespace

// Each TEST runs in a process of its own under ctest: the tests that need
// the slow keys (Classic McEliece, RSA-4096) are apart.

TEST(QuantumFormats, FrodoAndX25519Generations) {
  for (int gen : {4, 6, 8}) check_generation(gen);
}

TEST(QuantumFormats, ClassicMcElieceGenerations) {
  check_generation(2);
  check_generation(5);
  // The key of another parameter set is refused by the adapter.
  const Encrypted e = encrypt("secret", keys(2, 0).public_key);
  EXPECT_THROW(decrypt(e.message, keys(2, 1).private_key, e.secret), QuantumOperationError);
}

TEST(QuantumFormats, Gen7) { check_generation(7); }

TEST(QuantumFormats, KeyGenerationHeaders) {
  // GEN3 makes Gen6 keys, GEN4 ignores the strength (GEN1: see the Classic
  // McEliece test); the default is GEN8/HIGHEST.
  EXPECT_EQ(head(generate_keypair(QuantumGeneration::GEN3, QuantumStrength::MEDIUM).public_key), Bytes({6, 1}));
  EXPECT_EQ(head(generate_keypair(QuantumGeneration::GEN4, QuantumStrength::STANDARD).public_key), Bytes({4, 2}));
  EXPECT_EQ(head(generate_keypair().public_key), Bytes({8, 2}));
  // Conversions come first: no library call for a bad value, whether it
  // comes as an integer or as a number cast to the enumeration; the
  // generation is reported before the strength.
  BackendAbsent absent;
  for (const auto& [gen, strength] : {std::pair{9, 2}, {0, 2}, {2, 3}, {4, 5}})
    EXPECT_THROW(_generate_keypair(gen, strength), InvalidArgumentError);
  EXPECT_MORVEX_ERROR(_generate_keypair(0, 9), InvalidArgumentError, "0 is not a valid QuantumGeneration");
  EXPECT_MORVEX_ERROR(generate_keypair(static_cast<QuantumGeneration>(9)), InvalidArgumentError,
                      "9 is not a valid QuantumGeneration");
  EXPECT_THROW(generate_keypair(QuantumGeneration::GEN8, static_cast<QuantumStrength>(3)), InvalidArgumentError);
  EXPECT_MORVEX_ERROR(generate_keypair(QuantumGeneration::GEN6, QuantumStrength::STANDARD), QuantumOperationError,
                      kLoader);
}

TEST(QuantumFormats, KeyChecksAndTheirOrder) {
  const char* const kClass[] = {"MorvexError",    "InvalidInputError", "EncryptionError",  // by ErrorKind
                                "DecryptionError", "SignatureError",    "QuantumOperationError"};
  const nlohmann::json table = load_cases("quantum_dispatch.json");
  const nlohmann::json& parts = table["parts"];
  const Bytes d = bytes_of("d");
  for (const auto& c : table["cases"]) {
    const Bytes key = bytes_from(c["key"], parts);
    const std::string op = c.value("op", "");
    std::string got = "(none)";
    try {
      if (op == "sign")
        sign(d, key);
      else if (op == "verify")
        got = verify(d, bytes_from(c["signature"], parts), key) ? "true" : "false";
      else if (c.contains("secret"))
        (void)decrypt(bytes_from(c["message"], parts), key, bytes_from(c["secret"], parts));
      else
        encrypt("x", key);
    } catch (const OutOfRangeError&) {
      got = "out_of_range";
    } catch (const MorvexError& e) {
      got = std::string(kClass[static_cast<int>(e.kind())]) + ": " + e.what() + (e.cause() ? " (with cause)" : "");
    }
    // A prefix ("...: ") stands for any lower-level reason, kept as the cause.
    const std::string want = c["outcome"];
    if (want.ends_with(": "))
      EXPECT_TRUE(got.starts_with(want) && got.ends_with(" (with cause)")) << c["what"] << ": " << got;
    else
      EXPECT_EQ(got, want) << c["what"];
  }
  // A Gen4 key never looks at its strength byte.
  const KeyPair& g4 = keys(4, 2);
  Bytes g4pub = g4.public_key, g4priv(g4.private_key.begin(), g4.private_key.end());
  g4pub[1] = 0;
  g4priv[1] = 77;
  const Encrypted e = encrypt("still 1344", g4pub);
  EXPECT_EQ(e.secret.size(), 21696u);  // FrodoKEM-1344-AES ciphertext
  EXPECT_TRUE(decrypt(e.message, g4priv, e.secret) == "still 1344");
}

TEST(QuantumFormats, Gen8SecretAndX25519) {
  const KeyPair& k = keys(8, 1);
  const Encrypted e = encrypt("", k.public_key);
  // Trailing bytes after the ephemeral key are ignored.
  Bytes longer = e.secret;
  longer.insert(longer.end(), 17, 0xaa);
  EXPECT_TRUE(decrypt(e.message, k.private_key, longer).empty());
  // A low-order ephemeral key makes an all-zero shared secret: refused as
  // altered data. (Low-order recipient keys: the key cases.)
  for (std::uint8_t u : {0, 1}) {
    Bytes s = e.secret;
    std::fill(s.end() - 32, s.end(), 0);
    s[s.size() - 32] = u;
    EXPECT_MORVEX_ERROR(decrypt(e.message, k.private_key, s), DecryptionError, kGcmFailed);
  }
  const X25519Raw r = _x25519_raw(Bytes(32, 7));
  EXPECT_EQ(Bytes(r.private_key.data(), r.private_key.data() + 32), Bytes(32, 7));
  EXPECT_THROW(_x25519_raw(Bytes(31, 7)), InvalidInputError);
}
