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

}  // namespace morvex::py
