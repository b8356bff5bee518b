// morvex._native.quantum: post-quantum keys, message formats and signatures.
#include <nanobind/stl/optional.h>

#include <deque>
#include <string>

#include "module.hpp"
#include "quantum/formats.hpp"
#include "quantum/by_number.hpp"

namespace morvex::py {
namespace {

namespace q = morvex::quantum;

// An absent secret is reported like an empty one.
SecureString decrypt(ByteView message, ByteView private_key, std::optional<ByteView> secret) {
  return q::decrypt(message, private_key, secret.value_or(ByteView{}));
}

template <q::KeyPair (*Generate)(q::QuantumStrength)>
q::KeyPair generate(std::int64_t strength) {
  return Generate(q::to_strength(strength));
}

nb::tuple sig_strip(ByteView headered, std::string_view label) {
  const q::SigHeader s = q::_sig_strip(headered, label);
  return nb::make_tuple(int{s.scheme}, int{s.strength}, to_bytes(s.raw));
}

}  // namespace

void bind_quantum(nb::module_& m) {
  // --- public operations ----------------------------------------------------
  // The Python contract of each; the errors are those of morvex/quantum.hpp
  // (scripts/check_contracts.py compares them). Integers from Python: the
  // core's integer forms turn them into members.
  m.def("generate_keypair", &q::_generate_keypair, guard(),
        "generation"_a = std::int64_t(q::QuantumGeneration::GEN8),
        "strength"_a = std::int64_t(q::QuantumStrength::HIGHEST),
        nb::sig("def generate_keypair(generation: int = QuantumGeneration.GEN8, "
                "strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]"),
        R"~(Generate a post-quantum key pair of a generation.

Args:
    generation: a ``QuantumGeneration`` (or its number); GEN8 (X25519 +
        ML-KEM) by default. GEN1 makes GEN2 keys, GEN3 makes GEN6 keys.
    strength: a ``QuantumStrength`` (or 0..2); HIGHEST by default. GEN4
        always uses the highest strength.

Returns:
    (public key, private key), each starting with the generation byte and the
    strength byte.

Raises:
    ValueError: a generation or strength naming no member.
    QuantumOperationError: the post-quantum backend is missing or failed.)~");
  m.def("encrypt", &q::encrypt, guard(), "message"_a, "public_key"_a,
        R"~(Encrypt text to a post-quantum public key.

Args:
    message: the text to encrypt.
    public_key: a key from ``generate_keypair``; its first byte selects the format.

Returns:
    (encapsulated secret, encrypted message); both must reach the recipient.

Raises:
    InvalidInputError: "Invalid or empty quantum public key" (under 3 bytes or
        all zero after its header); a malformed Gen7 or Gen8 public key.
    QuantumOperationError: an unsupported generation byte, or the backend is
        missing or failed.
    IndexError: a strength byte outside 0..2.)~");
  m.def("decrypt", &decrypt, guard(), "encrypted_message"_a, "private_key"_a, "secret"_a.none(),
        nb::sig("def decrypt(encrypted_message: bytes | bytearray | memoryview, "
                "private_key: bytes | bytearray | memoryview, secret: bytes | bytearray | memoryview) -> str"),
        R"~(Decrypt an encrypted message with the private key and the encapsulated secret.

Args:
    encrypted_message: the second item of ``encrypt``'s result.
    private_key: the matching private key.
    secret: the first item of ``encrypt``'s result.

Returns:
    The plaintext.

Raises:
    InvalidInputError: a private key under 3 bytes or an empty secret; a
        message shorter than its generation's minimum ("Invalid Gen8
        encrypted message"); a malformed Gen7 or Gen8 secret or Gen7 key.
    QuantumOperationError: an unsupported generation byte, or the backend is
        missing or failed.
    DecryptionError: a wrong key, altered data or a plaintext that is not UTF-8.
    IndexError: a strength byte outside 0..2.)~");
  m.def("generate_signature_keypair", &q::_generate_signature_keypair, guard(),
        "algorithm"_a = std::int64_t(q::SignatureAlgorithm::ML_DSA),
        "strength"_a = std::int64_t(q::QuantumStrength::HIGHEST),
        nb::sig("def generate_signature_keypair(algorithm: int = SignatureAlgorithm.ML_DSA, "
                "strength: int = QuantumStrength.HIGHEST) -> tuple[bytes, bytes]"),
        R"~(Generate a post-quantum signature key pair.

Args:
    algorithm: a ``SignatureAlgorithm`` (or its number); ML_DSA by default.
    strength: a ``QuantumStrength`` (or 0..2); HIGHEST by default.

Returns:
    (public key, private key), each starting with the scheme id (1 ML-DSA,
    2 SLH-DSA) and the strength byte.

Raises:
    ValueError: an algorithm or strength naming no member.
    QuantumOperationError: the backend is missing or failed.)~");
  m.def("sign", &q::sign, guard(), "data"_a, "private_key"_a,
        R"~(Sign data with a post-quantum signature private key.

Args:
    data: the bytes to sign.
    private_key: a private key from ``generate_signature_keypair``.

Returns:
    The raw signature.

Raises:
    InvalidInputError: a key without header or with an unknown scheme id.
    QuantumOperationError: signing failed (a key of the wrong size), or the
        backend is missing.
    IndexError: a strength byte outside 0..2.)~");
  m.def("verify", &q::verify, guard(), "data"_a, "signature"_a, "public_key"_a,
        R"~(Check a post-quantum signature.

Args:
    data: the signed bytes.
    signature: the raw signature.
    public_key: a public key from ``generate_signature_keypair``.

Returns:
    True for a valid signature; False for a bad signature or a key without a
    valid header.

Raises:
    QuantumOperationError: the backend is missing (a signature that does not
        check is False, never an error).
    IndexError: a strength byte outside 0..2.)~");

  // --- constants ----------------------------------------------------------------
  auto bytes_const = [](std::string_view s) { return nb::bytes(s.data(), s.size()); };
  m.attr("_GEN5_INFO") = bytes_const(q::kGen5Info);
  m.attr("_GEN6_INFO") = bytes_const(q::kGen6Info);
  m.attr("_GEN7_INFO") = bytes_const(q::kGen7Info);
  m.attr("_GEN8_INFO") = bytes_const(q::kGen8Info);
  m.attr("_RSA_ALG_ID") = to_bytes(q::kRsaAlgId);

  // --- building blocks ----------------------------------------------------------
  m.def("_hkdf", &q::_hkdf, guard(), "ikm"_a, "salt"_a, "info"_a, "length"_a, "HKDF-SHA256.");
  m.def("_gcm_seal", &q::_gcm_seal, guard(), "key"_a, "nonce"_a, "data"_a,
        "AES-GCM seal: (ciphertext, 16-byte tag).");
  m.def("_gcm_open", &q::_gcm_open, guard(), "key"_a, "nonce"_a, "ciphertext"_a, "tag"_a,
        "AES-GCM open; DecryptionError for any failure.");
  m.def("_cbc_encrypt", &q::_cbc_encrypt, guard(), "data"_a, "key"_a, "iv"_a, "AES-CBC with PKCS#7 padding.");
  m.def("_cbc_decrypt", &q::_cbc_decrypt, guard(), "ciphertext"_a, "key"_a, "iv"_a,
        "AES-CBC decryption and PKCS#7 unpadding; DecryptionError for bad padding.");
  m.def("_hmac256", &q::_hmac256, guard(), "key"_a, "data"_a, "HMAC-SHA256.");

  // --- generation formats ---------------------------------------------------------
  m.def("_gen4_key", &q::_gen4_key, guard(), "ss"_a, "The Gen4 AES key: HMAC-SHA256(ss, 0x01).");
  m.def("_gen4_encrypt", &q::_gen4_encrypt, guard(), "data"_a, "raw_pk"_a,
        "Gen4 encryption: (capsule, nonce || ct || tag).");
  m.def("_gen4_decrypt", &q::_gen4_decrypt, guard(), "enc"_a, "raw_sk"_a, "capsule"_a, "Gen4 decryption.");
  // The forms of every format with a strength argument, from the format table.
  static std::deque<std::string> names;  // nanobind keeps the pointers
  for (const q::GenerationFormat& f : q::generation_formats()) {
    if (f.fixed_strength) continue;  // Gen4, bound above
    const std::string gen = "_gen" + std::to_string(f.byte);
    const char* enc = names.emplace_back(gen + "_encrypt").c_str();
    const char* dec = names.emplace_back(gen + "_decrypt").c_str();
    m.def(enc, f.encrypt, guard(), "data"_a, "raw_pk"_a, "strength"_a, f.summary);
    m.def(dec, f.decrypt, guard(), "enc"_a, "raw_sk"_a, "capsule"_a, "strength"_a, f.summary);
  }
  m.def("_gen7_generate", &generate<&q::_gen7_generate>, guard(), "strength"_a, "Gen7 key pair with header.");
  m.def("_gen8_generate", &generate<&q::_gen8_generate>, guard(), "strength"_a, "Gen8 key pair with header.");
  m.def("_x25519_raw", &q::_x25519_raw, guard(), "private_key"_a,
        "(raw public, raw private) of a raw X25519 private key.");
  m.def("_xor_mix", &q::_xor_mix, "session_key"_a, "frodo_ss"_a,
        "32 bytes: session_key[i] ^ frodo_ss[i % len].");
  m.def("_der_len", &q::_der_len, "n"_a, "DER definite length.");
  m.def("_pkcs1_to_spki", &q::_pkcs1_to_spki, "pkcs1"_a, "SubjectPublicKeyInfo around a PKCS#1 RSAPublicKey.");

  // --- signature keys -----------------------------------------------------------
  m.def("_sig_strip", &sig_strip, "headered"_a, "label"_a,
        nb::sig("def _sig_strip(headered: bytes | bytearray | memoryview, label: str) -> tuple[int, int, bytes]"),
        "(scheme id, strength, raw key) of a signature key.");
  m.def("_sig_kind", nb::overload_cast<std::int64_t>(&q::_sig_kind), "alg"_a,
        "\"mldsa\" for ML_DSA, \"slhdsa\" otherwise.");
}

}  // namespace morvex::py
