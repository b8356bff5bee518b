// How Python values become the core's argument types and the core's results
// become Python values: one caster per kind, so that an operation binds as
// m.def("name", &core_fn, guard, "arg"_a, doc).
//
//   ByteView          <- bytes | bytearray | memoryview (any C-contiguous
//                        buffer; the buffer stays exported, so a bytearray
//                        cannot be resized, for the whole call); str refused
//   std::string_view  <- str, as UTF-8; lone surrogates are handed on as their
//                        three-byte encodings, so the core refuses such text
//                        at its own step with its own error
//   std::int64_t      <- int (anything with __index__); values beyond 64 bits
//                        saturate, so the core's range checks see them as too
//                        large or too small
//   byte results      -> bytes; pairs of byte results -> tuple[bytes, bytes]
//   SecureString      -> str (the text was checked as UTF-8 by the core)
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "morvex/bytes.hpp"
#include "quantum/formats.hpp"
#include "quantum/oqs.hpp"
#include "shutdown_gate.hpp"

namespace morvex::py {
namespace nb = nanobind;

// The call guard of every operation that does real work: the GIL is released
// while the core runs (see shutdown_gate.hpp for the interpreter's exit).
using guard = nb::call_guard<GilRelease>;

inline nb::bytes to_bytes(const std::uint8_t* p, std::size_t n) {
  return nb::bytes(reinterpret_cast<const char*>(p), n);
}
template <class Buffer>
nb::bytes to_bytes(const Buffer& b) {
  return to_bytes(b.data(), b.size());
}

}  // namespace morvex::py

namespace nanobind::detail {

template <>
struct type_caster<morvex::ByteView> {
  NB_TYPE_CASTER(morvex::ByteView, const_name("bytes | bytearray | memoryview"))
  type_caster() = default;
  type_caster(const type_caster&) = delete;
  type_caster& operator=(const type_caster&) = delete;
  ~type_caster() {
    if (exported_) PyBuffer_Release(&buffer_);
  }
  bool from_python(handle src, uint32_t, cleanup_list*) noexcept {
    if (PyUnicode_Check(src.ptr())) return false;
    if (PyObject_GetBuffer(src.ptr(), &buffer_, PyBUF_C_CONTIGUOUS) != 0) {
      PyErr_Clear();
      return false;
    }
    exported_ = true;
    value = {static_cast<const std::uint8_t*>(buffer_.buf), static_cast<std::size_t>(buffer_.len)};
    return true;
  }

 private:
  Py_buffer buffer_{};
  bool exported_ = false;
};

template <>
struct type_caster<std::string_view> {
  NB_TYPE_CASTER(std::string_view, const_name("str"))
  bool from_python(handle src, uint32_t, cleanup_list*) noexcept {
    if (!PyUnicode_Check(src.ptr())) return false;
    Py_ssize_t n = 0;
    if (const char* p = PyUnicode_AsUTF8AndSize(src.ptr(), &n); p != nullptr) {
      value = {p, static_cast<std::size_t>(n)};
      return true;
    }
    PyErr_Clear();
    PyObject* b = PyUnicode_AsEncodedString(src.ptr(), "utf-8", "surrogatepass");
    if (b == nullptr) {
      PyErr_Clear();
      return false;
    }
    keep_ = steal(b);
    value = {PyBytes_AsString(b), static_cast<std::size_t>(PyBytes_Size(b))};
    return true;
  }
  static handle from_cpp(std::string_view v, rv_policy, cleanup_list*) noexcept {
    return PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
  }

 private:
  object keep_;  // the re-encoded copy, when one was needed
};

// Wiping text results: the owner wipes its storage when the result object
// goes, whether or not the conversion worked.
template <>
struct type_caster<morvex::SecureString> {
  NB_TYPE_CASTER(morvex::SecureString, const_name("str"))
  static handle from_cpp(const morvex::SecureString& v, rv_policy p, cleanup_list* c) noexcept {
    return type_caster<std::string_view>::from_cpp(v, p, c);
  }
};

template <>
struct type_caster<std::int64_t> {
  NB_TYPE_CASTER(std::int64_t, const_name("int"))
  bool from_python(handle src, uint32_t, cleanup_list*) noexcept {
    PyObject* i = PyNumber_Index(src.ptr());
    if (i == nullptr) {
      PyErr_Clear();
      return false;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(i, &overflow);
    Py_DECREF(i);
    value = overflow > 0 ? LLONG_MAX : overflow < 0 ? LLONG_MIN : v;
    return true;
  }
  static handle from_cpp(std::int64_t v, rv_policy, cleanup_list*) noexcept { return PyLong_FromLongLong(v); }
};

// Byte results of every owner kind become bytes; wiping owners wipe their
// storage when the result object goes, whether or not the conversion worked.
template <class T>
struct bytes_result_caster {
  NB_TYPE_CASTER(T, const_name("bytes"))
  static handle from_cpp(const T& v, rv_policy, cleanup_list*) noexcept {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()), static_cast<Py_ssize_t>(v.size()));
  }
};
template <>
struct type_caster<morvex::Bytes> : bytes_result_caster<morvex::Bytes> {};
template <>
struct type_caster<morvex::SecureBytes> : bytes_result_caster<morvex::SecureBytes> {};
template <std::size_t N>
struct type_caster<std::array<std::uint8_t, N>> : bytes_result_caster<std::array<std::uint8_t, N>> {};
template <std::size_t N>
struct type_caster<morvex::SecretArray<N>> : bytes_result_caster<morvex::SecretArray<N>> {};

// Results made of two byte strings become a pair.
template <class T, auto First, auto Second>
struct pair_result_caster {
  NB_TYPE_CASTER(T, const_name("tuple[bytes, bytes]"))
  static handle from_cpp(const T& v, rv_policy p, cleanup_list* c) noexcept {
    using A = std::remove_cvref_t<decltype(v.*First)>;
    using B = std::remove_cvref_t<decltype(v.*Second)>;
    object a = steal(type_caster<A>::from_cpp(v.*First, p, c));
    object b = steal(type_caster<B>::from_cpp(v.*Second, p, c));
    return a.is_valid() && b.is_valid() ? PyTuple_Pack(2, a.ptr(), b.ptr()) : nullptr;
  }
};
#define MORVEX_PAIR_RESULT(T, first, second) \
  template <>                                \
  struct type_caster<T> : pair_result_caster<T, &T::first, &T::second> {};
MORVEX_PAIR_RESULT(morvex::quantum::KeyPair, public_key, private_key)
MORVEX_PAIR_RESULT(morvex::quantum::Encrypted, secret, message)
MORVEX_PAIR_RESULT(morvex::quantum::Sealed, ciphertext, tag)
MORVEX_PAIR_RESULT(morvex::quantum::X25519Raw, public_key, private_key)
MORVEX_PAIR_RESULT(morvex::quantum::oqs::KeyPair, public_key, secret_key)
MORVEX_PAIR_RESULT(morvex::quantum::oqs::Encapsulation, ciphertext, shared_secret)
#undef MORVEX_PAIR_RESULT

}  // namespace nanobind::detail
