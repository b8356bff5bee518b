// The post-quantum adapter: name tables, loader, and the checks in front of
// the libraries. (Every mechanism's keys, capsules and signatures: the known
// answers.)
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
using namespace morvex::test;
namespace oqs = morvex::quantum::oqs;

#define EXPECT_QUANTUM_PREFIX(stmt, prefix) EXPECT_ERROR_WITH_CAUSE(stmt, QuantumOperationError, prefix)

TEST(QuantumTables, LookupsByStrength) {
  const char* const want[3][4] = {{"FrodoKEM-640-AES", "Classic-McEliece-6688128", "ML-KEM-512", "ML-DSA-44"},
                                  {"FrodoKEM-976-AES", "Classic-McEliece-6960119", "ML-KEM-768", "ML-DSA-65"},
                                  {"FrodoKEM-1344-AES", "Classic-McEliece-8192128", "ML-KEM-1024", "ML-DSA-87"}};
  for (std::int64_t s = 0; s < 3; ++s) {
    EXPECT_EQ(oqs::frodo_alg(s), want[s][0]);
    EXPECT_EQ(oqs::cmce_alg(s), want[s][1]);
    EXPECT_EQ(oqs::mlkem_alg(s), want[s][2]);
    EXPECT_EQ(oqs::sig_algorithm("mldsa", s), want[s][3]);
    // Every name of the tables is a mechanism of the right kind.
    for (int i = 0; i < 3; ++i) EXPECT_NO_THROW(oqs::kem_sizes(want[s][i])) << want[s][i];
    EXPECT_NO_THROW(oqs::sig_sizes(want[s][3]));
    for (const std::string& n : oqs::slhdsa_candidates(s)) EXPECT_NO_THROW(oqs::sig_sizes(n)) << n;
  }
  EXPECT_EQ(oqs::slhdsa_candidates(1), (std::vector<std::string>{"SLH-DSA-SHA2-192f", "SLH_DSA_PURE_SHA2_192F"}));
  for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{3}, INT64_MAX, INT64_MIN}) {
    EXPECT_THROW(oqs::frodo_alg(bad), OutOfRangeError);
    EXPECT_THROW(oqs::cmce_alg(bad), OutOfRangeError);
    EXPECT_THROW(oqs::mlkem_alg(bad), OutOfRangeError);
    EXPECT_THROW(oqs::sig_algorithm("mldsa", bad), OutOfRangeError);
  }
  for (const char* other : {"ML-DSA-44", "Kyber768"}) EXPECT_THROW(oqs::kem_sizes(other), QuantumOperationError);
  EXPECT_THROW(oqs::sig_sizes("ML-KEM-512"), QuantumOperationError);
}

TEST(QuantumLoader, EveryCallReportsTheLoaderWhileAbsent) {
  const Bytes any(32, 1);
  const std::vector<std::function<void()>> calls = {
      [] { oqs::_oqs(); },
      [] { oqs::generate_keypair("ML-KEM-768"); },
      [] { oqs::generate_keypair("nope"); },  // unknown names too: the loader comes first
      [&] { oqs::encapsulate("ML-KEM-768", any); },
      [&] { oqs::decapsulate("ML-KEM-768", any, any); },
      [] { oqs::sig_generate_keypair("ML-DSA-44"); },
      [&] { oqs::sig_sign("ML-DSA-44", any, any); },
      [&] { oqs::sig_verify("ML-DSA-44", any, any, any); },  // not false: the loader's error
      [] { oqs::enabled_sig_mechanisms(); },
      // ML-DSA names need no backend, and the bad strength comes after it.
      [] { oqs::sig_algorithm("slhdsa", 0); },
      [] { oqs::sig_algorithm("slhdsa", 3); },
  };
  [[maybe_unused]] const auto before = oqs::internal::load_counts();
  {
    BackendAbsent absent;
    EXPECT_EQ(oqs::sig_algorithm("mldsa", 0), "ML-DSA-44");
    for (int round = 0; round < 2; ++round) {  // not cached either way
      for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_MORVEX_ERROR(calls[i](), QuantumOperationError, kLoader);
      }
    }
  }
#ifdef MORVEX_WITH_PQ
  // Available again: the failed loads were not remembered, each call tried
  // again, and the success is kept.
  oqs::_oqs();
  oqs::_oqs();
  const auto after = oqs::internal::load_counts();
  EXPECT_EQ(after.attempts - before.attempts, 2 * calls.size() + 1);
  EXPECT_EQ(after.successes - before.successes, 1u);
#else
  // This build has no backend at all, and says so in the cause.
  try {
    oqs::_oqs();
    ADD_FAILURE();
  } catch (const QuantumOperationError& e) {
    EXPECT_STREQ(e.what(), kLoader);
    EXPECT_MORVEX_ERROR(std::rethrow_exception(e.cause()), PrimitiveError,
                        "this build of morvex has no post-quantum backend");
  }
#endif
}

#ifdef MORVEX_WITH_PQ

TEST(QuantumLoader, FirstCallRaceOnManyThreadsLoadsOnce) {
  for (int round = 0; round < 3; ++round) {
    oqs::testing::set_backend_available(true);  // forgets the handle
    const auto before = oqs::internal::load_counts();
    std::atomic<bool> go{false};
    std::atomic<int> ok{0};
    std::vector<const oqs::internal::Backend*> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&, i] {
        while (!go.load()) std::this_thread::yield();
        seen[i] = &oqs::internal::backend();
        if (oqs::sig_algorithm("slhdsa", 0) == "SLH-DSA-SHA2-128f") ok.fetch_add(1);
      });
    }
    go.store(true);
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 8);
    const auto after = oqs::internal::load_counts();
    EXPECT_EQ(after.attempts - before.attempts, 1u);
    EXPECT_EQ(after.successes - before.successes, 1u);
    for (const auto* p : seen) EXPECT_EQ(p, seen[0]);
  }
}

TEST(QuantumSigAlgorithm, SlhDsaSpellings) {
  EXPECT_EQ(oqs::sig_algorithm("slhdsa", 1), "SLH-DSA-SHA2-192f");  // both enabled: first wins
  EXPECT_EQ(oqs::sig_algorithm("", 2), "SLH-DSA-SHA2-256f");         // any other kind is SLH-DSA
  EXPECT_EQ(oqs::enabled_sig_mechanisms().size(), 9u);  // ML-DSA, and SLH-DSA under both spellings

  oqs::testing::set_enabled_sig_mechanisms(std::vector<std::string>{"ML-DSA-44", "SLH_DSA_PURE_SHA2_192F"});
  EXPECT_EQ(oqs::sig_algorithm("slhdsa", 1), "SLH_DSA_PURE_SHA2_192F");
  EXPECT_MORVEX_ERROR(oqs::sig_algorithm("slhdsa", 2), QuantumOperationError,
                      "No SLH-DSA mechanism available; tried ['SLH-DSA-SHA2-256f', 'SLH_DSA_PURE_SHA2_256F']");
  // The bad strength is reported after the query.
  EXPECT_THROW(oqs::sig_algorithm("slhdsa", -1), OutOfRangeError);
  oqs::testing::set_enabled_sig_mechanisms(std::nullopt);
}

TEST(QuantumKem, LengthsAndNamesAreCheckedBeforeTheLibrary) {
  // Lengths that do not suit the mechanism never reach the library.
  for (const oqs::internal::Mechanism& m : oqs::internal::mechanisms()) {
    if (!m.is_kem()) continue;
    const std::string alg(m.name);
    SCOPED_TRACE(alg);
    for (std::size_t n : {m.public_key - 1, m.public_key + 1, std::size_t{0}})
      EXPECT_QUANTUM_PREFIX(oqs::encapsulate(alg, Bytes(n)), "KEM encapsulation failed (" + alg + "): ");
    const std::size_t sk = m.secret_key, ct = m.output;
    for (const auto& [s, c] : {std::pair{sk - 1, ct}, {sk + 1, ct}, {sk, ct - 1}, {sk, std::size_t{0}}})
      EXPECT_QUANTUM_PREFIX(oqs::decapsulate(alg, Bytes(s), Bytes(c)), "KEM decapsulation failed (" + alg + "): ");
  }
  EXPECT_QUANTUM_PREFIX(oqs::generate_keypair("Kyber768"), "KEM key generation failed (Kyber768): ");
  EXPECT_QUANTUM_PREFIX(oqs::generate_keypair("ML-DSA-44"), "KEM key generation failed (ML-DSA-44): ");
  EXPECT_QUANTUM_PREFIX(oqs::encapsulate("", Bytes(800)), "KEM encapsulation failed (): ");
  EXPECT_QUANTUM_PREFIX(oqs::decapsulate("ml-kem-512", Bytes(1632), Bytes(768)),
                        "KEM decapsulation failed (ml-kem-512): ");
  EXPECT_QUANTUM_PREFIX(oqs::sig_generate_keypair("ML-KEM-512"), "Signature key generation failed (ML-KEM-512): ");
  EXPECT_QUANTUM_PREFIX(oqs::sig_sign("FrodoKEM-640-AES", Bytes(19888), Bytes{}),
                        "Signing failed (FrodoKEM-640-AES): ");
}

TEST(QuantumSig, EveryMechanismRefusesWhatDoesNotFit) {
  const Bytes msg = bytes_of("attack at dawn");
  for (const oqs::internal::Mechanism& m : oqs::internal::mechanisms()) {
    if (m.is_kem()) continue;
    const std::string alg(m.name);
    SCOPED_TRACE(alg);
    const oqs::KeyPair kp = oqs::sig_generate_keypair(alg);
    Bytes sig = oqs::sig_sign(alg, kp.secret_key, msg);
    EXPECT_TRUE(oqs::sig_verify(alg, kp.public_key, msg, sig));
    // Altered data, a zero key, sizes that do not fit: false; a signing key
    // that does not fit: the adapter's error.
    EXPECT_FALSE(oqs::sig_verify(alg, kp.public_key, bytes_of("attack at dusk"), sig));
    EXPECT_FALSE(oqs::sig_verify(alg, Bytes(m.public_key, 0), msg, sig));
    EXPECT_FALSE(oqs::sig_verify(alg, Bytes(m.public_key - 1, 1), msg, sig));
    EXPECT_FALSE(oqs::sig_verify(alg, kp.public_key, msg, Bytes(sig.begin(), sig.end() - 1)));
    for (std::size_t n : {m.secret_key - 1, std::size_t{0}})
      EXPECT_QUANTUM_PREFIX(oqs::sig_sign(alg, Bytes(n, 1), msg), "Signing failed (" + alg + "): ");
    // A KEM or unknown name: false.
    EXPECT_FALSE(oqs::sig_verify("ML-KEM-512", kp.public_key, msg, sig));
    EXPECT_FALSE(oqs::sig_verify("Dilithium2", kp.public_key, msg, sig));
  }
}

#endif  // MORVEX_WITH_PQ
