// Glue shared by the RSA and hybrid bindings, whose decryptions both end in
// the format detection.
#pragma once

#include "glue.hpp"

namespace morvex::py {

// decrypt_auto over a bytes-like blob, written straight into the result
// where the plaintext size is known from the layout (see hybrid.cpp).
nb::bytes decrypt_auto_result(nb::handle blob, const nb::str& pem);

// Binds `f(ByteView, key text) -> bytes` as (bytes-like, str) -> bytes, run
// without the GIL.
template <class F>
auto bytes_with_key(F f) {
  return [f](nb::handle data, const nb::str& pem) {
    const BytesArg in(data);
    nb::object keep;
    const std::string_view k = lenient_text(pem, keep);
    return to_py_bytes(unlocked([&] { return f(in.view(), k); }));
  };
}

// Binds `f(text, key text) -> text` as (str, str) -> str, run without the GIL.
template <class F>
auto text_with_key(F f) {
  return [f](const nb::str& text, const nb::str& pem) {
    const std::string_view t = text_arg(text);
    nb::object keep;
    const std::string_view k = lenient_text(pem, keep);
    return to_py_str(unlocked([&] { return f(t, k); }));
  };
}

}  // namespace morvex::py
