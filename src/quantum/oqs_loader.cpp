// The loader of the post-quantum backend. The handle is published once and
// kept; a failed load is not remembered, so the next call tries again.
#include <atomic>
#include <mutex>

#include "morvex/errors.hpp"
#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace morvex::quantum::oqs {
namespace internal {
namespace {

constexpr const char* kLoaderMessage =
    "Post-quantum support requires the native liboqs binding. Install it with:  pip install "
    "'morvex[quantum]'";

std::atomic<const Backend*> g_handle{nullptr};
std::atomic<bool> g_forced_absent{false};
std::mutex g_load_mutex;
std::atomic<std::uint64_t> g_attempts{0}, g_successes{0};

// One load attempt; throws the reason the backend is unavailable.
const Backend& try_load() {
  if (g_forced_absent.load(std::memory_order_acquire))
    throw PrimitiveError("the post-quantum backend is marked absent");
#ifdef MORVEX_WITH_PQ
  return load_linked_backend();
#else
  throw PrimitiveError("this build of morvex has no post-quantum backend");
#endif
}

}  // namespace

const Backend& backend() {
  if (const Backend* h = g_handle.load(std::memory_order_acquire)) return *h;
  std::lock_guard lock(g_load_mutex);
  if (const Backend* h = g_handle.load(std::memory_order_acquire)) return *h;
  g_attempts.fetch_add(1, std::memory_order_relaxed);
  try {
    const Backend& b = try_load();
    g_handle.store(&b, std::memory_order_release);
    g_successes.fetch_add(1, std::memory_order_relaxed);
    return b;
  } catch (...) {
    throw QuantumOperationError(kLoaderMessage, std::current_exception());
  }
}

LoadCounts load_counts() noexcept {
  return {g_attempts.load(std::memory_order_relaxed), g_successes.load(std::memory_order_relaxed)};
}

}  // namespace internal

void _oqs() { (void)internal::backend(); }

namespace testing {

void set_backend_available(bool available) {
  std::lock_guard lock(internal::g_load_mutex);
  internal::g_forced_absent.store(!available, std::memory_order_release);
  // Forget the handle either way: the next call loads again, as a process
  // that has not loaded yet would. The backend itself is immortal, so calls
  // still running on the old handle are unaffected.
  internal::g_handle.store(nullptr, std::memory_order_release);
}

}  // namespace testing
}  // namespace morvex::quantum::oqs
