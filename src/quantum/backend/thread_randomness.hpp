// Where a C library's randomness comes from on this thread: the system source,
// or the deterministic draws of a known-answer test. The libraries call one
// process-wide function; it reads this thread's slot, which a
// RandomnessScope sets for the length of one operation. A failure of the
// system source cannot unwind through the library's C code: it is noted, the
// request is filled with zeros, and the scope throws it once the library
// returns, so the call's result is never used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/ossl.hpp"
#include "morvex/errors.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs::internal {

struct ThreadRandomness {
  Entropy* entropy = nullptr;
  bool failed = false;

  void draw(std::uint8_t* out, std::size_t n) noexcept {
    if (n == 0) return;
    try {
      if (entropy != nullptr)
        entropy->draw(std::span<std::uint8_t>(out, n));
      else
        detail::random_bytes(out, n);
    } catch (...) {
      failed = true;
      secure_wipe(out, n);
    }
  }
};

class RandomnessScope {
 public:
  RandomnessScope(ThreadRandomness& slot, Entropy* entropy) : slot_(slot), saved_(slot.entropy) {
    slot.entropy = entropy;
    slot.failed = false;
  }
  ~RandomnessScope() { slot_.entropy = saved_; }
  RandomnessScope(const RandomnessScope&) = delete;
  RandomnessScope& operator=(const RandomnessScope&) = delete;

  // Throws PrimitiveError when a draw failed during the scope.
  void check() const {
    if (slot_.failed) throw PrimitiveError("random source failed");
  }

 private:
  ThreadRandomness& slot_;
  Entropy* saved_;
};

}  // namespace morvex::quantum::oqs::internal
