#include <nanobind/stl/pair.h>

#include "module.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"

namespace morvex::py {
namespace {

// A loaded key, as the loaders hand it out; released with the object.
struct KeyHandle {
  rsa::Key key;
  bool is_private;
};

template <rsa::Key (*Load)(std::string_view), bool Private>
KeyHandle load(std::string_view pem) {
  return {Load(pem), Private};
}

nb::object exponent(const KeyHandle& h) {
  const std::optional<std::string> e = rsa::describe(h.key).public_exponent;
  if (!e) return nb::none();
  return nb::steal(PyLong_FromString(e->c_str(), nullptr, 10));
}

std::string key_repr(const KeyHandle& h) {
  const rsa::KeyDescription d = rsa::describe(h.key);
  return "<KeyHandle " + d.type_name + " " + std::to_string(d.bits) + (h.is_private ? " private>" : " public>");
}

}  // namespace

void bind_rsa(nb::module_& m) {
  m.attr("KEY_SIZE") = rsa::KEY_SIZE;
  m.attr("PUBLIC_EXPONENT") = rsa::PUBLIC_EXPONENT;
  m.attr("MAX_OAEP_PLAINTEXT") = rsa::MAX_OAEP_PLAINTEXT;
  const rsa::OaepParameters& oaep = rsa::kOaep;
  m.attr("_OAEP") = nb::make_tuple(oaep.hash, oaep.mgf, oaep.mgf_hash, to_bytes(as_bytes(oaep.label)));
  const rsa::PssParameters& pss = rsa::kPss;
  m.attr("_PSS") = nb::make_tuple(pss.hash, pss.mgf, pss.mgf_hash, pss.salt_length);

  nb::class_<KeyHandle>(m, "KeyHandle", "A loaded key (released when the object goes).")
      .def_prop_ro("type_name", [](const KeyHandle& h) { return rsa::describe(h.key).type_name; },
                   "The key's algorithm, e.g. \"RSA\".")
      .def_prop_ro("bits", [](const KeyHandle& h) { return rsa::describe(h.key).bits; },
                   "Modulus size in bits for an RSA key.")
      .def_prop_ro("public_exponent", &exponent, nb::sig("def public_exponent(self) -> int | None"),
                   "The RSA public exponent, or None for another key type.")
      .def_ro("is_private", &KeyHandle::is_private)
      .def("__repr__", &key_repr);

  m.def("new_key_pair", &rsa::new_key_pair, guard(),
        "A fresh RSA-4096 key pair (e = 65537) as (private key PEM, public key PEM).\n\n"
        "PKCS#8 private key (PRIVATE KEY), SubjectPublicKeyInfo public key (PUBLIC KEY).");
  m.def("_load_public", &load<&rsa::_load_public, false>, guard(), "public_pem"_a,
        "Read a public key PEM (SubjectPublicKeyInfo or PKCS#1).\n\n"
        "Raises InvalidInputError \"Invalid RSA public key PEM: ...\", also for an RSA key\n"
        "whose public exponent is 1 or even.");
  m.def("_load_private", &load<&rsa::_load_private, true>, guard(), "private_pem"_a,
        "Read an unencrypted private key PEM (PKCS#8 or PKCS#1).\n\n"
        "Raises InvalidInputError \"Invalid RSA private key PEM: ...\"; encrypted keys are refused.");

  m.def("_encrypt_oaep", &rsa::_encrypt_oaep, guard(), "data"_a, "public_pem"_a,
        "One direct RSA-OAEP block (SHA-256, MGF1-SHA-256, empty label).\n\n"
        "Raises InvalidInputError for more than 446 bytes or an unreadable key,\n"
        "EncryptionError \"RSA encryption failed: ...\".");
  m.def("_decrypt_oaep", &rsa::_decrypt_oaep, guard(), "blob"_a, "private_pem"_a,
        "The plaintext of one RSA-OAEP block.\n\n"
        "Raises InvalidInputError for an unreadable key, DecryptionError \"RSA decryption failed: ...\".");

  m.def("sign_bytes", &rsa::sign_bytes, guard(), "data"_a, "private_pem"_a,
        "RSA-PSS signature (SHA-256, MGF1-SHA-256, 32-byte salt) of the data.\n\n"
        "Raises InvalidInputError for an unreadable key, SignatureError \"RSA signing failed: ...\".");
  m.def("verify_bytes", &rsa::verify_bytes, guard(), "data"_a, "signature"_a, "public_pem"_a,
        "True when the signature is a valid RSA-PSS signature of the data, else False.\n\n"
        "An unreadable key text, or one holding a non-RSA key, raises InvalidInputError.");
  m.def("sign_str", &rsa::sign_str, guard(), "plaintext"_a, "private_pem"_a,
        "Sign the UTF-8 bytes of the text; returns the signature as Base64 text.");
  m.def("verify_str", &rsa::verify_str, guard(), "plaintext"_a, "signature_b64"_a, "public_pem"_a,
        "Verify a Base64 signature of the text's UTF-8 bytes.\n\n"
        "A signature text that is not strict Base64 gives False.");

  m.def("encrypt_bytes", &written_in_place<&rsa::encrypted_size, &rsa::encrypt_bytes_into, &rsa::encrypt_bytes>,
        "data"_a, "public_pem"_a,
        "Encrypt to the public key: up to 446 bytes as one direct RSA-OAEP block,\n"
        "longer data as a hybrid envelope.\n\n"
        "Raises InvalidInputError for empty data or an unreadable key, EncryptionError.");
  m.def("decrypt_bytes",
        &written_in_place<&hybrid::known_plaintext_size, &hybrid::decrypt_auto_into, &rsa::decrypt_bytes>,
        "blob"_a, "private_pem"_a,
        "Decrypt a direct RSA block, a hybrid envelope or a legacy envelope\n"
        "(recognised by their bytes).");
  m.def("encrypt_str", &rsa::encrypt_str, guard(), "plaintext"_a, "public_pem"_a,
        "Encrypt text (as UTF-8) to the public key; returns Base64 text.\n\n"
        "Raises InvalidInputError for the empty text.");
  m.def("decrypt_str", &rsa::decrypt_str, guard(), "ciphertext_b64"_a, "private_pem"_a,
        "Decrypt Base64 text made by encrypt_str back to text.\n\n"
        "Raises DecryptionError \"Ciphertext is not valid Base64\" or\n"
        "\"Decrypted data is not valid UTF-8\", or the error of decrypt_bytes.");
}

}  // namespace morvex::py
