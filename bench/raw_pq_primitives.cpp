// Times the post-quantum adapter's C++ operations against the same work done
// with OpenSSL, Botan or libmceliece called directly (no loader, no length checks, no
// guard), without Python. The adapter runs on those same libraries here (liboqs
// against them: bench/pq_providers.cpp).
//
//   raw_pq_primitives [seconds=0.2] [name-filter]
//
// Prints "<mechanism> <operation> <morvex-us> <raw-us>" lines: best
// microseconds per call of interleaved samples, in this thread's CPU time (a
// shared machine disturbs it far less than wall time).
#if __has_include(<botan/frodokem.h>)

#include <botan/frodokem.h>
#include <botan/pubkey.h>
#include <botan/system_rng.h>
#include <mceliece.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cpu_timing.hpp"
#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace {

using morvex::bench::best_us;
using morvex::bench::Fn;
namespace oqs = morvex::quantum::oqs;

void report(const std::string& alg, const char* op, const Fn& ours, const Fn& raw, double seconds, int samples) {
  const std::vector<double> t = best_us({ours, raw}, seconds, samples);
  std::printf("%s %s %.1f %.1f\n", alg.c_str(), op, t[0], t[1]);
  std::fflush(stdout);
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "raw %s failed\n", what);
    std::exit(1);
  }
}

struct PKeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct SigFree {
  void operator()(EVP_SIGNATURE* p) const { EVP_SIGNATURE_free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyFree>;
using Ctx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;
using Sig = std::unique_ptr<EVP_SIGNATURE, SigFree>;

// OpenSSL, as the adapter drives it: raw keys in, raw bytes out.
void raw_ossl_keygen(const std::string& alg) {
  Ctx ctx(EVP_PKEY_CTX_new_from_name(nullptr, alg.c_str(), nullptr));
  EVP_PKEY* key = nullptr;
  check(ctx && EVP_PKEY_keygen_init(ctx.get()) > 0 && EVP_PKEY_generate(ctx.get(), &key) > 0, "keygen");
  PKey owner(key);
  unsigned char pub[4096], priv[8192];
  std::size_t pn = sizeof pub, sn = sizeof priv;
  check(EVP_PKEY_get_raw_public_key(key, pub, &pn) > 0 && EVP_PKEY_get_raw_private_key(key, priv, &sn) > 0,
        "export");
}

void raw_ossl_encaps(const std::string& alg, const morvex::Bytes& pk, std::size_t ct_len) {
  PKey key(EVP_PKEY_new_raw_public_key_ex(nullptr, alg.c_str(), nullptr, pk.data(), pk.size()));
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  std::vector<unsigned char> ct(ct_len);
  unsigned char ss[32];
  std::size_t cn = ct.size(), sn = sizeof ss;
  check(ctx && EVP_PKEY_encapsulate_init(ctx.get(), nullptr) > 0 &&
            EVP_PKEY_encapsulate(ctx.get(), ct.data(), &cn, ss, &sn) > 0,
        "encapsulate");
}

void raw_ossl_decaps(const std::string& alg, const morvex::SecureBytes& sk, const morvex::Bytes& ct) {
  PKey key(EVP_PKEY_new_raw_private_key_ex(nullptr, alg.c_str(), nullptr, sk.data(), sk.size()));
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  unsigned char ss[32];
  std::size_t sn = sizeof ss;
  check(ctx && EVP_PKEY_decapsulate_init(ctx.get(), nullptr) > 0 &&
            EVP_PKEY_decapsulate(ctx.get(), ss, &sn, ct.data(), ct.size()) > 0,
        "decapsulate");
}

// Decapsulation with a key loaded once, outside the timed call.
void raw_ossl_decaps_loaded(EVP_PKEY* key, const morvex::Bytes& ct) {
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  unsigned char ss[32];
  std::size_t sn = sizeof ss;
  check(ctx && EVP_PKEY_decapsulate_init(ctx.get(), nullptr) > 0 &&
            EVP_PKEY_decapsulate(ctx.get(), ss, &sn, ct.data(), ct.size()) > 0,
        "decapsulate");
}

void raw_ossl_sign(const std::string& alg, const morvex::SecureBytes& sk, const morvex::Bytes& msg,
                   std::size_t sig_len) {
  PKey key(EVP_PKEY_new_raw_private_key_ex(nullptr, alg.c_str(), nullptr, sk.data(), sk.size()));
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  Sig s(EVP_SIGNATURE_fetch(nullptr, alg.c_str(), nullptr));
  std::vector<unsigned char> out(sig_len);
  std::size_t n = out.size();
  check(ctx && s && EVP_PKEY_sign_message_init(ctx.get(), s.get(), nullptr) > 0 &&
            EVP_PKEY_sign(ctx.get(), out.data(), &n, msg.data(), msg.size()) > 0,
        "sign");
}

void raw_ossl_verify(const std::string& alg, const morvex::Bytes& pk, const morvex::Bytes& msg,
                     const morvex::Bytes& sig) {
  PKey key(EVP_PKEY_new_raw_public_key_ex(nullptr, alg.c_str(), nullptr, pk.data(), pk.size()));
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  Sig s(EVP_SIGNATURE_fetch(nullptr, alg.c_str(), nullptr));
  check(ctx && s && EVP_PKEY_verify_message_init(ctx.get(), s.get(), nullptr) > 0 &&
            EVP_PKEY_verify(ctx.get(), sig.data(), sig.size(), msg.data(), msg.size()) == 1,
        "verify");
}

// Botan's FrodoKEM, with the mechanism objects the adapter uses.
std::unique_ptr<Botan::Private_Key> botan_new(const std::string& alg, Botan::RandomNumberGenerator& rng) {
  return std::make_unique<Botan::FrodoKEM_PrivateKey>(rng, Botan::FrodoKEMMode(alg));
}
std::unique_ptr<Botan::Public_Key> botan_public(const std::string& alg, const morvex::Bytes& pk) {
  return std::make_unique<Botan::FrodoKEM_PublicKey>(pk, Botan::FrodoKEMMode(alg));
}
std::unique_ptr<Botan::Private_Key> botan_private(const std::string& alg, const morvex::SecureBytes& sk) {
  return std::make_unique<Botan::FrodoKEM_PrivateKey>(sk, Botan::FrodoKEMMode(alg));
}

// libmceliece's own entry points for a Classic McEliece set.
struct McEliece {
  void (*keypair)(unsigned char*, unsigned char*);
  int (*enc)(unsigned char*, unsigned char*, const unsigned char*);
  int (*dec)(unsigned char*, const unsigned char*, const unsigned char*);
};
McEliece mceliece_of(const std::string& alg) {
  if (alg.ends_with("6688128")) return {mceliece6688128_keypair, mceliece6688128_enc, mceliece6688128_dec};
  if (alg.ends_with("6960119")) return {mceliece6960119_keypair, mceliece6960119_enc, mceliece6960119_dec};
  return {mceliece8192128_keypair, mceliece8192128_enc, mceliece8192128_dec};
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.2;
  const std::string filter = argc > 2 ? argv[2] : "";
  auto wanted = [&](const std::string& alg) { return filter.empty() || alg.find(filter) != std::string::npos; };
  Botan::RandomNumberGenerator& rng = Botan::system_rng();
  namespace pq = morvex::quantum::oqs::internal;
  const pq::ProviderScope same_libraries({pq::Provider::OpenSsl, pq::Provider::Botan, pq::Provider::LibMcEliece});
  const morvex::Bytes msg(100, 0x5a);

  for (std::int64_t s = 0; s < 3; ++s) {
    for (const std::string& alg : {oqs::mlkem_alg(s), oqs::frodo_alg(s), oqs::cmce_alg(s)}) {
      if (!wanted(alg)) continue;
      enum { Ossl, Botan, Mce } lib = alg.rfind("ML-KEM", 0) == 0 ? Ossl : alg.rfind("Frodo", 0) == 0 ? Botan : Mce;
      const int samples = lib == Mce ? 3 : 8;
      const oqs::KemSizes sz = oqs::kem_sizes(alg);
      const oqs::KeyPair kp = oqs::generate_keypair(alg);
      const oqs::Encapsulation enc = oqs::encapsulate(alg, kp.public_key);
      const McEliece mce = mceliece_of(alg);
      std::vector<unsigned char> pk(sz.public_key), sk(sz.secret_key), ct(sz.ciphertext), ss(sz.shared_secret);
      report(alg, "keygen", [&] { oqs::generate_keypair(alg); },
             [&] {
               if (lib == Botan) {
                 auto k = botan_new(alg, rng);
                 (void)k->raw_public_key_bits();
                 (void)k->raw_private_key_bits();
               } else if (lib == Mce) {
                 mce.keypair(pk.data(), sk.data());
               } else {
                 raw_ossl_keygen(alg);
               }
             },
             seconds, samples);
      report(alg, "encaps", [&] { oqs::encapsulate(alg, kp.public_key); },
             [&] {
               if (lib == Botan) {
                 auto k = botan_public(alg, kp.public_key);
                 Botan::PK_KEM_Encryptor e(*k, "Raw");
                 (void)e.encrypt(rng, sz.shared_secret);
               } else if (lib == Mce) {
                 check(mce.enc(ct.data(), ss.data(), kp.public_key.data()) == 0, "encapsulate");
               } else {
                 raw_ossl_encaps(alg, kp.public_key, sz.ciphertext);
               }
             },
             seconds, samples);
      report(alg, "decaps", [&] { oqs::decapsulate(alg, kp.secret_key, enc.ciphertext); },
             [&] {
               if (lib == Botan) {
                 auto k = botan_private(alg, kp.secret_key);
                 Botan::PK_KEM_Decryptor d(*k, rng, "Raw");
                 (void)d.decrypt(enc.ciphertext, sz.shared_secret);
               } else if (lib == Mce) {
                 (void)mce.dec(ss.data(), enc.ciphertext.data(), kp.secret_key.data());
               } else {
                 raw_ossl_decaps(alg, kp.secret_key, enc.ciphertext);
               }
             },
             seconds, samples);
      if (lib == Ossl) {
        const PKey loaded(
            EVP_PKEY_new_raw_private_key_ex(nullptr, alg.c_str(), nullptr, kp.secret_key.data(), kp.secret_key.size()));
        report(alg, "decaps-vs-loaded-key", [&] { oqs::decapsulate(alg, kp.secret_key, enc.ciphertext); },
               [&] { raw_ossl_decaps_loaded(loaded.get(), enc.ciphertext); }, seconds, samples);
      }
    }
    for (const std::string& alg : {oqs::mldsa_alg(s), oqs::slhdsa_candidates(s)[0]}) {
      if (!wanted(alg)) continue;
      const oqs::SigSizes sz = oqs::sig_sizes(alg);
      const oqs::KeyPair kp = oqs::sig_generate_keypair(alg);
      const morvex::Bytes sig = oqs::sig_sign(alg, kp.secret_key, msg);
      report(alg, "keygen", [&] { oqs::sig_generate_keypair(alg); }, [&] { raw_ossl_keygen(alg); }, seconds, 8);
      report(alg, "sign", [&] { oqs::sig_sign(alg, kp.secret_key, msg); },
             [&] { raw_ossl_sign(alg, kp.secret_key, msg, sz.signature); }, seconds, 8);
      report(alg, "verify", [&] { oqs::sig_verify(alg, kp.public_key, msg, sig); },
             [&] { raw_ossl_verify(alg, kp.public_key, msg, sig); }, seconds, 8);
    }
  }
  return 0;
}

#else
#include <cstdio>
int main() {
  std::puts("built without the post-quantum backend");
  return 0;
}
#endif
