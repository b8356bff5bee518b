#include "shutdown_gate.hpp"

#include <unistd.h>

namespace morvex::py {

void shutdown::park() noexcept {
  for (;;) pause();
}

void shutdown::install_exit_hook(nanobind::module_& m) {
  // Open again should an embedding host start a new interpreter after an exit.
  closing.store(false);
  m.def("_close_gate", [] {
    exit_thread.store(std::this_thread::get_id());
    closing.store(true);
    // Threads already past the gate get back into Python before
    // finalization can begin.
    PyThreadState* self = PyEval_SaveThread();
    while (returning.load() != 0) std::this_thread::yield();
    PyEval_RestoreThread(self);
  });
  nanobind::module_::import_("atexit").attr("register")(m.attr("_close_gate"));
}

}  // namespace morvex::py
