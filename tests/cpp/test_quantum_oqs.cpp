// The post-quantum adapter: tables, loader, lengths, and the operations of
// every mechanism.
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "morvex/quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"
#include "test_quantum_util.hpp"

using namespace morvex;
namespace oqs = morvex::quantum::oqs;

using morvex::test::BackendAbsent;
using morvex::test::kLoader;

#define EXPECT_QUANTUM_PREFIX(stmt, prefix) EXPECT_ERROR_WITH_CAUSE(stmt, QuantumOperationError, prefix)

TEST(QuantumTables, LookupsByStrength) {
  const char* const want[3][4] = {{"FrodoKEM-640-AES", "Classic-McEliece-6688128", "ML-KEM-512", "ML-DSA-44"},
                                  {"FrodoKEM-976-AES", "Classic-McEliece-6960119", "ML-KEM-768", "ML-DSA-65"},
                                  {"FrodoKEM-1344-AES", "Classic-McEliece-8192128", "ML-KEM-1024", "ML-DSA-87"}};
  for (std::int64_t s = 0; s < 3; ++s) {
    EXPECT_EQ(oqs::frodo_alg(s), want[s][0]);
    EXPECT_EQ(oqs::cmce_alg(s), want[s][1]);
    EXPECT_EQ(oqs::mlkem_alg(s), want[s][2]);
    EXPECT_EQ(oqs::mldsa_alg(s), want[s][3]);
    EXPECT_EQ(oqs::sig_algorithm("mldsa", s), want[s][3]);
  }
  EXPECT_EQ(oqs::slhdsa_candidates(1), (std::vector<std::string>{"SLH-DSA-SHA2-192f", "SLH_DSA_PURE_SHA2_192F"}));
  for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{3}, INT64_MAX, INT64_MIN}) {
    EXPECT_THROW(oqs::frodo_alg(bad), std::out_of_range);
    EXPECT_THROW(oqs::cmce_alg(bad), std::out_of_range);
    EXPECT_THROW(oqs::mlkem_alg(bad), std::out_of_range);
    EXPECT_THROW(oqs::sig_algorithm("mldsa", bad), std::out_of_range);
  }
}

TEST(QuantumTables, MlDsaNeedsNoBackendButSlhDsaDoes) {
  BackendAbsent absent;
  EXPECT_EQ(oqs::sig_algorithm("mldsa", 0), "ML-DSA-44");
  EXPECT_THROW(oqs::sig_algorithm("mldsa", 3), std::out_of_range);
  // The missing backend is reported before the bad strength.
  EXPECT_MORVEX_ERROR(oqs::sig_algorithm("slhdsa", 3), QuantumOperationError, kLoader);
  EXPECT_MORVEX_ERROR(oqs::sig_algorithm("slhdsa", 0), QuantumOperationError, kLoader);
}

TEST(QuantumTables, SizesOfEveryMechanism) {
  // The sizes themselves are proven by the known-answer tests.
  EXPECT_THROW(oqs::kem_sizes("ML-DSA-44"), QuantumOperationError);
  EXPECT_THROW(oqs::kem_sizes("Kyber768"), QuantumOperationError);
  EXPECT_THROW(oqs::sig_sizes("ML-KEM-512"), QuantumOperationError);
  // Every name of the tables is a mechanism of the right kind.
  for (std::int64_t i = 0; i < 3; ++i) {
    for (const std::string& n : {oqs::frodo_alg(i), oqs::cmce_alg(i), oqs::mlkem_alg(i)})
      EXPECT_NO_THROW(oqs::kem_sizes(n)) << n;
    EXPECT_NO_THROW(oqs::sig_sizes(oqs::mldsa_alg(i)));
    for (const std::string& n : oqs::slhdsa_candidates(i)) EXPECT_NO_THROW(oqs::sig_sizes(n)) << n;
  }
}

TEST(QuantumLoader, EveryCallReportsTheLoaderWhileAbsent) {
  const Bytes any(32, 1);
  {
    BackendAbsent absent;
    for (int round = 0; round < 2; ++round) {  // not cached either way
      EXPECT_MORVEX_ERROR(oqs::_oqs(), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::generate_keypair("ML-KEM-768"), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::encapsulate("ML-KEM-768", any), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::decapsulate("ML-KEM-768", any, any), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::sig_generate_keypair("ML-DSA-44"), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::sig_sign("ML-DSA-44", any, any), QuantumOperationError, kLoader);
      // Not false: the loader's error.
      EXPECT_MORVEX_ERROR(oqs::sig_verify("ML-DSA-44", any, any, any), QuantumOperationError, kLoader);
      EXPECT_MORVEX_ERROR(oqs::enabled_sig_mechanisms(), QuantumOperationError, kLoader);
      // Unknown names too: the loader comes first.
      EXPECT_MORVEX_ERROR(oqs::generate_keypair("nope"), QuantumOperationError, kLoader);
    }
    try {
      oqs::_oqs();
    } catch (const QuantumOperationError& e) {
      ASSERT_TRUE(e.cause() != nullptr);  // the load failure
      EXPECT_THROW(std::rethrow_exception(e.cause()), PrimitiveError);
    }
  }
#ifdef MORVEX_WITH_PQ
  // Available again: the failed loads were not remembered.
  EXPECT_NO_THROW(oqs::_oqs());
  EXPECT_EQ(oqs::generate_keypair("ML-KEM-512").public_key.size(), 800u);
#else
  EXPECT_MORVEX_ERROR(oqs::_oqs(), QuantumOperationError, kLoader);
#endif
}

#ifndef MORVEX_WITH_PQ

TEST(QuantumLoader, BuildWithoutBackend) {
  // No seam involved: the build itself has no backend, on every call and
  // from every thread.
  std::vector<std::thread> threads;
  std::atomic<int> loader_errors{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      try {
        oqs::generate_keypair("ML-KEM-768");
      } catch (const QuantumOperationError& e) {
        if (std::string(e.what()) == kLoader) loader_errors++;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(loader_errors.load(), 4);
  EXPECT_EQ(oqs::kem_sizes("FrodoKEM-640-AES").ciphertext, 9752u);  // the tables need no backend
  try {
    oqs::_oqs();
  } catch (const QuantumOperationError& e) {
    try {
      std::rethrow_exception(e.cause());
    } catch (const PrimitiveError& cause) {
      EXPECT_STREQ(cause.what(), "this build of morvex has no post-quantum backend");
    }
  }
}

#else

TEST(QuantumLoader, FirstCallRaceOnManyThreadsLoadsOnce) {
  for (int round = 0; round < 3; ++round) {
    oqs::testing::set_backend_available(true);  // forgets the handle
    const auto before = oqs::detail::load_counts();
    std::atomic<bool> go{false};
    std::atomic<int> ok{0};
    std::vector<const oqs::detail::Backend*> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&, i] {
        while (!go.load()) std::this_thread::yield();
        seen[i] = &oqs::detail::backend();
        if (oqs::sig_algorithm("slhdsa", 0) == "SLH-DSA-SHA2-128f") ok.fetch_add(1);
      });
    }
    go.store(true);
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 8);
    const auto after = oqs::detail::load_counts();
    EXPECT_EQ(after.attempts - before.attempts, 1u);
    EXPECT_EQ(after.successes - before.successes, 1u);
    for (const auto* p : seen) EXPECT_EQ(p, seen[0]);
  }
}

TEST(QuantumLoader, FailedLoadIsRetriedAfterEachCall) {
  const auto before = oqs::detail::load_counts();
  {
    BackendAbsent absent;
    for (int i = 0; i < 3; ++i) EXPECT_THROW(oqs::_oqs(), QuantumOperationError);
  }
  oqs::_oqs();
  oqs::_oqs();
  const auto after = oqs::detail::load_counts();
  EXPECT_EQ(after.attempts - before.attempts, 4u);  // three failures, one success
  EXPECT_EQ(after.successes - before.successes, 1u);
}

TEST(QuantumSigAlgorithm, SlhDsaSpellings) {
  EXPECT_EQ(oqs::sig_algorithm("slhdsa", 1), "SLH-DSA-SHA2-192f");  // both enabled: first wins
  EXPECT_EQ(oqs::sig_algorithm("", 2), "SLH-DSA-SHA2-256f");         // any other kind is SLH-DSA
  const auto v = oqs::enabled_sig_mechanisms();
  std::set<std::string> want;
  for (std::int64_t s = 0; s < 3; ++s) {
    want.insert(oqs::mldsa_alg(s));
    for (const std::string& n : oqs::slhdsa_candidates(s)) want.insert(n);
  }
  EXPECT_EQ(std::set<std::string>(v.begin(), v.end()), want);
  EXPECT_EQ(v.size(), 9u);

  oqs::testing::set_enabled_sig_mechanisms(std::vector<std::string>{"ML-DSA-44", "SLH_DSA_PURE_SHA2_192F"});
  EXPECT_EQ(oqs::sig_algorithm("slhdsa", 1), "SLH_DSA_PURE_SHA2_192F");
  EXPECT_MORVEX_ERROR(oqs::sig_algorithm("slhdsa", 2), QuantumOperationError,
                      "No SLH-DSA mechanism available; tried ['SLH-DSA-SHA2-256f', 'SLH_DSA_PURE_SHA2_256F']");
  EXPECT_MORVEX_ERROR(oqs::sig_algorithm("slhdsa", 0), QuantumOperationError,
                      "No SLH-DSA mechanism available; tried ['SLH-DSA-SHA2-128f', 'SLH_DSA_PURE_SHA2_128F']");
  // The bad strength is reported after the query.
  EXPECT_THROW(oqs::sig_algorithm("slhdsa", -1), std::out_of_range);
  oqs::testing::set_enabled_sig_mechanisms(std::nullopt);
  try {
    oqs::testing::set_enabled_sig_mechanisms(std::vector<std::string>{});
    oqs::sig_algorithm("slhdsa", 0);
    ADD_FAILURE();
  } catch (const QuantumOperationError& e) {
    EXPECT_TRUE(e.cause() == nullptr);
  }
  oqs::testing::set_enabled_sig_mechanisms(std::nullopt);
}

namespace {

// Lengths that do not suit the mechanism never reach the library.
void expect_length_refusals(const std::string& alg, const Bytes& pk, const Bytes& sk, const Bytes& ct) {
  const auto shorter = [](const Bytes& b) { return Bytes(b.begin(), b.end() - 1); };
  const auto longer = [](Bytes b) {
    b.push_back(0);
    return b;
  };
  for (const Bytes& bad : {shorter(pk), longer(pk), Bytes{}})
    EXPECT_QUANTUM_PREFIX(oqs::encapsulate(alg, bad), "KEM encapsulation failed (" + alg + "): ");
  for (const auto& [bad_sk, bad_ct] : {std::pair{shorter(sk), ct}, std::pair{longer(sk), ct}, std::pair{sk, shorter(ct)},
                                       std::pair{sk, longer(ct)}, std::pair{sk, Bytes{}}})
    EXPECT_QUANTUM_PREFIX(oqs::decapsulate(alg, bad_sk, bad_ct), "KEM decapsulation failed (" + alg + "): ");
}

}  // namespace

TEST(QuantumKem, MlKemAndFrodoKemRejectionAndLengths) {
  // Round trips: the formats' tests; sizes: the known answers.
  for (const char* alg : {"ML-KEM-512", "ML-KEM-768", "ML-KEM-1024", "FrodoKEM-640-AES", "FrodoKEM-976-AES",
                          "FrodoKEM-1344-AES"}) {
    SCOPED_TRACE(alg);
    const oqs::KeyPair kp = oqs::generate_keypair(alg);
    const oqs::Encapsulation enc = oqs::encapsulate(alg, kp.public_key);
    // An altered capsule or another key pair still decapsulates (implicit
    // rejection), to another secret.
    Bytes bad = enc.ciphertext;
    bad[bad.size() / 2] ^= 1;
    EXPECT_NE(oqs::decapsulate(alg, kp.secret_key, bad), enc.shared_secret);
    EXPECT_NE(oqs::decapsulate(alg, oqs::generate_keypair(alg).secret_key, enc.ciphertext), enc.shared_secret);
    expect_length_refusals(alg, kp.public_key, Bytes(kp.secret_key.begin(), kp.secret_key.end()), enc.ciphertext);
  }
}

TEST(QuantumKem, ClassicMcElieceLengths) {
  // Key generation takes about a second per key: the round trips of all
  // three parameter sets are in the known-answer tests; the lengths need no key.
  for (std::int64_t s = 0; s < 3; ++s) {
    const oqs::KemSizes sz = oqs::kem_sizes(oqs::cmce_alg(s));
    expect_length_refusals(oqs::cmce_alg(s), Bytes(sz.public_key), Bytes(sz.secret_key), Bytes(sz.ciphertext));
  }
}

TEST(QuantumKem, UnknownAndWrongKindNames) {
  EXPECT_QUANTUM_PREFIX(oqs::generate_keypair("Kyber768"), "KEM key generation failed (Kyber768): ");
  EXPECT_QUANTUM_PREFIX(oqs::generate_keypair("ML-DSA-44"), "KEM key generation failed (ML-DSA-44): ");
  EXPECT_QUANTUM_PREFIX(oqs::encapsulate("", Bytes(800)), "KEM encapsulation failed (): ");
  EXPECT_QUANTUM_PREFIX(oqs::decapsulate("ml-kem-512", Bytes(1632), Bytes(768)),
                        "KEM decapsulation failed (ml-kem-512): ");
  EXPECT_QUANTUM_PREFIX(oqs::sig_generate_keypair("ML-KEM-512"), "Signature key generation failed (ML-KEM-512): ");
  EXPECT_QUANTUM_PREFIX(oqs::sig_sign("FrodoKEM-640-AES", Bytes(19888), Bytes{}),
                        "Signing failed (FrodoKEM-640-AES): ");
  // verify answers false for an unsupported or KEM name.
  const oqs::KeyPair kp = oqs::sig_generate_keypair("ML-DSA-44");
  const Bytes sig = oqs::sig_sign("ML-DSA-44", kp.secret_key, Bytes{});
  EXPECT_TRUE(oqs::sig_verify("ML-DSA-44", kp.public_key, Bytes{}, sig));
  EXPECT_FALSE(oqs::sig_verify("Dilithium2", kp.public_key, Bytes{}, sig));
  EXPECT_FALSE(oqs::sig_verify("ML-KEM-512", kp.public_key, Bytes{}, sig));
}

TEST(QuantumSig, EveryMechanismRefusesWhatDoesNotFit) {
  const Bytes msg = morvex::test::bytes_of("attack at dawn");
  for (std::int64_t s = 0; s < 3; ++s) {
    for (const std::string& alg : {oqs::mldsa_alg(s), oqs::slhdsa_candidates(s)[0], oqs::slhdsa_candidates(s)[1]}) {
      SCOPED_TRACE(alg);
      const oqs::KeyPair kp = oqs::sig_generate_keypair(alg);
      const Bytes sig = oqs::sig_sign(alg, kp.secret_key, msg);
      EXPECT_TRUE(oqs::sig_verify(alg, kp.public_key, msg, sig));
      // Altered or cut signature, other data, cut or zero key: false.
      Bytes bad = sig;
      bad[10] ^= 0x40;
      for (const Bytes& b : {bad, Bytes(sig.begin(), sig.end() - 1)})
        EXPECT_FALSE(oqs::sig_verify(alg, kp.public_key, msg, b));
      EXPECT_FALSE(oqs::sig_verify(alg, kp.public_key, morvex::test::bytes_of("attack at dusk"), sig));
      EXPECT_FALSE(oqs::sig_verify(alg, Bytes(kp.public_key.begin(), kp.public_key.end() - 1), msg, sig));
      EXPECT_FALSE(oqs::sig_verify(alg, Bytes(kp.public_key.size(), 0), msg, sig));
      const std::string p_sign = "Signing failed (" + alg + "): ";
      EXPECT_QUANTUM_PREFIX(oqs::sig_sign(alg, Bytes(kp.secret_key.begin(), kp.secret_key.end() - 1), msg), p_sign);
      EXPECT_QUANTUM_PREFIX(oqs::sig_sign(alg, Bytes{}, msg), p_sign);
    }
  }
}

#endif  // MORVEX_WITH_PQ
