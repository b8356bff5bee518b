// Strict reading of the DER structures that hold RSA keys: every length in
// its one definite, shortest form, every INTEGER in its shortest form, the
// numbers of an RSA key positive, and nothing after the structure's end. The
// key library reads some BER leniently (long-form lengths, negative numbers
// taken as magnitudes, bytes after the end ignored); a key text that two
// readers could read in two ways is refused here first.
#include <algorithm>
#include <cstdint>

#include "rsa/internal.hpp"

namespace morvex::rsa::internal {
namespace {

constexpr std::uint8_t kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04, kOid = 0x06, kSequence = 0x30;
constexpr std::uint8_t kConstructed = 0x20;

// rsaEncryption and RSASSA-PSS (1.2.840.113549.1.1.1 and .10), OID contents.
constexpr std::uint8_t kRsaOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
constexpr std::uint8_t kRsaPssOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0A};

constexpr const char* kNotPkcs8 = "not a PrivateKeyInfo structure";
constexpr const char* kNotSpki = "not a SubjectPublicKeyInfo structure";
constexpr const char* kNotRsaPublic = "not an RSAPublicKey structure";
constexpr const char* kNotRsaPrivate = "not an RSAPrivateKey structure";

struct Tlv {
  std::uint8_t tag = 0;
  ByteView body;
};

// Reads one element off the front of `in`; a fault text, or nullptr.
const char* take(ByteView& in, Tlv& out) {
  if (in.size() < 2) return "DER element cut short";
  const std::uint8_t tag = in[0];
  if ((tag & 0x1F) == 0x1F) return "DER tag number beyond 30";
  const std::uint8_t first = in[1];
  std::uint64_t len = first;
  std::size_t header = 2;
  if (first == 0x80) return "indefinite DER length";
  if (first > 0x80) {
    const std::size_t k = first & 0x7F;
    if (k > 8) return "DER length too long";
    if (in.size() - 2 < k) return "DER element cut short";
    if (in[2] == 0) return "DER length not in its shortest form";
    len = 0;
    for (std::size_t i = 0; i < k; ++i) len = (len << 8) | in[2 + i];
    if (len < 0x80) return "DER length not in its shortest form";
    header += k;
  }
  if (len > std::uint64_t{in.size() - header}) return "DER element cut short";
  out.tag = tag;
  out.body = in.subspan(header, static_cast<std::size_t>(len));
  in = in.subspan(header + static_cast<std::size_t>(len));
  return nullptr;
}

// The one element that `in` must consist of, with the tag `tag`.
const char* take_only(ByteView in, std::uint8_t tag, Tlv& out, const char* wrong) {
  if (const char* f = take(in, out)) return f;
  if (out.tag != tag) return wrong;
  return in.empty() ? nullptr : "bytes after the end of the key";
}

const char* integer_fault(ByteView body) {
  if (body.empty()) return "empty DER INTEGER";
  if (body.size() > 1 && ((body[0] == 0x00 && body[1] < 0x80) || (body[0] == 0xFF && body[1] >= 0x80)))
    return "DER INTEGER not in its shortest form";
  return nullptr;
}

// The next element of a SEQUENCE's body: an INTEGER greater than zero.
const char* take_positive(ByteView& seq, const char* wrong) {
  Tlv t;
  if (const char* f = take(seq, t)) return f;
  if (t.tag != kInteger) return wrong;
  if (const char* f = integer_fault(t.body)) return f;
  if (t.body[0] >= 0x80) return "negative number in an RSA key";
  if (t.body.size() == 1 && t.body[0] == 0) return "zero in an RSA key";
  return nullptr;
}

// The next element: an INTEGER from 0 to `max`, the structure's version.
const char* take_version(ByteView& seq, std::uint8_t max, std::uint8_t* version, const char* wrong) {
  Tlv t;
  if (const char* f = take(seq, t)) return f;
  if (t.tag != kInteger) return wrong;
  if (const char* f = integer_fault(t.body)) return f;
  if (t.body.size() != 1 || t.body[0] > max) return "unknown key structure version";
  *version = t.body[0];
  return nullptr;
}

// Any DER: shortest lengths, shortest INTEGERs, no constructed strings,
// through every constructed element.
const char* canonical(ByteView in, int depth = 0) {
  if (depth > 16) return "DER nested too deeply";
  while (!in.empty()) {
    Tlv t;
    if (const char* f = take(in, t)) return f;
    if (t.tag == (kBitString | kConstructed) || t.tag == (kOctetString | kConstructed))
      return "constructed DER string";
    if (t.tag == kInteger) {
      if (const char* f = integer_fault(t.body)) return f;
    } else if (t.tag == kBitString) {
      if (t.body.empty() || t.body[0] > 7 || (t.body.size() == 1 && t.body[0] != 0)) return "malformed DER BIT STRING";
    } else if (t.tag & kConstructed) {
      if (const char* f = canonical(t.body, depth + 1)) return f;
    }
  }
  return nullptr;
}

const char* rsa_public_fault(ByteView der) {
  Tlv seq;
  if (const char* f = take_only(der, kSequence, seq, kNotRsaPublic)) return f;
  ByteView body = seq.body;
  for (int i = 0; i < 2; ++i)
    if (const char* f = take_positive(body, kNotRsaPublic)) return f;
  return body.empty() ? nullptr : kNotRsaPublic;
}

const char* rsa_private_fault(ByteView der) {
  Tlv seq;
  if (const char* f = take_only(der, kSequence, seq, kNotRsaPrivate)) return f;
  ByteView body = seq.body;
  std::uint8_t version = 0;
  if (const char* f = take_version(body, 1, &version, kNotRsaPrivate)) return f;
  // n, e, d, p, q, d mod (p-1), d mod (q-1), q^-1 mod p
  for (int i = 0; i < 8; ++i)
    if (const char* f = take_positive(body, kNotRsaPrivate)) return f;
  if (version == 0) return body.empty() ? nullptr : kNotRsaPrivate;
  // Version 1: the further primes, one SEQUENCE.
  Tlv others;
  if (const char* f = take_only(body, kSequence, others, kNotRsaPrivate)) return f;
  return canonical(others.body);
}

// AlgorithmIdentifier: an OID and optional parameters; whether it names RSA.
// `wrong` names the structure that should have held it.
const char* algorithm(ByteView& seq, bool* is_rsa, const char* wrong) {
  Tlv alg, oid;
  if (const char* f = take(seq, alg)) return f;
  if (alg.tag != kSequence) return wrong;
  if (const char* f = canonical(alg.body)) return f;
  ByteView body = alg.body;
  if (take(body, oid) != nullptr || oid.tag != kOid) return wrong;
  const auto is = [&](ByteView want) { return std::equal(oid.body.begin(), oid.body.end(), want.begin(), want.end()); };
  *is_rsa = is(kRsaOid) || is(kRsaPssOid);
  return nullptr;
}

const char* spki_fault(ByteView der) {
  Tlv seq, bits;
  if (const char* f = take_only(der, kSequence, seq, kNotSpki)) return f;
  ByteView body = seq.body;
  bool is_rsa = false;
  if (const char* f = algorithm(body, &is_rsa, kNotSpki)) return f;
  if (const char* f = take_only(body, kBitString, bits, kNotSpki)) return f;
  if (bits.body.empty() || bits.body[0] != 0) return "malformed DER BIT STRING";
  return is_rsa ? rsa_public_fault(bits.body.subspan(1)) : nullptr;
}

const char* pkcs8_fault(ByteView der) {
  Tlv seq, key;
  if (const char* f = take_only(der, kSequence, seq, kNotPkcs8)) return f;
  ByteView body = seq.body;
  std::uint8_t version = 0;
  if (const char* f = take_version(body, 1, &version, kNotPkcs8)) return f;
  bool is_rsa = false;
  if (const char* f = algorithm(body, &is_rsa, kNotPkcs8)) return f;
  if (const char* f = take(body, key)) return f;
  if (key.tag != kOctetString) return kNotPkcs8;
  // Attributes and a public key may follow, in DER.
  if (const char* f = canonical(body)) return f;
  return is_rsa ? rsa_private_fault(key.body) : nullptr;
}

}  // namespace

const char* der_fault(ByteView der, KeyStructure structure) {
  switch (structure) {
    case KeyStructure::SubjectPublicKeyInfo: return spki_fault(der);
    case KeyStructure::RsaPublicKey: return rsa_public_fault(der);
    case KeyStructure::PrivateKeyInfo: return pkcs8_fault(der);
    case KeyStructure::RsaPrivateKey: return rsa_private_fault(der);
  }
  return "unknown key structure";
}

KeyStructure private_structure(ByteView der) {
  // PrivateKeyInfo has an AlgorithmIdentifier SEQUENCE where RSAPrivateKey
  // has its modulus.
  Tlv seq, version, second;
  ByteView in = der;
  if (take(in, seq) == nullptr) {
    ByteView body = seq.body;
    if (take(body, version) == nullptr && take(body, second) == nullptr && second.tag == kSequence)
      return KeyStructure::PrivateKeyInfo;
  }
  return KeyStructure::RsaPrivateKey;
}

}  // namespace morvex::rsa::internal
