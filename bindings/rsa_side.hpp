// Glue shared by the RSA and hybrid bindings, whose decryptions both end in
// the format detection.
#pragma once

#include "glue.hpp"

namespace morvex::py {

// The UTF-8 form of a key text (see rsa.cpp); `keep` owns any re-encoding.
std::string_view pem_text(const nb::str& s, nb::object& keep);

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
    const std::string_view k = pem_text(pem, keep);
    return to_py_bytes(unlocked([&] { return f(in.view(), k); }));
  };
}

// Binds `f(text, key text) -> text` as (str, str) -> str, run without the GIL.
template <class F>
auto text_with_key(F f) {
  return [f](const nb::str& text, const nb::str& pem) {
    const std::string_view t = text_arg(text);
    nb::object keep;
    const std::string_view k = pem_text(pem, keep);
    return to_py_str(unlocked([&] { return f(t, k); }));
  };
}

}  // namespace morvex::py
