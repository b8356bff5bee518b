// Shared glue for the extension module: argument views, result builders and
// the hand-off of C++ failures to Python's error classes.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

#include <unistd.h>

#include <atomic>
#include <thread>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "morvex/bytes.hpp"

namespace morvex::py {

namespace nb = nanobind;

// A read-only view of a bytes-like argument (bytes, bytearray, memoryview or
// any C-contiguous buffer). The buffer stays exported, so a bytearray cannot
// be resized, while the view lives. A str raises TypeError.
class BytesArg {
 public:
  explicit BytesArg(nb::handle obj) {
    if (PyUnicode_Check(obj.ptr())) {
      PyErr_Format(PyExc_TypeError, "a bytes-like object is required, not 'str'");
      throw nb::python_error();
    }
    if (PyObject_GetBuffer(obj.ptr(), &view_, PyBUF_C_CONTIGUOUS) != 0) throw nb::python_error();
  }
  BytesArg(const BytesArg&) = delete;
  BytesArg& operator=(const BytesArg&) = delete;
  ~BytesArg() { PyBuffer_Release(&view_); }
  ByteView view() const noexcept {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

// The UTF-8 form of a str argument (cached inside the str object, no copy).
// A str holding lone surrogates raises UnicodeEncodeError.
inline std::string_view text_arg(const nb::str& s) {
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.ptr(), &n);
  if (p == nullptr) throw nb::python_error();
  return {p, static_cast<std::size_t>(n)};
}

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
namespace shutdown {
inline std::atomic<bool> closing{false};
inline std::atomic<int> returning{0};
// The thread that runs the exit hooks and then finalizes: it never parks.
inline std::atomic<std::thread::id> exit_thread{};

[[noreturn]] inline void park() noexcept {
  for (;;) pause();
}

// Registered with the atexit module; runs with the GIL held.
void install_exit_hook(nb::module_& m);
}  // namespace shutdown

// Releases the GIL for its lifetime (see `shutdown` above for what happens
// when the interpreter exits meanwhile).
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

// The UTF-8 form of a str whose lone surrogates, if any, are kept as their
// three-byte encodings, so that the core refuses such text at its own step
// (an unreadable key, a malformed record) rather than the binding raising an
// encoding error first. `keep` owns the re-encoded copy when one is needed.
inline std::string_view lenient_text(const nb::str& s, nb::object& keep) {
  Py_ssize_t n = 0;
  if (const char* p = PyUnicode_AsUTF8AndSize(s.ptr(), &n); p != nullptr) return {p, static_cast<std::size_t>(n)};
  PyErr_Clear();
  PyObject* b = PyUnicode_AsEncodedString(s.ptr(), "utf-8", "surrogatepass");
  if (b == nullptr) throw nb::python_error();
  keep = nb::steal(b);
  return {PyBytes_AS_STRING(b), static_cast<std::size_t>(PyBytes_GET_SIZE(b))};
}

// A new bytes object of `n` bytes whose content `fill(std::span<uint8_t>)`
// writes with the GIL released.
template <class Fill>
nb::bytes bytes_result(std::size_t n, Fill&& fill) {
  PyObject* obj = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
  if (obj == nullptr) throw nb::python_error();
  nb::bytes out = nb::steal<nb::bytes>(obj);
  auto* p = reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(obj));
  {
    GilRelease unlocked;
    fill(std::span<std::uint8_t>(p, n));
  }
  return out;
}

template <class Alloc>
nb::bytes to_py_bytes(const std::vector<std::uint8_t, Alloc>& b) {
  return nb::bytes(reinterpret_cast<const char*>(b.data()), b.size());
}

inline nb::str to_py_str(std::string_view s) { return nb::str(s.data(), s.size()); }

// Runs `f` with the GIL released and returns its result.
template <class F>
auto unlocked(F&& f) {
  GilRelease guard;
  return f();
}

// Installs the translator that raises morvex.errors classes (with __cause__)
// for MorvexError, binascii.Error for Base64Error, UnicodeDecodeError for
// Utf8Error and RuntimeError for PrimitiveError.
void register_error_translation();

void bind_keys(nb::module_& m);
void bind_aes(nb::module_& m);
void bind_rsa(nb::module_& m);
void bind_hybrid(nb::module_& m);
void bind_password(nb::module_& m);
void bind_quantum(nb::module_& m);
void bind_quantum_oqs(nb::module_& m);

}  // namespace morvex::py
