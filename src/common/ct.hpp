// Marks for the constant-time check (make test-ct). That check runs our code
// under valgrind memcheck with the secret inputs marked undefined, so that
// every branch and every memory index that depends on a secret is reported.
// `public_value` declares a value computed from secrets public from there on;
// every use says why it may be. Outside the check's build (MORVEX_CT) the
// marks compile to nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef MORVEX_CT
#include <valgrind/memcheck.h>
#define MORVEX_CT_SECRET(p, n) VALGRIND_MAKE_MEM_UNDEFINED((p), (n))
#define MORVEX_CT_PUBLIC(p, n) VALGRIND_MAKE_MEM_DEFINED((p), (n))
#else
#define MORVEX_CT_SECRET(p, n) ((void)(p), (void)(n))
#define MORVEX_CT_PUBLIC(p, n) ((void)(p), (void)(n))
#endif

namespace morvex::detail {

template <class T>
inline T public_value(T v) noexcept {
  MORVEX_CT_PUBLIC(&v, sizeof v);
  return v;
}

// All ones when a < b, else zero (both below 2^31), without a branch.
inline std::uint32_t ct_lt_mask(std::uint32_t a, std::uint32_t b) noexcept {
  return 0u - ((a - b) >> 31);
}
// All ones when a == b (both below 2^31), else zero.
inline std::uint32_t ct_eq_mask(std::uint32_t a, std::uint32_t b) noexcept {
  return ~(ct_lt_mask(a, b) | ct_lt_mask(b, a));
}

}  // namespace morvex::detail
