// Every area's core operations at once on many threads: shared inputs are
// only read, every call draws its own randomness, and no call sees another's
// keys or results. Run under ThreadSanitizer by `make test-tsan`.
#include <atomic>
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
#include "test_rsa_keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using namespace morvex::test;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

// Failures seen on worker threads, reported on the test's thread.
struct Failures {
  std::mutex mutex;
  std::vector<std::string> messages;
  void add(const std::string& what) {
    std::lock_guard lock(mutex);
    messages.push_back(what);
  }
  void check(bool ok, const std::string& what) {
    if (!ok) add(what);
  }
};

// Runs `body(thread index)` on kThreads threads that start together.
template <class F>
void on_threads(Failures& failures, F body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      try {
        body(t);
      } catch (const std::exception& e) {
        failures.add("thread " + std::to_string(t) + " threw: " + e.what());
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& m : failures.messages) ADD_FAILURE() << m;
}

template <class Err, class F>
bool throws(F f) {
  try {
    f();
  } catch (const Err&) {
    return true;
  } catch (...) {
    return false;
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

  Failures failures;
  on_threads(failures, [&](int t) {
    const std::string tag = "thread " + std::to_string(t);
    for (int r = 0; r < kRounds; ++r) {
      const std::string key = "key of " + tag;
      const std::string text = "text " + tag + " round " + std::to_string(r);
      const Bytes data(static_cast<std::size_t>(1 + 37 * t + r), static_cast<std::uint8_t>(t));

      // AES: own key, the shared blob, and a wrong key.
      const std::string token = aes::encrypt_str(text, key);
      failures.check(aes::decrypt_str(token, key) == text, tag + ": aes text round trip");
      failures.check(aes::decrypt_bytes(aes::encrypt_bytes(data, key), key) == data, tag + ": aes bytes");
      failures.check(aes::decrypt_bytes(shared_blob, shared_key) == bytes_of("shared plaintext"),
                     tag + ": shared aes blob");
      failures.check(throws<DecryptionError>([&] { aes::decrypt_str(token, shared_key); }),
                     tag + ": aes wrong key must fail");

      // RSA: a direct block and an envelope to one pair, signatures by both.
      const Bytes pub_rsa = rsa::encrypt_bytes(data, (t % 2) ? kPublicA : kPublicB);
      failures.check(rsa::decrypt_bytes(pub_rsa, (t % 2) ? kPrivateA : kPrivateB) == data, tag + ": rsa direct");
      failures.check(rsa::decrypt_bytes(shared_direct, kPrivateA) == bytes_of("direct block"),
                     tag + ": shared direct block");
      failures.check(throws<DecryptionError>([&] { rsa::decrypt_bytes(shared_direct, kPrivateB); }),
                     tag + ": direct block under the other key must fail");
      const Bytes msg = bytes_of(text);
      const Bytes sig = rsa::sign_bytes(msg, kPrivateB);
      failures.check(rsa::verify_bytes(msg, sig, kPublicB), tag + ": rsa verify");
      failures.check(!rsa::verify_bytes(msg, sig, kPublicA), tag + ": rsa verify under another key");
      failures.check(rsa::verify_bytes(bytes_of("signed"), shared_sig, kPublicA), tag + ": shared signature");
      failures.check(rsa::verify_str(text, rsa::sign_str(text, kPrivateA), kPublicA), tag + ": rsa text sign");

      // Envelopes.
      const std::string env = hybrid::encrypt_str(text, kPublicB);
      failures.check(hybrid::decrypt_str(env, kPrivateB) == text, tag + ": envelope text");
      failures.check(hybrid::decrypt_auto(shared_envelope, kPrivateA) == Bytes(3000, 0x5a), tag + ": shared envelope");

      // Password records.
      const std::string record = password::hash_password("pw " + tag, 1000 + t);
      failures.check(password::verify_password("pw " + tag, record), tag + ": password verify");
      failures.check(!password::verify_password("pw x" + tag, record), tag + ": wrong password");
      failures.check(password::needs_rehash(record), tag + ": low count needs rehash");
      failures.check(password::verify_password("shared password", shared_record), tag + ": shared record");
    }
  });
}

#ifdef MORVEX_WITH_PQ
TEST(CoreConcurrency, PostQuantumOperationsOnManyThreads) {
  const quantum::KeyPair shared = quantum::generate_keypair(8, 0);
  const quantum::Encrypted shared_msg = quantum::encrypt("shared message", shared.public_key);
  const quantum::KeyPair signer = quantum::generate_signature_keypair(1, 0);
  const Bytes shared_sig = quantum::sign(bytes_of("signed"), signer.private_key);

  Failures failures;
  on_threads(failures, [&](int t) {
    const std::string tag = "thread " + std::to_string(t);
    for (int r = 0; r < kRounds; ++r) {
      const std::string text = "pq " + tag + " round " + std::to_string(r);
      const quantum::KeyPair own = quantum::generate_keypair(8, t % 3);
      const quantum::Encrypted e = quantum::encrypt(text, own.public_key);
      failures.check(quantum::decrypt(e.message, own.private_key, e.secret) == text, tag + ": gen8 round trip");
      failures.check(quantum::decrypt(shared_msg.message, shared.private_key, shared_msg.secret) == "shared message",
                     tag + ": shared gen8 message");
      const quantum::Encrypted to_shared = quantum::encrypt(text, shared.public_key);
      failures.check(quantum::decrypt(to_shared.message, shared.private_key, to_shared.secret) == text,
                     tag + ": gen8 to the shared key");

      const Bytes msg = bytes_of(text);
      const Bytes sig = quantum::sign(msg, signer.private_key);
      failures.check(quantum::verify(msg, sig, signer.public_key), tag + ": ml-dsa verify");
      failures.check(!quantum::verify(bytes_of("other"), sig, signer.public_key), tag + ": ml-dsa altered data");
      failures.check(quantum::verify(bytes_of("signed"), shared_sig, signer.public_key), tag + ": shared signature");
    }
  });
}
#endif  // MORVEX_WITH_PQ
