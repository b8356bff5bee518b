// quantum::verify and quantum::sign on fuzzer-chosen signature keys,
// signatures and data.
//
// Byte 0:  bit 0 SLH-DSA instead of ML-DSA for the valid keys, bit 1 a valid
//          key of this process (with the fuzzer's header bytes) instead of
//          fuzzer bytes, bit 2 sign instead of verify.
// Bytes 1-2: the key's header (scheme id, strength) when a valid key is used.
// Bytes 3-6: two little-endian 16-bit lengths (key, signature); the rest is
//          the data.
// verify answers a boolean, or the lookup error of a strength byte without a
// mechanism; sign answers a signature or one of its documented errors.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"

using namespace morvex;
namespace q = morvex::quantum;

namespace {

struct Pair {
  Bytes pub, priv;
};

const Pair& valid(bool slh) {
  static Pair ml, sl;
  static bool have_ml = false, have_sl = false;
  Pair& p = slh ? sl : ml;
  bool& have = slh ? have_sl : have_ml;
  if (!have) {
    q::KeyPair kp = q::generate_signature_keypair(slh ? q::SignatureAlgorithm::SLH_DSA : q::SignatureAlgorithm::ML_DSA,
                                                    q::QuantumStrength::STANDARD);
    p.pub = kp.public_key;
    p.priv.assign(kp.private_key.begin(), kp.private_key.end());
    have = true;
  }
  return p;
}

Bytes take(const std::uint8_t*& p, const std::uint8_t* end, std::size_t n) {
  const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(end - p));
  Bytes out(p, p + k);
  p += k;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 7) return 0;
  const bool slh = (data[0] & 1) != 0;
  const bool use_valid = (data[0] & 2) != 0;
  const bool signing = (data[0] & 4) != 0;
  const std::uint8_t scheme = data[1], strength = data[2];
  const std::size_t key_len = data[3] | (data[4] << 8);
  const std::size_t sig_len = data[5] | (data[6] << 8);
  const std::uint8_t* p = data + 7;
  const std::uint8_t* end = data + size;
  Bytes key = take(p, end, key_len);
  const Bytes sig = take(p, end, sig_len);
  const Bytes msg(p, end);
  if (use_valid) {
    key = signing ? valid(slh).priv : valid(slh).pub;
    key[0] = scheme;
    key[1] = strength;
  }
  // Only a key with a known scheme id and a strength byte above 2 may reach
  // the lookup error.
  const bool lookup_may_fail = key.size() >= 2 && (key[0] == 1 || key[0] == 2) && key[1] > 2;
  try {
    if (signing) {
      const Bytes s = q::sign(msg, key);
      if (s.empty()) std::abort();
    } else {
      (void)q::verify(msg, sig, key);
    }
  } catch (const InvalidInputError&) {
    if (!signing) std::abort();
  } catch (const QuantumOperationError&) {
    if (!signing) std::abort();
  } catch (const std::out_of_range&) {
    if (!lookup_may_fail) std::abort();
  }
  return 0;
}
