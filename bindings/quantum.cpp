// morvex._native.quantum: post-quantum keys, message formats and signatures.
#include <climits>
#include <optional>
#include <tuple>

#include "glue.hpp"
#include "morvex/quantum.hpp"

namespace morvex::py {
namespace {

namespace q = morvex::quantum;

// An integer argument (an int, an IntEnum member, anything with __index__)
// converted to the value of the named enumeration's member: a value that fits
// no 64-bit integer names no member either.
std::int64_t member_arg(nb::handle h, const char* enumeration) {
  nb::object idx = nb::steal(PyNumber_Index(h.ptr()));
  if (!idx.is_valid()) throw nb::python_error();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(idx.ptr(), &overflow);
  if (overflow != 0) {
    PyErr_Format(PyExc_ValueError, "%R is not a valid %s", idx.ptr(), enumeration);
    throw nb::python_error();
  }
  if (v == -1 && PyErr_Occurred()) throw nb::python_error();
  return v;
}

// A strength handed to a mechanism lookup: values beyond 64 bits are as far
// out of the table as INT64_MAX.
std::int64_t strength_arg(nb::handle h) {
  nb::object idx = nb::steal(PyNumber_Index(h.ptr()));
  if (!idx.is_valid()) throw nb::python_error();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(idx.ptr(), &overflow);
  if (overflow != 0) return overflow > 0 ? LLONG_MAX : LLONG_MIN;
  if (v == -1 && PyErr_Occurred()) throw nb::python_error();
  return v;
}

template <class Alloc>
nb::bytes wiped_bytes(std::vector<std::uint8_t, Alloc>& b) {
  nb::bytes out = to_py_bytes(b);
  secure_wipe(b.data(), b.size());
  return out;
}

nb::bytes raw_bytes(const std::uint8_t* p, std::size_t n) {
  return nb::bytes(reinterpret_cast<const char*>(p), n);
}

nb::tuple pair_result(q::KeyPair& kp) {
  nb::bytes pub = to_py_bytes(kp.public_key);
  nb::bytes priv = to_py_bytes(kp.private_key);
  return nb::make_tuple(pub, priv);
}

nb::tuple pair_result(q::Encrypted& e) { return nb::make_tuple(to_py_bytes(e.secret), to_py_bytes(e.message)); }

using Gen3 = q::Encrypted (*)(ByteView, ByteView, std::int64_t);
using Dec4 = Bytes (*)(ByteView, ByteView, ByteView, std::int64_t);

void def_gen(nb::module_& m, const char* enc_name, Gen3 enc, const char* dec_name, Dec4 dec, const char* doc) {
  m.def(
      enc_name,
      [enc](nb::handle data, nb::handle raw_pk, nb::handle strength) {
        const BytesArg d(data), k(raw_pk);
        const std::int64_t st = strength_arg(strength);
        q::Encrypted e = unlocked([&] { return enc(d.view(), k.view(), st); });
        return pair_result(e);
      },
      nb::arg("data"), nb::arg("raw_pk"), nb::arg("strength"), doc);
  m.def(
      dec_name,
      [dec](nb::handle enc_msg, nb::handle raw_sk, nb::handle capsule, nb::handle strength) {
        const BytesArg e(enc_msg), k(raw_sk), c(capsule);
        const std::int64_t st = strength_arg(strength);
        Bytes out = unlocked([&] { return dec(e.view(), k.view(), c.view(), st); });
        return wiped_bytes(out);
      },
      nb::arg("enc"), nb::arg("raw_sk"), nb::arg("capsule"), nb::arg("strength"), doc);
}

}  // namespace

void bind_quantum(nb::module_& m) {
  // --- public operations ----------------------------------------------------
  m.def(
      "generate_keypair",
      [](nb::handle generation, nb::handle strength) {
        const std::int64_t g = member_arg(generation, "QuantumGeneration");
        const std::int64_t s = member_arg(strength, "QuantumStrength");
        q::KeyPair kp = unlocked([&] { return q::generate_keypair(g, s); });
        return pair_result(kp);
      },
      nb::arg("generation") = 8, nb::arg("strength") = 2,
      nb::sig("def generate_keypair(generation: int = QuantumGeneration.GEN8, "
              "strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]"),
      "Make a post-quantum key pair (public key, private key) of a generation.\n\n"
      "Both keys start with the generation byte and the strength byte. GEN1 makes\n"
      "GEN2 keys, GEN3 makes GEN6 keys, GEN4 always uses the highest strength.\n"
      "Raises ValueError for a generation outside 1..8 or a strength outside 0..2,\n"
      "QuantumOperationError when the post-quantum backend fails or is missing.");

  m.def(
      "encrypt",
      [](const nb::str& message, nb::handle public_key) {
        const BytesArg k(public_key);
        Py_ssize_t n = 0;
        const char* p = PyUnicode_AsUTF8AndSize(message.ptr(), &n);
        if (p == nullptr) {
          // The key is checked before the text is encoded.
          PyObject *type, *value, *tb;
          PyErr_Fetch(&type, &value, &tb);
          try {
            q::_check_public_key(k.view());
          } catch (...) {
            Py_XDECREF(type);
            Py_XDECREF(value);
            Py_XDECREF(tb);
            throw;
          }
          PyErr_Restore(type, value, tb);
          throw nb::python_error();
        }
        const std::string_view text(p, static_cast<std::size_t>(n));
        q::Encrypted e = unlocked([&] { return q::encrypt(text, k.view()); });
        return pair_result(e);
      },
      nb::arg("message"), nb::arg("public_key"),
      nb::sig("def encrypt(message: str, public_key: bytes | bytearray | memoryview) -> tuple[bytes, bytes]"),
      "Encrypt text to a post-quantum public key.\n\n"
      "Returns (encapsulated secret, encrypted message); both must reach the\n"
      "recipient. The key's generation byte selects the format.\n"
      "Raises InvalidInputError for a key under 3 bytes or all zero after its\n"
      "header, QuantumOperationError for an unsupported generation byte.");

  m.def(
      "decrypt",
      [](nb::handle encrypted_message, nb::handle private_key, nb::handle secret) {
        const BytesArg e(encrypted_message), k(private_key);
        // An absent secret is reported like an empty one.
        std::optional<BytesArg> s;
        if (!secret.is_none()) s.emplace(secret);
        const ByteView sv = s ? s->view() : ByteView{};
        std::string text = unlocked([&] { return q::decrypt(e.view(), k.view(), sv); });
        nb::str out = to_py_str(text);
        secure_wipe(text.data(), text.size());
        return out;
      },
      nb::arg("encrypted_message"), nb::arg("private_key"), nb::arg("secret").none(),
      nb::sig("def decrypt(encrypted_message: bytes | bytearray | memoryview, "
              "private_key: bytes | bytearray | memoryview, secret: bytes | bytearray | memoryview) -> str"),
      "Decrypt an encrypted message with the private key and the encapsulated secret.\n\n"
      "Raises InvalidInputError for a private key under 3 bytes or an empty secret,\n"
      "QuantumOperationError for an unsupported generation byte, DecryptionError\n"
      "for a wrong key, altered data or a plaintext that is not UTF-8.");

  m.def(
      "generate_signature_keypair",
      [](nb::handle algorithm, nb::handle strength) {
        const std::int64_t a = member_arg(algorithm, "SignatureAlgorithm");
        const std::int64_t s = member_arg(strength, "QuantumStrength");
        q::KeyPair kp = unlocked([&] { return q::generate_signature_keypair(a, s); });
        return pair_result(kp);
      },
      nb::arg("algorithm") = 1, nb::arg("strength") = 2,
      nb::sig("def generate_signature_keypair(algorithm: int = SignatureAlgorithm.ML_DSA, "
              "strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]"),
      "Make a post-quantum signature key pair (public key, private key).\n\n"
      "Both keys start with the scheme id (1 ML-DSA, 2 SLH-DSA) and the strength.\n"
      "Raises ValueError for values naming no member, QuantumOperationError when\n"
      "the backend fails or is missing.");

  m.def(
      "sign",
      [](nb::handle data, nb::handle private_key) {
        const BytesArg d(data), k(private_key);
        Bytes sig = unlocked([&] { return q::sign(d.view(), k.view()); });
        return to_py_bytes(sig);
      },
      nb::arg("data"), nb::arg("private_key"),
      nb::sig("def sign(data: bytes | bytearray | memoryview, private_key: bytes | bytearray | memoryview) -> bytes"),
      "Sign data with a headered signature private key; returns the raw signature.\n\n"
      "Raises InvalidInputError for a key without header or an unknown scheme id,\n"
      "QuantumOperationError when signing fails.");

  m.def(
      "verify",
      [](nb::handle data, nb::handle signature, nb::handle public_key) {
        const BytesArg d(data), s(signature), k(public_key);
        return unlocked([&] { return q::verify(d.view(), s.view(), k.view()); });
      },
      nb::arg("data"), nb::arg("signature"), nb::arg("public_key"),
      nb::sig("def verify(data: bytes | bytearray | memoryview, signature: bytes | bytearray | memoryview, "
              "public_key: bytes | bytearray | memoryview) -> bool"),
      "Check a signature; False for a bad signature or a key without a valid header.\n\n"
      "Raises QuantumOperationError only when the backend is missing.");

  // --- constants ----------------------------------------------------------------
  auto bytes_const = [](std::string_view s) { return nb::bytes(s.data(), s.size()); };
  m.attr("_GEN5_INFO") = bytes_const(q::_GEN5_INFO);
  m.attr("_GEN6_INFO") = bytes_const(q::_GEN6_INFO);
  m.attr("_GEN7_INFO") = bytes_const(q::_GEN7_INFO);
  m.attr("_GEN8_INFO") = bytes_const(q::_GEN8_INFO);
  m.attr("_RSA_ALG_ID") = raw_bytes(q::_RSA_ALG_ID.data(), q::_RSA_ALG_ID.size());

  // --- building blocks ----------------------------------------------------------
  m.def(
      "_hkdf",
      [](nb::handle ikm, nb::handle salt, nb::handle info, std::size_t length) {
        const BytesArg i(ikm), s(salt), f(info);
        SecureBytes out = unlocked([&] { return q::_hkdf(i.view(), s.view(), f.view(), length); });
        return wiped_bytes(out);
      },
      nb::arg("ikm"), nb::arg("salt"), nb::arg("info"), nb::arg("length"), "HKDF-SHA256.");
  m.def(
      "_gcm_seal",
      [](nb::handle key, nb::handle nonce, nb::handle data) {
        const BytesArg k(key), n(nonce), d(data);
        q::Sealed s = unlocked([&] { return q::_gcm_seal(k.view(), n.view(), d.view()); });
        return nb::make_tuple(to_py_bytes(s.ciphertext), raw_bytes(s.tag.data(), s.tag.size()));
      },
      nb::arg("key"), nb::arg("nonce"), nb::arg("data"), "AES-GCM seal: (ciphertext, 16-byte tag).");
  m.def(
      "_gcm_open",
      [](nb::handle key, nb::handle nonce, nb::handle ciphertext, nb::handle tag) {
        const BytesArg k(key), n(nonce), c(ciphertext), t(tag);
        Bytes out = unlocked([&] { return q::_gcm_open(k.view(), n.view(), c.view(), t.view()); });
        return wiped_bytes(out);
      },
      nb::arg("key"), nb::arg("nonce"), nb::arg("ciphertext"), nb::arg("tag"),
      "AES-GCM open; DecryptionError for any failure.");
  m.def(
      "_cbc_encrypt",
      [](nb::handle data, nb::handle key, nb::handle iv) {
        const BytesArg d(data), k(key), i(iv);
        Bytes out = unlocked([&] { return q::_cbc_encrypt(d.view(), k.view(), i.view()); });
        return to_py_bytes(out);
      },
      nb::arg("data"), nb::arg("key"), nb::arg("iv"), "AES-CBC with PKCS#7 padding.");
  m.def(
      "_cbc_decrypt",
      [](nb::handle ciphertext, nb::handle key, nb::handle iv) {
        const BytesArg c(ciphertext), k(key), i(iv);
        Bytes out = unlocked([&] { return q::_cbc_decrypt(c.view(), k.view(), i.view()); });
        return wiped_bytes(out);
      },
      nb::arg("ciphertext"), nb::arg("key"), nb::arg("iv"),
      "AES-CBC decryption and PKCS#7 unpadding; DecryptionError for bad padding.");
  m.def(
      "_hmac256",
      [](nb::handle key, nb::handle data) {
        const BytesArg k(key), d(data);
        const auto mac = unlocked([&] { return q::_hmac256(k.view(), d.view()); });
        return raw_bytes(mac.data(), mac.size());
      },
      nb::arg("key"), nb::arg("data"), "HMAC-SHA256.");

  // --- generation formats ---------------------------------------------------------
  m.def(
      "_gen4_key",
      [](nb::handle ss) {
        const BytesArg s(ss);
        SecretArray<32> key = unlocked([&] { return q::_gen4_key(s.view()); });
        return raw_bytes(key.data(), key.size());
      },
      nb::arg("ss"), "The Gen4 AES key: HMAC-SHA256(ss, 0x01).");
  m.def(
      "_gen4_encrypt",
      [](nb::handle data, nb::handle raw_pk) {
        const BytesArg d(data), k(raw_pk);
        q::Encrypted e = unlocked([&] { return q::_gen4_encrypt(d.view(), k.view()); });
        return pair_result(e);
      },
      nb::arg("data"), nb::arg("raw_pk"), "Gen4 encryption: (capsule, nonce || ct || tag).");
  m.def(
      "_gen4_decrypt",
      [](nb::handle enc, nb::handle raw_sk, nb::handle capsule) {
        const BytesArg e(enc), k(raw_sk), c(capsule);
        Bytes out = unlocked([&] { return q::_gen4_decrypt(e.view(), k.view(), c.view()); });
        return wiped_bytes(out);
      },
      nb::arg("enc"), nb::arg("raw_sk"), nb::arg("capsule"), "Gen4 decryption.");
  def_gen(m, "_gen6_encrypt", q::_gen6_encrypt, "_gen6_decrypt", q::_gen6_decrypt,
          "Gen6: FrodoKEM, HKDF, AES-256-GCM.");
  def_gen(m, "_gen2_encrypt", q::_gen2_encrypt, "_gen2_decrypt", q::_gen2_decrypt,
          "Gen2: Classic McEliece, AES-256-CBC, HMAC-SHA256.");
  def_gen(m, "_gen5_encrypt", q::_gen5_encrypt, "_gen5_decrypt", q::_gen5_decrypt,
          "Gen5: Classic McEliece, HKDF-split keys, AES-256-CBC, HMAC-SHA256.");
  def_gen(m, "_gen7_encrypt", q::_gen7_encrypt, "_gen7_decrypt", q::_gen7_decrypt,
          "Gen7: RSA-4096 OAEP and FrodoKEM, HKDF, AES-256-GCM.");
  def_gen(m, "_gen8_encrypt", q::_gen8_encrypt, "_gen8_decrypt", q::_gen8_decrypt,
          "Gen8: X25519 and ML-KEM, HKDF, AES-256-GCM.");
  m.def(
      "_gen7_generate",
      [](nb::handle strength) {
        const q::QuantumStrength st = q::to_strength(member_arg(strength, "QuantumStrength"));
        q::KeyPair kp = unlocked([&] { return q::_gen7_generate(st); });
        return pair_result(kp);
      },
      nb::arg("strength"), "Gen7 key pair with header.");
  m.def(
      "_gen8_generate",
      [](nb::handle strength) {
        const q::QuantumStrength st = q::to_strength(member_arg(strength, "QuantumStrength"));
        q::KeyPair kp = unlocked([&] { return q::_gen8_generate(st); });
        return pair_result(kp);
      },
      nb::arg("strength"), "Gen8 key pair with header.");
  m.def(
      "_x25519_raw",
      [](nb::handle private_key) {
        const BytesArg k(private_key);
        q::X25519Raw r = unlocked([&] { return q::_x25519_raw(k.view()); });
        return nb::make_tuple(raw_bytes(r.public_key.data(), r.public_key.size()),
                              raw_bytes(r.private_key.data(), r.private_key.size()));
      },
      nb::arg("private_key"), "(raw public, raw private) of a raw X25519 private key.");
  m.def(
      "_xor_mix",
      [](nb::handle session_key, nb::handle frodo_ss) {
        const BytesArg a(session_key), b(frodo_ss);
        SecretArray<32> out = q::_xor_mix(a.view(), b.view());
        return raw_bytes(out.data(), out.size());
      },
      nb::arg("session_key"), nb::arg("frodo_ss"), "32 bytes: session_key[i] ^ frodo_ss[i % len].");
  m.def(
      "_der_len", [](std::uint64_t n) { return to_py_bytes(q::_der_len(n)); }, nb::arg("n"),
      "DER definite length.");
  m.def(
      "_pkcs1_to_spki",
      [](nb::handle pkcs1) {
        const BytesArg p(pkcs1);
        return to_py_bytes(q::_pkcs1_to_spki(p.view()));
      },
      nb::arg("pkcs1"), "SubjectPublicKeyInfo around a PKCS#1 RSAPublicKey.");

  // --- signature keys -----------------------------------------------------------
  m.def(
      "_sig_strip",
      [](nb::handle headered, const nb::str& label) {
        const BytesArg h(headered);
        const q::SigHeader s = q::_sig_strip(h.view(), text_arg(label));
        return nb::make_tuple(int{s.scheme}, int{s.strength}, raw_bytes(s.raw.data(), s.raw.size()));
      },
      nb::arg("headered"), nb::arg("label"), "(scheme id, strength, raw key) of a signature key.");
  m.def(
      "_sig_kind",
      [](nb::handle alg) { return strength_arg(alg) == 1 ? "mldsa" : "slhdsa"; }, nb::arg("alg"),
      "\"mldsa\" for ML_DSA, \"slhdsa\" otherwise.");
}

}  // namespace morvex::py
