// Interpreter shutdown and threads still inside morvex.
//
// When Python shuts down while a daemon thread is inside a morvex call with
// the GIL released, that thread must not take the GIL back once finalization
// has begun: Python would end it by forced unwinding through the binding's
// frames, and the process would abort. An exit hook (registered when the
// module loads, run before finalization begins) closes a gate: other threads
// that finish their work after that park until the process has exited, and
// the hook waits for those already on their way back into Python. The
// exiting thread itself (later exit hooks, finalizers) passes as usual.
#pragma once

#include <nanobind/nanobind.h>

#include <atomic>
#include <thread>

namespace morvex::py {

namespace shutdown {
inline std::atomic<bool> closing{false};
inline std::atomic<int> returning{0};
// The thread that runs the exit hooks and then finalizes: it never parks.
inline std::atomic<std::thread::id> exit_thread{};

[[noreturn]] void park() noexcept;

// Registered with the atexit module; runs with the GIL held.
void install_exit_hook(nanobind::module_& m);
}  // namespace shutdown

// Releases the GIL for its lifetime; on the way back it passes the gate.
// The call guard of every operation that does real work.
class GilRelease {
 public:
  GilRelease() noexcept : state_(PyEval_SaveThread()) {}
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;
  ~GilRelease() {
    shutdown::returning.fetch_add(1);
    if (shutdown::closing.load() && std::this_thread::get_id() != shutdown::exit_thread.load()) {
      shutdown::returning.fetch_sub(1);
      shutdown::park();
    }
    PyEval_RestoreThread(state_);
    shutdown::returning.fetch_sub(1);
  }

 private:
  PyThreadState* state_;
};

}  // namespace morvex::py
