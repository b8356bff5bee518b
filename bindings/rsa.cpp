#include <nanobind/stl/pair.h>

#include "module.hpp"
#include "morvex/hybrid.hpp"
#include "morvex/rsa.hpp"
#include "rsa/internal.hpp"

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

  // The Python contract of each public operation; the errors are those of
  // morvex/rsa.hpp (scripts/check_contracts.py compares them).
  const DocValues sizes = {
      {"BITS", rsa::KEY_SIZE},
      {"E", rsa::PUBLIC_EXPONENT},
      {"MAX", rsa::MAX_OAEP_PLAINTEXT},
      {"BLOCK", hybrid::RSA_BLOCK},
      {"OVERHEAD", hybrid::ENVELOPE_OVERHEAD},
      {"SALT", rsa::kPss.salt_length}};

  m.def("new_key_pair", &rsa::new_key_pair, guard(), doc(R"~(Generate a fresh RSA-{BITS} key pair (public exponent {E}).

Returns:
    (private key PEM, public key PEM): unencrypted PKCS#8 ("PRIVATE KEY") and
    SubjectPublicKeyInfo ("PUBLIC KEY").

Raises:
    RuntimeError: the key generator or the PEM writer failed (not expected).)~", sizes));
  m.def("_load_public", &load<&rsa::_load_public, false>, guard(), "public_pem"_a,
        "Read a public key PEM (SubjectPublicKeyInfo or PKCS#1).\n\n"
        "Raises InvalidInputError \"Invalid RSA public key PEM: ...\", also for an RSA key\n"
        "whose public exponent is 1 or even.");
  m.def("_load_private", &load<&rsa::_load_private, true>, guard(), "private_pem"_a,
        "Read an unencrypted private key PEM (PKCS#8 or PKCS#1).\n\n"
        "Raises InvalidInputError \"Invalid RSA private key PEM: ...\"; encrypted keys are refused.");

  m.def("_encrypt_oaep", nb::overload_cast<ByteView, std::string_view>(&rsa::internal::encrypt_oaep), guard(), "data"_a, "public_pem"_a,
        doc("One direct RSA-OAEP block (SHA-256, MGF1-SHA-256, empty label).\n\n"
            "Raises InvalidInputError for more than {MAX} bytes or an unreadable key,\n"
            "EncryptionError \"RSA encryption failed: ...\".",
            sizes));
  m.def("_decrypt_oaep", nb::overload_cast<ByteView, std::string_view>(&rsa::internal::decrypt_oaep), guard(), "blob"_a, "private_pem"_a,
        "The plaintext of one RSA-OAEP block.\n\n"
        "Raises InvalidInputError for an unreadable key, DecryptionError \"RSA decryption failed: ...\".");

  m.def("sign_bytes", &rsa::sign_bytes, guard(), "data"_a, "private_pem"_a,
        doc(R"~(Sign bytes with RSA-PSS (SHA-256, MGF1-SHA-256, {SALT}-byte salt).

Args:
    data: the bytes to sign (may be empty).
    private_pem: the signer's private key PEM.

Returns:
    The raw signature ({BLOCK} bytes for RSA-{BITS}).

Raises:
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.
    SignatureError: "RSA signing failed: ...".)~", sizes));
  m.def("verify_bytes", &rsa::verify_bytes, guard(), "data"_a, "signature"_a, "public_pem"_a,
        R"~(Check an RSA-PSS signature of bytes.

Args:
    data: the signed bytes.
    signature: the raw signature.
    public_pem: the signer's public key PEM.

Returns:
    True for a valid signature, False otherwise.

Raises:
    InvalidInputError: "Invalid RSA public key PEM: ..." for an unreadable key
        text or a key that is not an RSA key.)~");
  m.def("sign_str", &rsa::sign_str, guard(), "plaintext"_a, "private_pem"_a,
        doc(R"~(Sign text with RSA-PSS (SHA-256, MGF1-SHA-256, {SALT}-byte salt).

Args:
    plaintext: the text whose UTF-8 bytes are signed.
    private_pem: the signer's private key PEM.

Returns:
    The signature ({BLOCK} bytes for RSA-{BITS}) as Base64 text.

Raises:
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.
    SignatureError: "RSA signing failed: ...".)~", sizes));
  m.def("verify_str", &rsa::verify_str, guard(), "plaintext"_a, "signature_b64"_a, "public_pem"_a,
        R"~(Check a Base64 RSA-PSS signature of a text.

Args:
    plaintext: the signed text.
    signature_b64: the signature as Base64 text.
    public_pem: the signer's public key PEM.

Returns:
    True for a valid signature; False for any other signature, including a
    signature text that is not strict Base64 (the key text is then not read).

Raises:
    InvalidInputError: "Invalid RSA public key PEM: ..." for an unreadable key
        text or a key that is not an RSA key.)~");

  m.def("encrypt_bytes", &written_in_place<&rsa::encrypted_size, &rsa::encrypt_bytes_into, &rsa::encrypt_bytes>,
        "data"_a, "public_pem"_a, doc(R"~(Encrypt bytes to an RSA public key.

Up to {MAX} bytes become one direct RSA-OAEP block (SHA-256, {BLOCK} bytes for
RSA-{BITS}); longer data becomes a hybrid envelope (len(data) + {OVERHEAD} bytes).

Args:
    data: the bytes to encrypt; must not be empty.
    public_pem: the recipient's public key PEM (SubjectPublicKeyInfo or PKCS#1).

Returns:
    The direct block or the envelope.

Raises:
    InvalidInputError: "Data cannot be empty"; "Invalid RSA public key PEM:
        ..." for an unreadable key text; data over {MAX} bytes to a key that
        is not {BITS} bits ("Recipient RSA key is ... bits: ...").
    EncryptionError: "RSA encryption failed: ..." (a key that is not RSA,
        data over a smaller key's OAEP limit) or the envelope's AES step failed.)~", sizes));
  m.def("decrypt_bytes",
        &written_in_place<&hybrid::known_plaintext_size, &hybrid::decrypt_auto_into, &rsa::decrypt_bytes>,
        "blob"_a, "private_pem"_a, R"~(Decrypt a direct RSA block, a hybrid envelope or a legacy envelope.

The format is told apart by the blob's length and first four bytes.

Args:
    blob: a direct block or an envelope, as the RSA or the hybrid area made it.
    private_pem: the private key PEM (PKCS#8 or PKCS#1, unencrypted).

Returns:
    The plaintext bytes.

Raises:
    DecryptionError: "RSA decryption failed: ..."; "Hybrid AES-GCM decryption
        failed (wrong key or tampered data)"; "Invalid hybrid data (legacy
        Swift format)"; the AES error of a legacy envelope's sealed blob.
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.)~");
  m.def("encrypt_str", &rsa::encrypt_str, guard(), "plaintext"_a, "public_pem"_a,
        doc(R"~(Encrypt text to an RSA public key.

Args:
    plaintext: the text (its UTF-8 bytes); must not be empty.
    public_pem: the recipient's public key PEM (SubjectPublicKeyInfo or PKCS#1).

Returns:
    Base64 text of the direct block or the envelope, as for bytes.

Raises:
    InvalidInputError: "Plaintext cannot be empty"; "Invalid RSA public key
        PEM: ..." for an unreadable key text; text over {MAX} bytes to a key
        that is not {BITS} bits.
    EncryptionError: "RSA encryption failed: ..." (for example a key too small)
        or the envelope's AES step failed.)~", sizes));
  m.def("decrypt_str", &rsa::decrypt_str, guard(), "ciphertext_b64"_a, "private_pem"_a,
        R"~(Decrypt Base64 text of a direct block or an envelope back to text.

Args:
    ciphertext_b64: strict standard Base64 of a direct block or an envelope.
    private_pem: the private key PEM (PKCS#8 or PKCS#1, unencrypted).

Returns:
    The plaintext.

Raises:
    DecryptionError: "Ciphertext is not valid Base64"; "RSA decryption
        failed: ..."; "Hybrid AES-GCM decryption failed (wrong key or tampered
        data)"; "Invalid hybrid data (legacy Swift format)"; "Decrypted data
        is not valid UTF-8".
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.)~");
}

}  // namespace morvex::py
