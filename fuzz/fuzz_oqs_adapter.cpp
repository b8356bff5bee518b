// The post-quantum adapter on fuzzer-chosen keys, capsules and signatures.
// Byte 0 picks the operation and the mechanism, byte 1 how the rest is cut:
// pieces of arbitrary length (the length checks), pieces brought to the
// mechanism's exact lengths (the libraries' own parsing), or a valid key of
// this process with a fuzzer-chosen capsule or signature. Every answer must be
// a result of the right size, the operation's QuantumOperationError, or false.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "morvex/errors.hpp"
#include "quantum/oqs.hpp"

using namespace morvex;
namespace oqs = morvex::quantum::oqs;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Classic McEliece is left out: a key of its exact length costs a second.
const char* const kKems[] = {"ML-KEM-512", "ML-KEM-768", "ML-KEM-1024",
                             "FrodoKEM-640-AES", "FrodoKEM-976-AES", "FrodoKEM-1344-AES"};
const char* const kSigs[] = {"ML-DSA-44", "ML-DSA-65", "ML-DSA-87", "SLH-DSA-SHA2-128f"};

// Pieces of `b`: `k` bytes each (fixed lengths) or split at fuzzer-chosen points.
Bytes take(const std::uint8_t*& p, const std::uint8_t* end, std::size_t n, bool exact) {
  const std::size_t have = static_cast<std::size_t>(end - p);
  const std::size_t k = std::min(n, have);
  Bytes out(p, p + k);
  p += k;
  if (exact) out.resize(n, 0);
  return out;
}

const oqs::KeyPair& kem_keys(const std::string& alg) {
  static std::map<std::string, oqs::KeyPair> keys;
  auto it = keys.find(alg);
  if (it == keys.end()) it = keys.emplace(alg, oqs::generate_keypair(alg)).first;
  return it->second;
}

const oqs::KeyPair& sig_keys(const std::string& alg) {
  static std::map<std::string, oqs::KeyPair> keys;
  auto it = keys.find(alg);
  if (it == keys.end()) it = keys.emplace(alg, oqs::sig_generate_keypair(alg)).first;
  return it->second;
}

void expect_prefix(const QuantumOperationError& e, const std::string& prefix) {
  check(std::string(e.what()).rfind(prefix, 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t op = data[0] % 3;
  const std::uint8_t cut = data[1] % 3;  // 0 arbitrary, 1 exact, 2 valid key
  const std::uint8_t* p = data + 2;
  const std::uint8_t* end = data + size;
  const bool exact = cut != 0;
  auto split = [&](std::size_t exact_len) {
    if (exact) return take(p, end, exact_len, true);
    // Arbitrary: a length byte (times 13) then that many bytes.
    const std::size_t n = p < end ? static_cast<std::size_t>(*p++) * 13 : 0;
    return take(p, end, n, false);
  };

  if (op == 0 || op == 1) {
    const std::string alg = kKems[(data[0] / 3) % std::size(kKems)];
    const oqs::KemSizes sz = oqs::kem_sizes(alg);
    if (op == 0) {  // decapsulation
      const std::string prefix = "KEM decapsulation failed (" + alg + "): ";
      Bytes sk_bytes = cut == 2 ? Bytes() : split(sz.secret_key);
      const Bytes ct = split(sz.ciphertext);
      try {
        const SecureBytes ss = cut == 2 ? oqs::decapsulate(alg, kem_keys(alg).secret_key, ct)
                                        : oqs::decapsulate(alg, sk_bytes, ct);
        check(ss.size() == sz.shared_secret);
        check(ct.size() == sz.ciphertext);
      } catch (const QuantumOperationError& e) {
        expect_prefix(e, prefix);
        check(cut != 2);  // a valid key decapsulates every capsule of the right length
      }
    } else {  // encapsulation
      const std::string prefix = "KEM encapsulation failed (" + alg + "): ";
      const Bytes pk = cut == 2 ? kem_keys(alg).public_key : split(sz.public_key);
      try {
        const oqs::Encapsulation enc = oqs::encapsulate(alg, pk);
        check(enc.ciphertext.size() == sz.ciphertext && enc.shared_secret.size() == sz.shared_secret);
        if (cut == 2) check(oqs::decapsulate(alg, kem_keys(alg).secret_key, enc.ciphertext) == enc.shared_secret);
      } catch (const QuantumOperationError& e) {
        expect_prefix(e, prefix);
        check(cut != 2);
      }
    }
  } else {  // verification: random input is never a valid signature
    const std::string alg = kSigs[(data[0] / 3) % std::size(kSigs)];
    const oqs::SigSizes sz = oqs::sig_sizes(alg);
    const Bytes pk = cut == 2 ? sig_keys(alg).public_key : split(sz.public_key);
    const Bytes sig = split(sz.signature);
    const Bytes msg(p, end);
    check(!oqs::sig_verify(alg, pk, msg, sig));
  }
  return 0;
}
