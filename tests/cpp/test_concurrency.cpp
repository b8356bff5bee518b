// Every area's core operations at once on many threads: shared inputs are
// only read, every call draws its own randomness, and no call sees another's
// keys or results. Run under ThreadSanitizer by `make test-tsan`.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "morvex/aes.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/password.hpp"
#include "morvex/rsa.hpp"
#ifdef MORVEX_WITH_PQ
#include "morvex/quantum.hpp"
#endif
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

// Runs `body(thread index, round)` on kThreads threads that start together
// (googletest's expectations may be used on any thread).
void on_threads(const std::function<void(int, int)>& body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      try {
        for (int r = 0; r < kRounds; ++r) body(t, r);
      } catch (const std::exception& e) {
        ADD_FAILURE() << "thread " << t << " threw " << e.what();
      }
    });
  }
  for (auto& th : threads) th.join();
}

}  // namespace

TEST(CoreConcurrency, EveryClassicalAreaOnManyThreads) {
  // Inputs made once and read by every thread.
  const std::string shared_key = "shared passphrase";
  const Bytes shared_blob = aes::encrypt_bytes(bytes_of("shared plaintext"), shared_key);
  const Bytes shared_direct = rsa::encrypt_bytes(bytes_of("direct block"), kPublicA);
  const Bytes shared_envelope = hybrid::encrypt_bytes(Bytes(3000, 0x5a), kPublicA);
  const Bytes shared_sig = rsa::sign_bytes(bytes_of("signed"), kPrivateA);
  const std::string shared_record = password::hash_password("shared password", 1000);

  on_threads([&](int t, int r) {
    const std::string key = "key of thread " + std::to_string(t);
    const std::string text = key + " round " + std::to_string(r);
    const Bytes data(static_cast<std::size_t>(1 + 37 * t + r), static_cast<std::uint8_t>(t));

    // AES: own key, the shared blob, and a wrong key.
    const std::string token = aes::encrypt_str(text, key);
    EXPECT_EQ(aes::decrypt_str(token, key), text);
    EXPECT_EQ(aes::decrypt_bytes(shared_blob, shared_key), bytes_of("shared plaintext"));
    EXPECT_THROW(aes::decrypt_str(token, shared_key), DecryptionError);

    // RSA: a direct block and an envelope to one pair, signatures by both.
    const bool a = t % 2 != 0;
    EXPECT_EQ(rsa::decrypt_bytes(rsa::encrypt_bytes(data, a ? kPublicA : kPublicB), a ? kPrivateA : kPrivateB), data);
    EXPECT_EQ(rsa::decrypt_bytes(shared_direct, kPrivateA), bytes_of("direct block"));
    EXPECT_THROW(rsa::decrypt_bytes(shared_direct, kPrivateB), DecryptionError);
    const Bytes sig = rsa::sign_bytes(bytes_of(text), kPrivateB);
    EXPECT_TRUE(rsa::verify_bytes(bytes_of(text), sig, kPublicB));
    EXPECT_FALSE(rsa::verify_bytes(bytes_of(text), sig, kPublicA));
    EXPECT_TRUE(rsa::verify_bytes(bytes_of("signed"), shared_sig, kPublicA));

    // Envelopes and password records.
    EXPECT_EQ(hybrid::decrypt_str(hybrid::encrypt_str(text, kPublicB), kPrivateB), text);
    EXPECT_EQ(hybrid::decrypt_auto(shared_envelope, kPrivateA), Bytes(3000, 0x5a));
    const std::string record = password::hash_password(text, 1000 + t);
    EXPECT_TRUE(password::verify_password(text, record));
    EXPECT_FALSE(password::verify_password(text + "x", record));
    EXPECT_TRUE(password::verify_password("shared password", shared_record));
  });
}

#ifdef MORVEX_WITH_PQ
TEST(CoreConcurrency, PostQuantumOperationsOnManyThreads) {
  using quantum::QuantumGeneration, quantum::QuantumStrength;
  const quantum::KeyPair shared = quantum::generate_keypair(QuantumGeneration::GEN8, QuantumStrength::STANDARD);
  const quantum::Encrypted shared_msg = quantum::encrypt("shared message", shared.public_key);
  const quantum::KeyPair signer = quantum::generate_signature_keypair(quantum::SignatureAlgorithm::ML_DSA, QuantumStrength::STANDARD);
  const Bytes shared_sig = quantum::sign(bytes_of("signed"), signer.private_key);

  on_threads([&](int t, int r) {
    const std::string text = "pq thread " + std::to_string(t) + " round " + std::to_string(r);
    const quantum::KeyPair own = quantum::generate_keypair(QuantumGeneration::GEN8, quantum::to_strength(t % 3));
    const quantum::Encrypted e = quantum::encrypt(text, own.public_key);
    EXPECT_EQ(quantum::decrypt(e.message, own.private_key, e.secret), text);
    EXPECT_EQ(quantum::decrypt(shared_msg.message, shared.private_key, shared_msg.secret), "shared message");
    const quantum::Encrypted to_shared = quantum::encrypt(text, shared.public_key);
    EXPECT_EQ(quantum::decrypt(to_shared.message, shared.private_key, to_shared.secret), text);
    const Bytes sig = quantum::sign(bytes_of(text), signer.private_key);
    EXPECT_TRUE(quantum::verify(bytes_of(text), sig, signer.public_key));
    EXPECT_FALSE(quantum::verify(bytes_of("other"), sig, signer.public_key));
    EXPECT_TRUE(quantum::verify(bytes_of("signed"), shared_sig, signer.public_key));
  });
}
#endif  // MORVEX_WITH_PQ
