// ML-KEM, ML-DSA and SLH-DSA through OpenSSL, with the raw key encodings:
// public keys as published, private keys in their expanded form (ML-KEM
// decapsulation key, ML-DSA signing key, SLH-DSA SK.seed||SK.prf||PK).
#include <openssl/core_names.h>
#include <openssl/params.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/ossl.hpp"
#include "quantum/backend/families.hpp"

namespace morvex::quantum::oqs::internal::ossl_pq {
namespace {

using detail::PKey;
using detail::PKeyCtx;
using detail::throw_openssl;
using Signature = detail::OsslPtr<EVP_SIGNATURE, EVP_SIGNATURE_free>;
using Kem = detail::OsslPtr<EVP_KEM, EVP_KEM_free>;

std::string impl_name(const Mechanism& m) { return std::string(m.impl); }

// A non-null pointer for an empty message (OpenSSL refuses a null buffer).
const unsigned char* data_of(ByteView v) {
  static const unsigned char none = 0;
  return v.empty() ? &none : v.data();
}

// Draws `n` bytes of deterministic randomness into a wiping buffer.
SecureBytes draw(Entropy& e, std::size_t n) {
  SecureBytes out(n);
  e.draw(out);
  return out;
}

OSSL_PARAM octets(const char* key, SecureBytes& v) {
  return OSSL_PARAM_construct_octet_string(key, v.data(), v.size());
}

PKey generate(const Mechanism& m, const char* seed_param, Entropy* entropy) {
  const std::string name = impl_name(m);
  PKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, name.c_str(), nullptr));
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0) throw_openssl("key generation setup failed");
  SecureBytes seed;
  if (entropy != nullptr && seed_param != nullptr) {
    seed = draw(*entropy, m.keygen_draw);
    const OSSL_PARAM params[] = {octets(seed_param, seed), OSSL_PARAM_construct_end()};
    if (EVP_PKEY_CTX_set_params(ctx.get(), params) <= 0) throw_openssl("key generation seed rejected");
  }
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_generate(ctx.get(), &key) <= 0) throw_openssl("key generation failed");
  return PKey(key);
}

KeyPair export_pair(const Mechanism& m, EVP_PKEY* key) {
  KeyPair kp;
  kp.public_key.resize(m.public_key);
  kp.secret_key.resize(m.secret_key);
  std::size_t pub_len = kp.public_key.size(), priv_len = kp.secret_key.size();
  if (EVP_PKEY_get_raw_public_key(key, kp.public_key.data(), &pub_len) <= 0 ||
      EVP_PKEY_get_raw_private_key(key, kp.secret_key.data(), &priv_len) <= 0)
    throw_openssl("key export failed");
  if (pub_len != m.public_key || priv_len != m.secret_key)
    throw PrimitiveError("exported key has an unexpected length");
  return kp;
}

PKey public_key(const Mechanism& m, ByteView raw) {
  const std::string name = impl_name(m);
  PKey key(EVP_PKEY_new_raw_public_key_ex(nullptr, name.c_str(), nullptr, raw.data(), raw.size()));
  if (!key) throw_openssl("invalid public key");
  return key;
}

PKey private_key(const Mechanism& m, ByteView raw) {
  const std::string name = impl_name(m);
  PKey key(EVP_PKEY_new_raw_private_key_ex(nullptr, name.c_str(), nullptr, raw.data(), raw.size()));
  if (!key) throw_openssl("invalid secret key");
  return key;
}

PKeyCtx context_of(EVP_PKEY* key) {
  PKeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx) throw_openssl("context setup failed");
  return ctx;
}

// The signature algorithm of a mechanism, fetched once per parameter set and
// kept for the life of the process, like the library's other fetches.
EVP_SIGNATURE* fetch_signature(const Mechanism& m) {
  static const std::vector<std::pair<std::string_view, EVP_SIGNATURE*>> cache = [] {
    std::vector<std::pair<std::string_view, EVP_SIGNATURE*>> c;
    for (const Mechanism& x : mechanisms()) {
      if (x.is_kem() || std::any_of(c.begin(), c.end(), [&](const auto& e) { return e.first == x.impl; }))
        continue;
      c.emplace_back(x.impl, EVP_SIGNATURE_fetch(nullptr, impl_name(x).c_str(), nullptr));
    }
    detail::clear_openssl_errors();
    return c;
  }();
  for (const auto& [impl, s] : cache)
    if (impl == m.impl && s != nullptr) return s;
  throw PrimitiveError("signature algorithm not available");
}

}  // namespace

void check_available(const Mechanism& m) {
  const std::string name = impl_name(m);
  bool ok;
  if (m.is_kem()) {
    ok = Kem(EVP_KEM_fetch(nullptr, name.c_str(), nullptr)) != nullptr;
  } else {
    ok = Signature(EVP_SIGNATURE_fetch(nullptr, name.c_str(), nullptr)) != nullptr;
  }
  if (!ok) {
    detail::clear_openssl_errors();
    throw PrimitiveError("OpenSSL does not offer " + name);
  }
}

KeyPair kem_keypair(const Mechanism& m, Entropy* entropy) {
  // The seed is d || z.
  PKey key = generate(m, OSSL_PKEY_PARAM_ML_KEM_SEED, entropy);
  return export_pair(m, key.get());
}

Encapsulation kem_encapsulate(const Mechanism& m, ByteView raw_public, Entropy* entropy) {
  PKey key = public_key(m, raw_public);
  PKeyCtx ctx = context_of(key.get());
  SecureBytes ikme;
  OSSL_PARAM params[2] = {OSSL_PARAM_construct_end(), OSSL_PARAM_construct_end()};
  if (entropy != nullptr) {
    ikme = draw(*entropy, m.encaps_draw);  // m
    params[0] = octets(OSSL_KEM_PARAM_IKME, ikme);
  }
  if (EVP_PKEY_encapsulate_init(ctx.get(), params) <= 0) throw_openssl("encapsulation setup failed");
  Encapsulation out;
  out.ciphertext.resize(m.output);
  out.shared_secret.resize(m.shared_secret);
  std::size_t ct_len = out.ciphertext.size(), ss_len = out.shared_secret.size();
  if (EVP_PKEY_encapsulate(ctx.get(), out.ciphertext.data(), &ct_len, out.shared_secret.data(), &ss_len) <= 0)
    throw_openssl("encapsulation failed");
  if (ct_len != m.output || ss_len != m.shared_secret)
    throw PrimitiveError("encapsulation gave an unexpected length");
  return out;
}

SecureBytes kem_decapsulate(const Mechanism& m, ByteView raw_secret, ByteView ciphertext) {
  PKey key = private_key(m, raw_secret);
  PKeyCtx ctx = context_of(key.get());
  if (EVP_PKEY_decapsulate_init(ctx.get(), nullptr) <= 0) throw_openssl("decapsulation setup failed");
  SecureBytes ss(m.shared_secret);
  std::size_t ss_len = ss.size();
  if (EVP_PKEY_decapsulate(ctx.get(), ss.data(), &ss_len, ciphertext.data(), ciphertext.size()) <= 0)
    throw_openssl("decapsulation failed");
  if (ss_len != m.shared_secret) throw PrimitiveError("decapsulation gave an unexpected length");
  return ss;
}

KeyPair sig_keypair(const Mechanism& m, Entropy* entropy) {
  // ML-DSA takes the 32-byte seed xi; SLH-DSA SK.seed || SK.prf || PK.seed.
  const char* seed_param = m.family == Family::MlDsa ? OSSL_PKEY_PARAM_ML_DSA_SEED : OSSL_PKEY_PARAM_SLH_DSA_SEED;
  PKey key = generate(m, seed_param, entropy);
  return export_pair(m, key.get());
}

Bytes sig_sign(const Mechanism& m, ByteView raw_secret, ByteView message, Entropy* entropy) {
  PKey key = private_key(m, raw_secret);
  PKeyCtx ctx = context_of(key.get());
  EVP_SIGNATURE* alg = fetch_signature(m);
  // Pure signing with an empty context (the library's defaults); with fixed
  // randomness the known-answer tests supply rnd (ML-DSA) or opt_rand (SLH-DSA).
  SecureBytes rnd;
  OSSL_PARAM params[2] = {OSSL_PARAM_construct_end(), OSSL_PARAM_construct_end()};
  if (entropy != nullptr) {
    rnd = draw(*entropy, m.encaps_draw);
    params[0] = octets(OSSL_SIGNATURE_PARAM_TEST_ENTROPY, rnd);
  }
  if (EVP_PKEY_sign_message_init(ctx.get(), alg, params) <= 0) throw_openssl("signing setup failed");
  Bytes out(m.output);
  std::size_t len = out.size();
  if (EVP_PKEY_sign(ctx.get(), out.data(), &len, data_of(message), message.size()) <= 0)
    throw_openssl("signing failed");
  if (len != m.output) throw PrimitiveError("signature has an unexpected length");
  return out;
}

bool sig_verify(const Mechanism& m, ByteView raw_public, ByteView message, ByteView signature) {
  PKey key = public_key(m, raw_public);
  PKeyCtx ctx = context_of(key.get());
  EVP_SIGNATURE* alg = fetch_signature(m);
  bool ok = EVP_PKEY_verify_message_init(ctx.get(), alg, nullptr) > 0 &&
            EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), data_of(message), message.size()) == 1;
  detail::clear_openssl_errors();
  return ok;
}

}  // namespace morvex::quantum::oqs::internal::ossl_pq
