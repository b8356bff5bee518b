// quantum::decrypt (and the Gen7/Gen8 public-key parsing of encrypt) on
// fuzzer-chosen keys, secrets and messages.
//
// Byte 0:  bits 0-1 the strength byte (3 names no mechanism), bit 2 Gen7
//          instead of Gen8, bit 3 a valid private key of this process instead
//          of fuzzer bytes, bit 4 the secret and message of a real encryption
//          with the fuzzer's bytes XORed over them, bit 5 encrypt to a
//          fuzzer-chosen public key instead of decrypting.
// Bytes 1-4: two little-endian 16-bit lengths (key, secret); the rest is the
//          message.
// Every answer must be text, one of the errors of the formats, the lookup
// error of a strength byte without a mechanism, or (encrypting) the encoding
// error of a plaintext that has no UTF-8 form.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"

using namespace morvex;
namespace q = morvex::quantum;

namespace {

struct Sample {
  Bytes pub, priv, secret, message;
};

// A key pair and one encryption per generation, made on first use
// (strength 0: the quickest mechanisms).
const Sample& sample(bool gen7) {
  static Sample s7, s8;
  static bool have7 = false, have8 = false;
  Sample& s = gen7 ? s7 : s8;
  bool& have = gen7 ? have7 : have8;
  if (!have) {
    q::KeyPair kp = q::generate_keypair(gen7 ? q::QuantumGeneration::GEN7 : q::QuantumGeneration::GEN8,
                                          q::QuantumStrength::STANDARD);
    s.pub = kp.public_key;
    s.priv.assign(kp.private_key.begin(), kp.private_key.end());
    q::Encrypted e = q::encrypt("fuzz seed text", s.pub);
    s.secret = std::move(e.secret);
    s.message = std::move(e.message);
    have = true;
  }
  return s;
}

Bytes take(const std::uint8_t*& p, const std::uint8_t* end, std::size_t n) {
  const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(end - p));
  Bytes out(p, p + k);
  p += k;
  return out;
}

// XORs `noise` over `base` from offset `from`, extending it when longer.
void xor_over(Bytes& base, const Bytes& noise, std::size_t from = 0) {
  for (std::size_t i = 0; i < noise.size(); ++i) {
    if (from + i < base.size()) {
      base[from + i] ^= noise[i];
    } else {
      base.push_back(noise[i]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t mode = data[0];
  const std::uint8_t strength = mode & 3;
  const bool gen7 = (mode & 4) != 0;
  const bool valid_key = (mode & 8) != 0;
  const bool real_message = (mode & 16) != 0;
  const bool encrypting = (mode & 32) != 0;
  const std::size_t key_len = data[1] | (data[2] << 8);
  const std::size_t secret_len = data[3] | (data[4] << 8);
  const std::uint8_t* p = data + 5;
  const std::uint8_t* end = data + size;
  const std::uint8_t gen = gen7 ? 7 : 8;

  Bytes key = {gen, strength};
  const Bytes key_body = take(p, end, key_len);
  Bytes secret = take(p, end, secret_len);
  Bytes message(p, end);

  try {
    if (encrypting) {
      if (valid_key) {
        Bytes pub = sample(gen7).pub;
        pub[1] = strength;
        xor_over(pub, key_body, 2);  // the header stays as chosen
        key = std::move(pub);
      } else {
        key.insert(key.end(), key_body.begin(), key_body.end());
      }
      const q::Encrypted e = q::encrypt(std::string(message.begin(), message.end()), key);
      if (e.message.size() != message.size() + 60) std::abort();
      return 0;
    }
    if (valid_key) {
      key = sample(gen7).priv;
      key[1] = strength;
    } else {
      key.insert(key.end(), key_body.begin(), key_body.end());
    }
    if (real_message) {
      const Sample& s = sample(gen7);
      Bytes sec = s.secret, msg = s.message;
      xor_over(sec, secret);
      xor_over(msg, message);
      secret = std::move(sec);
      message = std::move(msg);
    }
    const SecureString text = q::decrypt(message, key, secret);
    if (text.size() + 60 != message.size()) std::abort();
  } catch (const InvalidInputError&) {
  } catch (const DecryptionError&) {
  } catch (const QuantumOperationError&) {
  } catch (const std::out_of_range&) {
    if (strength <= 2) std::abort();
  } catch (const TextEncodeError&) {
    if (!encrypting) std::abort();  // the fuzzer's plaintext has no UTF-8 form
  }
  return 0;
}
