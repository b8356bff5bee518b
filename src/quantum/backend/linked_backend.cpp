// The backend linked into this build: dispatches each mechanism to the
// library that implements it.
#include "quantum/backend/families.hpp"
#include "quantum/backend/mceliece.hpp"

namespace morvex::quantum::oqs::detail {
namespace {

class LinkedBackend final : public Backend {
 public:
  KeyPair kem_keypair(const Mechanism& m, Entropy* e) const override {
    switch (m.family) {
      case Family::FrodoKem: return botan_pq::kem_keypair(m, e);
      case Family::ClassicMcEliece: return mceliece_pq::kem_keypair(m, e);
      default: return ossl_pq::kem_keypair(m, e);
    }
  }
  Encapsulation kem_encapsulate(const Mechanism& m, ByteView pk, Entropy* e) const override {
    switch (m.family) {
      case Family::FrodoKem: return botan_pq::kem_encapsulate(m, pk, e);
      case Family::ClassicMcEliece: return mceliece_pq::kem_encapsulate(m, pk, e);
      default: return ossl_pq::kem_encapsulate(m, pk, e);
    }
  }
  SecureBytes kem_decapsulate(const Mechanism& m, ByteView sk, ByteView ct) const override {
    switch (m.family) {
      case Family::FrodoKem: return botan_pq::kem_decapsulate(m, sk, ct);
      case Family::ClassicMcEliece: return mceliece_pq::kem_decapsulate(m, sk, ct);
      default: return ossl_pq::kem_decapsulate(m, sk, ct);
    }
  }
  KeyPair sig_keypair(const Mechanism& m, Entropy* e) const override {
    return ossl_pq::sig_keypair(m, e);
  }
  Bytes sig_sign(const Mechanism& m, ByteView sk, ByteView msg, Entropy* e) const override {
    return ossl_pq::sig_sign(m, sk, msg, e);
  }
  bool sig_verify(const Mechanism& m, ByteView pk, ByteView msg, ByteView sig) const override {
    return ossl_pq::sig_verify(m, pk, msg, sig);
  }
};

}  // namespace

const Backend& load_linked_backend() {
  // Loading means: every mechanism is offered by the library behind it.
  for (const Mechanism& m : mechanisms()) {
    switch (m.family) {
      case Family::FrodoKem: botan_pq::check_available(m); break;
      case Family::ClassicMcEliece: mceliece_pq::check_available(m); break;
      default: ossl_pq::check_available(m);
    }
  }
  static const LinkedBackend instance;
  return instance;
}

}  // namespace morvex::quantum::oqs::detail
