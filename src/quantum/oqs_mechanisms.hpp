// The mechanisms the adapter offers under their liboqs names, with their
// object sizes and the library that implements each; the backend interface
// behind the loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "morvex/bytes.hpp"
#include "quantum/oqs.hpp"

namespace morvex::quantum::oqs::internal {

enum class Family { MlKem, FrodoKem, ClassicMcEliece, MlDsa, SlhDsa };

struct Mechanism {
  std::string_view name;  // the liboqs mechanism name
  Family family;
  std::string_view impl;  // OpenSSL algorithm name or Botan parameter set
  std::size_t public_key;
  std::size_t secret_key;
  std::size_t output;         // KEM capsule, or signature
  std::size_t shared_secret;  // KEM only (0 for signatures)
  // How liboqs draws the randomness of key generation and encapsulation:
  // bytes taken in one piece (0: one draw per request of the library).
  std::size_t keygen_draw;
  std::size_t encaps_draw;

  bool is_kem() const noexcept {
    return family == Family::MlKem || family == Family::FrodoKem || family == Family::ClassicMcEliece;
  }
};

// Every mechanism, KEMs first; each SLH-DSA parameter set appears under both
// of its spellings.
std::span<const Mechanism> mechanisms() noexcept;
// nullptr for a name the adapter does not know.
const Mechanism* find_mechanism(std::string_view name) noexcept;

// The index of a strength into the name tables; OutOfRangeError unless
// 0, 1 or 2.
std::size_t strength_index(std::int64_t strength);

// Deterministic randomness for known-answer tests: each draw is one request
// of the caller's generator (for a NIST DRBG, one Generate call).
class Entropy {
 public:
  virtual ~Entropy() = default;
  virtual void draw(std::span<std::uint8_t> out) = 0;
};

// The linked post-quantum implementation. Lengths are checked by the caller;
// failures throw PrimitiveError (or the library's own exception).
class Backend {
 public:
  virtual ~Backend() = default;
  virtual KeyPair kem_keypair(const Mechanism& m, Entropy* entropy) const = 0;
  virtual Encapsulation kem_encapsulate(const Mechanism& m, ByteView public_key,
                                        Entropy* entropy) const = 0;
  virtual SecureBytes kem_decapsulate(const Mechanism& m, ByteView secret_key,
                                      ByteView ciphertext) const = 0;
  virtual KeyPair sig_keypair(const Mechanism& m, Entropy* entropy) const = 0;
  virtual Bytes sig_sign(const Mechanism& m, ByteView secret_key, ByteView message,
                         Entropy* entropy) const = 0;
  virtual bool sig_verify(const Mechanism& m, ByteView public_key, ByteView message,
                          ByteView signature) const = 0;
};

// The loaded backend (what _oqs() makes available); throws the loader's
// QuantumOperationError when it is absent.
const Backend& backend();

// How many times a load has been attempted and has succeeded (tests).
struct LoadCounts {
  std::uint64_t attempts, successes;
};
LoadCounts load_counts() noexcept;

// The libraries that implement mechanisms.
enum class Provider : unsigned { Liboqs, OpenSsl, Botan, LibMcEliece };

#ifdef MORVEX_WITH_PQ
std::string_view provider_name(Provider p) noexcept;

// Defined by the backend: checks that the libraries offer every mechanism
// and returns the process-wide instance; throws PrimitiveError otherwise.
const Backend& load_linked_backend();

// The providers this build carries for a mechanism, the one in use first
// (liboqs where it is built in and offers the mechanism). Call after the
// backend has loaded.
std::span<const Provider> providers(const Mechanism& m);

// For the scope's lifetime this thread's calls go to the first provider of
// each mechanism that is in `allowed`, and to the usual one where none is
// (tests and benchmarks: every provider gives the same bytes).
class ProviderScope {
 public:
  explicit ProviderScope(std::initializer_list<Provider> allowed);
  ~ProviderScope();
  ProviderScope(const ProviderScope&) = delete;
  ProviderScope& operator=(const ProviderScope&) = delete;

 private:
  unsigned saved_;
};
#endif

}  // namespace morvex::quantum::oqs::internal
