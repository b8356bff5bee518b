// The areas of the extension module morvex._native.
#pragma once

#include <concepts>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "casters.hpp"

namespace morvex::py {

using namespace nb::literals;

// An operation whose result size the core knows from the input: the bytes
// object is made at that size and the core writes into it without the GIL.
// Otherwise (input the core refuses, or a size only the key tells) the core's
// own result is returned. Trailing arguments go to both forms unchanged.
template <auto Size, auto Into, auto Whole, class... Extra>
nb::bytes written_in_place(ByteView in, std::string_view key, Extra... extra) {
  if (const std::optional<std::size_t> n = Size(in)) {
    PyObject* obj = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(*n));
    if (obj == nullptr) throw nb::python_error();
    nb::bytes out = nb::steal<nb::bytes>(obj);
    const std::span<std::uint8_t> dest(reinterpret_cast<std::uint8_t*>(PyBytes_AsString(obj)), *n);
    {
      GilRelease unlocked;
      Into(in, key, dest, extra...);
    }
    return out;
  }
  const auto whole = [&] {
    GilRelease unlocked;
    return Whole(in, key, extra...);
  }();
  return to_bytes(whole);
}

// A value quoted in a docstring: a number or a text constant.
struct DocValue {
  std::string text;
  template <std::integral T>
  DocValue(T value) : text(std::to_string(value)) {}  // NOLINT: implicit by design
  DocValue(std::string_view value) : text(value) {}  // NOLINT
};
using DocValues = std::initializer_list<std::pair<std::string_view, DocValue>>;

// A docstring whose numbers come from the constants: each "{NAME}" of
// `values` is replaced by its value. nanobind keeps the pointer, so the text
// lives as long as the module.
inline const char* doc(std::string_view text, DocValues values = {}) {
  static std::deque<std::string> texts;
  std::string out(text);
  for (const auto& [name, value] : values) {
    const std::string token = "{" + std::string(name) + "}";
    for (std::size_t at = out.find(token); at != std::string::npos; at = out.find(token, at))
      out.replace(at, token.size(), value.text);
  }
  return texts.emplace_back(std::move(out)).c_str();
}

// Installs the translator that raises morvex.errors classes (with __cause__)
// for MorvexError and the host's own classes for the lower-level failures.
void register_error_translation();

void bind_keys(nb::module_& m);
void bind_aes(nb::module_& m);
void bind_rsa(nb::module_& m);
void bind_hybrid(nb::module_& m);
void bind_password(nb::module_& m);
void bind_quantum(nb::module_& m);
void bind_quantum_oqs(nb::module_& m);
void bind_stream(nb::module_& m);

}  // namespace morvex::py
