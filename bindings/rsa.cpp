#include <openssl/core_names.h>
#include <openssl/evp.h>

#include "common/ossl.hpp"
#include "rsa_side.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"

namespace morvex::py {

namespace {

// A loaded key, as the loaders hand it out; released with the object.
struct KeyHandle {
  rsa::Key key;
  bool is_private;
};

nb::object key_exponent(const KeyHandle& h) {
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(h.key.get(), OSSL_PKEY_PARAM_RSA_E, &raw) != 1) return nb::none();
  const detail::OsslPtr<BIGNUM, BN_free> e(raw);
  const std::unique_ptr<char, void (*)(char*)> dec(BN_bn2dec(e.get()), [](char* p) { OPENSSL_free(p); });
  if (!dec) return nb::none();
  nb::object v = nb::steal(PyLong_FromString(dec.get(), nullptr, 10));
  if (!v.is_valid()) throw nb::python_error();
  return v;
}

// Key generation with the GIL released; the private text is wiped once
// Python holds its copy.
nb::tuple key_pair() {
  std::pair<std::string, std::string> pair = unlocked([] { return rsa::new_key_pair(); });
  nb::tuple out = nb::make_tuple(to_py_str(pair.first), to_py_str(pair.second));
  secure_wipe(pair.first.data(), pair.first.size());
  return out;
}

}  // namespace

void bind_rsa(nb::module_& m) {
  m.attr("KEY_SIZE") = rsa::KEY_SIZE;
  m.attr("PUBLIC_EXPONENT") = rsa::PUBLIC_EXPONENT;
  m.attr("MAX_OAEP_PLAINTEXT") = rsa::MAX_OAEP_PLAINTEXT;

  nb::class_<KeyHandle>(m, "KeyHandle", "A loaded key (released when the object goes).")
      .def_prop_ro("type_name", [](const KeyHandle& h) { return std::string(EVP_PKEY_get0_type_name(h.key.get())); },
                   "The key's algorithm, e.g. \"RSA\".")
      .def_prop_ro("bits", [](const KeyHandle& h) { return EVP_PKEY_get_bits(h.key.get()); },
                   "Modulus size in bits for an RSA key.")
      .def_prop_ro("public_exponent", &key_exponent, "The RSA public exponent, or None for another key type.")
      .def_prop_ro("is_private", [](const KeyHandle& h) { return h.is_private; })
      .def("__repr__", [](const KeyHandle& h) {
        return std::string("<KeyHandle ") + EVP_PKEY_get0_type_name(h.key.get()) + " " +
               std::to_string(EVP_PKEY_get_bits(h.key.get())) + (h.is_private ? " private>" : " public>");
      });

  m.def("new_key_pair", &key_pair, nb::sig("def new_key_pair() -> tuple[str, str]"),
        "A fresh RSA-4096 key pair (e = 65537) as (private key PEM, public key PEM).\n\n"
        "PKCS#8 private key (PRIVATE KEY), SubjectPublicKeyInfo public key (PUBLIC KEY).");

  m.def(
      "_load_public",
      [](const nb::str& pem) {
        nb::object keep;
        const std::string_view t = lenient_text(pem, keep);
        return KeyHandle{unlocked([&] { return rsa::_load_public(t); }), false};
      },
      nb::arg("public_pem"),
      "Read a public key PEM (SubjectPublicKeyInfo or PKCS#1).\n\n"
      "Raises InvalidInputError \"Invalid RSA public key PEM: ...\".");
  m.def(
      "_load_private",
      [](const nb::str& pem) {
        nb::object keep;
        const std::string_view t = lenient_text(pem, keep);
        return KeyHandle{unlocked([&] { return rsa::_load_private(t); }), true};
      },
      nb::arg("private_pem"),
      "Read an unencrypted private key PEM (PKCS#8 or PKCS#1).\n\n"
      "Raises InvalidInputError \"Invalid RSA private key PEM: ...\"; encrypted keys are refused.");

  m.def(
      "_encrypt_oaep",
      bytes_with_key([](ByteView v, std::string_view k) { return rsa::_encrypt_oaep(v, k); }),
      nb::arg("data"), nb::arg("public_pem"),
      nb::sig("def _encrypt_oaep(data: bytes | bytearray | memoryview, public_pem: str) -> bytes"),
      "One direct RSA-OAEP block (SHA-256, MGF1-SHA-256, empty label).\n\n"
      "Raises InvalidInputError for more than 446 bytes or an unreadable key,\n"
      "EncryptionError \"RSA encryption failed: ...\".");
  m.def(
      "_decrypt_oaep",
      bytes_with_key([](ByteView v, std::string_view k) { return rsa::_decrypt_oaep(v, k); }),
      nb::arg("blob"), nb::arg("private_pem"),
      nb::sig("def _decrypt_oaep(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "The plaintext of one RSA-OAEP block.\n\n"
      "Raises InvalidInputError for an unreadable key, DecryptionError \"RSA decryption failed: ...\".");

  m.def(
      "sign_bytes",
      bytes_with_key([](ByteView v, std::string_view k) { return rsa::sign_bytes(v, k); }),
      nb::arg("data"), nb::arg("private_pem"),
      nb::sig("def sign_bytes(data: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "RSA-PSS signature (SHA-256, MGF1-SHA-256, 32-byte salt) of the data.\n\n"
      "Raises InvalidInputError for an unreadable key, SignatureError \"RSA signing failed: ...\".");
  m.def(
      "verify_bytes",
      [](nb::handle data, nb::handle signature, const nb::str& pem) {
        const BytesArg in(data);
        const BytesArg sig(signature);
        nb::object keep;
        const std::string_view k = lenient_text(pem, keep);
        return unlocked([&] { return rsa::verify_bytes(in.view(), sig.view(), k); });
      },
      nb::arg("data"), nb::arg("signature"), nb::arg("public_pem"),
      nb::sig("def verify_bytes(data: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview, "
              "public_pem: str) -> bool"),
      "True when the signature is a valid RSA-PSS signature of the data, else False.\n\n"
      "An unreadable key text, or one holding a non-RSA key, raises InvalidInputError.");
  m.def(
      "sign_str",
      text_with_key([](std::string_view t, std::string_view k) { return rsa::sign_str(t, k); }),
      nb::arg("plaintext"), nb::arg("private_pem"),
      "Sign the UTF-8 bytes of the text; returns the signature as Base64 text.");
  m.def(
      "verify_str",
      [](const nb::str& plaintext, const nb::str& signature_b64, const nb::str& pem) {
        const std::string_view p = text_arg(plaintext);
        const std::string_view s = text_arg(signature_b64);
        nb::object keep;
        const std::string_view k = lenient_text(pem, keep);
        return unlocked([&] { return rsa::verify_str(p, s, k); });
      },
      nb::arg("plaintext"), nb::arg("signature_b64"), nb::arg("public_pem"),
      "Verify a Base64 signature of the text's UTF-8 bytes.\n\n"
      "A signature text that is not strict Base64 gives False.");

  m.def(
      "encrypt_bytes",
      [](nb::handle data, const nb::str& pem) -> nb::bytes {
        const BytesArg in(data);
        nb::object keep;
        const std::string_view k = lenient_text(pem, keep);
        const ByteView v = in.view();
        if (v.size() > rsa::MAX_OAEP_PLAINTEXT) {
          // An envelope: written straight into the result.
          return bytes_result(v.size() + hybrid::ENVELOPE_OVERHEAD,
                              [&](std::span<std::uint8_t> out) { hybrid::encrypt_bytes_into(v, k, out); });
        }
        return to_py_bytes(unlocked([&] { return rsa::encrypt_bytes(v, k); }));
      },
      nb::arg("data"), nb::arg("public_pem"),
      nb::sig("def encrypt_bytes(data: bytes | bytearray | memoryview, public_pem: str) -> bytes"),
      "Encrypt to the public key: up to 446 bytes as one direct RSA-OAEP block,\n"
      "longer data as a hybrid envelope.\n\n"
      "Raises InvalidInputError for empty data or an unreadable key, EncryptionError.");
  m.def(
      "decrypt_bytes",
      [](nb::handle blob, const nb::str& pem) { return decrypt_auto_result(blob, pem); },
      nb::arg("blob"), nb::arg("private_pem"),
      nb::sig("def decrypt_bytes(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "Decrypt a direct RSA block, a hybrid envelope or a legacy envelope\n"
      "(recognised by their bytes).");
  m.def(
      "encrypt_str",
      text_with_key([](std::string_view t, std::string_view k) { return rsa::encrypt_str(t, k); }),
      nb::arg("plaintext"), nb::arg("public_pem"),
      "Encrypt text (as UTF-8) to the public key; returns Base64 text.\n\n"
      "Raises InvalidInputError for the empty text.");
  m.def(
      "decrypt_str",
      text_with_key([](std::string_view t, std::string_view k) { return rsa::decrypt_str(t, k); }),
      nb::arg("ciphertext_b64"), nb::arg("private_pem"),
      "Decrypt Base64 text made by encrypt_str back to text.\n\n"
      "Raises DecryptionError \"Ciphertext is not valid Base64\" or\n"
      "\"Decrypted data is not valid UTF-8\", or the error of decrypt_bytes.");
}

}  // namespace morvex::py
