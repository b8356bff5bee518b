// Timing for the C++ benchmark helpers: best microseconds per call over
// interleaved samples, in this thread's CPU time (a shared machine disturbs
// it far less than wall time).
#pragma once

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace morvex::bench {

using Fn = std::function<void()>;

inline double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline std::size_t calibrate(const Fn& f, double seconds) {
  std::size_t n = 1;
  for (;;) {
    const double t0 = cpu_seconds();
    for (std::size_t i = 0; i < n; ++i) f();
    const double dt = cpu_seconds() - t0;
    if (dt > seconds / 32 || n > (1u << 20))
      return std::max<std::size_t>(1, static_cast<std::size_t>(n * (seconds / 8) / dt));
    n *= 4;
  }
}

inline std::vector<double> best_us(const std::vector<Fn>& fs, double seconds, int samples) {
  std::vector<std::size_t> n;
  for (const Fn& f : fs) n.push_back(calibrate(f, seconds));
  std::vector<double> best(fs.size(), 1e300);
  for (int s = 0; s < samples; ++s) {
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const double t0 = cpu_seconds();
      for (std::size_t i = 0; i < n[k]; ++i) fs[k]();
      best[k] = std::min(best[k], (cpu_seconds() - t0) * 1e6 / static_cast<double>(n[k]));
    }
  }
  return best;
}

}  // namespace morvex::bench
