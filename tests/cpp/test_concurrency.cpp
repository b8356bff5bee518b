// Every area's core operations at once on many threads: shared inputs are
// only read, every call draws its own randomness, and no call sees another's
// keys or results. Run under ThreadSanitizer by `make test-tsan`.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "morvex/aes.hpp"
#include "morvex/errors.hpp"
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

using Check = std::function<void(bool, const std::string&)>;

// Runs `body(thread index, check)` on kThreads threads that start together;
// the failures `check` records on the workers are reported on the test's thread.
void on_threads(const std::function<void(int, const Check&)>& body) {
  std::mutex mutex;
  std::vector<std::string> failures;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const Check check = [&](bool ok, const std::string& what) {
        if (ok) return;
        std::lock_guard lock(mutex);
        failures.push_back("thread " + std::to_string(t) + ": " + what);
      };
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      try {
        body(t, check);
      } catch (const std::exception& e) {
        check(false, std::string("threw ") + e.what());
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& m : failures) ADD_FAILURE() << m;
}

// Whether `f` fails as a decryption; any other exception reaches on_threads.
template <class F>
bool decryption_fails(F f) {
  try {
    f();
  } catch (const DecryptionError&) {
    return true;
  }
  return false;
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

  on_threads([&](int t, const Check& check) {
    for (int r = 0; r < kRounds; ++r) {
      const std::string key = "key of thread " + std::to_string(t);
      const std::string text = key + " round " + std::to_string(r);
      const Bytes data(static_cast<std::size_t>(1 + 37 * t + r), static_cast<std::uint8_t>(t));

      // AES: own key, the shared blob, and a wrong key.
      const std::string token = aes::encrypt_str(text, key);
      check(aes::decrypt_str(token, key) == text, "aes text round trip");
      check(aes::decrypt_bytes(aes::encrypt_bytes(data, key), key) == data, "aes bytes");
      check(aes::decrypt_bytes(shared_blob, shared_key) == bytes_of("shared plaintext"), "shared aes blob");
      check(decryption_fails([&] { aes::decrypt_str(token, shared_key); }), "aes wrong key must fail");

      // RSA: a direct block and an envelope to one pair, signatures by both.
      const Bytes pub_rsa = rsa::encrypt_bytes(data, (t % 2) ? kPublicA : kPublicB);
      check(rsa::decrypt_bytes(pub_rsa, (t % 2) ? kPrivateA : kPrivateB) == data, "rsa direct");
      check(rsa::decrypt_bytes(shared_direct, kPrivateA) == bytes_of("direct block"), "shared direct block");
      check(decryption_fails([&] { rsa::decrypt_bytes(shared_direct, kPrivateB); }), "other key must fail");
      const Bytes msg = bytes_of(text);
      const Bytes sig = rsa::sign_bytes(msg, kPrivateB);
      check(rsa::verify_bytes(msg, sig, kPublicB), "rsa verify");
      check(!rsa::verify_bytes(msg, sig, kPublicA), "rsa verify under another key");
      check(rsa::verify_bytes(bytes_of("signed"), shared_sig, kPublicA), "shared signature");

      // Envelopes and password records.
      check(hybrid::decrypt_str(hybrid::encrypt_str(text, kPublicB), kPrivateB) == text, "envelope text");
      check(hybrid::decrypt_auto(shared_envelope, kPrivateA) == Bytes(3000, 0x5a), "shared envelope");
      const std::string record = password::hash_password(text, 1000 + t);
      check(password::verify_password(text, record), "password verify");
      check(!password::verify_password(text + "x", record), "wrong password");
      check(password::needs_rehash(record), "low count needs rehash");
      check(password::verify_password("shared password", shared_record), "shared record");
    }
  });
}

#ifdef MORVEX_WITH_PQ
TEST(CoreConcurrency, PostQuantumOperationsOnManyThreads) {
  const quantum::KeyPair shared = quantum::generate_keypair(8, 0);
  const quantum::Encrypted shared_msg = quantum::encrypt("shared message", shared.public_key);
  const quantum::KeyPair signer = quantum::generate_signature_keypair(1, 0);
  const Bytes shared_sig = quantum::sign(bytes_of("signed"), signer.private_key);

  on_threads([&](int t, const Check& check) {
    for (int r = 0; r < kRounds; ++r) {
      const std::string text = "pq thread " + std::to_string(t) + " round " + std::to_string(r);
      const quantum::KeyPair own = quantum::generate_keypair(8, t % 3);
      const quantum::Encrypted e = quantum::encrypt(text, own.public_key);
      check(quantum::decrypt(e.message, own.private_key, e.secret) == text, "gen8 round trip");
      check(quantum::decrypt(shared_msg.message, shared.private_key, shared_msg.secret) == "shared message",
            "shared gen8 message");
      const quantum::Encrypted to_shared = quantum::encrypt(text, shared.public_key);
      check(quantum::decrypt(to_shared.message, shared.private_key, to_shared.secret) == text,
            "gen8 to the shared key");
      const Bytes msg = bytes_of(text);
      const Bytes sig = quantum::sign(msg, signer.private_key);
      check(quantum::verify(msg, sig, signer.public_key), "ml-dsa verify");
      check(!quantum::verify(bytes_of("other"), sig, signer.public_key), "ml-dsa altered data");
      check(quantum::verify(bytes_of("signed"), shared_sig, signer.public_key), "shared signature");
    }
  });
}
#endif  // MORVEX_WITH_PQ
