// The backend linked into this build: each mechanism goes to the first
// library that carries it, in the order liboqs (when built in), then OpenSSL,
// Botan or libmceliece. SLH-DSA stays with OpenSSL and Classic McEliece with
// libmceliece; liboqs is measurably faster for the rest.
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "morvex/errors.hpp"
#include "quantum/backend/families.hpp"
#include "quantum/backend/mceliece.hpp"

namespace morvex::quantum::oqs::internal {
namespace {

// One library's entry points; null where it has none for the kind.
struct Library {
  KeyPair (*kem_keypair)(const Mechanism&, Entropy*);
  Encapsulation (*kem_encapsulate)(const Mechanism&, ByteView, Entropy*);
  SecureBytes (*kem_decapsulate)(const Mechanism&, ByteView, ByteView);
  KeyPair (*sig_keypair)(const Mechanism&, Entropy*);
  Bytes (*sig_sign)(const Mechanism&, ByteView, ByteView, Entropy*);
  bool (*sig_verify)(const Mechanism&, ByteView, ByteView, ByteView);
};

constexpr std::array<Library, 4> kLibraries{{
#ifdef MORVEX_WITH_LIBOQS
    {liboqs_pq::kem_keypair, liboqs_pq::kem_encapsulate, liboqs_pq::kem_decapsulate, liboqs_pq::sig_keypair,
     liboqs_pq::sig_sign, liboqs_pq::sig_verify},
#else
    {},
#endif
    {ossl_pq::kem_keypair, ossl_pq::kem_encapsulate, ossl_pq::kem_decapsulate, ossl_pq::sig_keypair,
     ossl_pq::sig_sign, ossl_pq::sig_verify},
    {botan_pq::kem_keypair, botan_pq::kem_encapsulate, botan_pq::kem_decapsulate, nullptr, nullptr, nullptr},
    {mceliece_pq::kem_keypair, mceliece_pq::kem_encapsulate, mceliece_pq::kem_decapsulate, nullptr, nullptr,
     nullptr},
}};

// The libraries that may carry a family, in order of preference.
std::vector<Provider> candidates(Family f) {
  switch (f) {
    case Family::MlKem:
    case Family::MlDsa: return {Provider::Liboqs, Provider::OpenSsl};
    case Family::FrodoKem: return {Provider::Liboqs, Provider::Botan};
    case Family::SlhDsa: return {Provider::OpenSsl};
    case Family::ClassicMcEliece: return {Provider::LibMcEliece};
  }
  return {};
}

// Whether a library carries a mechanism. liboqs is optional (a system
// liboqs may lack some mechanisms); the others must offer what they are
// listed for, or the backend does not load.
bool carries(Provider p, const Mechanism& m) {
  switch (p) {
    case Provider::Liboqs:
#ifdef MORVEX_WITH_LIBOQS
      return liboqs_pq::offers(m);
#else
      return false;
#endif
    case Provider::OpenSsl: ossl_pq::check_available(m); return true;
    case Provider::Botan: botan_pq::check_available(m); return true;
    case Provider::LibMcEliece: mceliece_pq::check_available(m); return true;
  }
  return false;
}

// The providers of every mechanism, by its index in the table; worked out
// once (a failure is not kept: the next load works it out again).
const std::vector<std::vector<Provider>>& carried() {
  static const std::vector<std::vector<Provider>> table = [] {
    std::vector<std::vector<Provider>> t;
    for (const Mechanism& m : mechanisms()) {
      std::vector<Provider>& list = t.emplace_back();
      for (Provider p : candidates(m.family))
        if (carries(p, m)) list.push_back(p);
      if (list.empty()) throw PrimitiveError("no library offers " + std::string(m.name));
    }
    return t;
  }();
  return table;
}

constexpr unsigned kAll = ~0u;
constexpr unsigned bit(Provider p) { return 1u << static_cast<unsigned>(p); }
thread_local unsigned tls_allowed = kAll;

const Library& library_for(const Mechanism& m) {
  const std::span<const Provider> list = providers(m);
  for (Provider p : list)
    if ((tls_allowed & bit(p)) != 0) return kLibraries[static_cast<std::size_t>(p)];
  return kLibraries[static_cast<std::size_t>(list.front())];
}

template <class Fn>
Fn need(Fn fn) {
  if (fn == nullptr) throw PrimitiveError("operation not offered by the mechanism's library");
  return fn;
}

class LinkedBackend final : public Backend {
 public:
  KeyPair kem_keypair(const Mechanism& m, Entropy* e) const override {
    return need(library_for(m).kem_keypair)(m, e);
  }
  Encapsulation kem_encapsulate(const Mechanism& m, ByteView pk, Entropy* e) const override {
    return need(library_for(m).kem_encapsulate)(m, pk, e);
  }
  SecureBytes kem_decapsulate(const Mechanism& m, ByteView sk, ByteView ct) const override {
    return need(library_for(m).kem_decapsulate)(m, sk, ct);
  }
  KeyPair sig_keypair(const Mechanism& m, Entropy* e) const override {
    return need(library_for(m).sig_keypair)(m, e);
  }
  Bytes sig_sign(const Mechanism& m, ByteView sk, ByteView msg, Entropy* e) const override {
    return need(library_for(m).sig_sign)(m, sk, msg, e);
  }
  bool sig_verify(const Mechanism& m, ByteView pk, ByteView msg, ByteView sig) const override {
    return need(library_for(m).sig_verify)(m, pk, msg, sig);
  }
};

}  // namespace

std::string_view provider_name(Provider p) noexcept {
  switch (p) {
    case Provider::Liboqs: return "liboqs";
    case Provider::OpenSsl: return "OpenSSL";
    case Provider::Botan: return "Botan";
    case Provider::LibMcEliece: return "libmceliece";
  }
  return "?";
}

std::span<const Provider> providers(const Mechanism& m) {
  return carried().at(static_cast<std::size_t>(&m - mechanisms().data()));
}

const Backend& load_linked_backend() {
  // Loading means: every mechanism is offered by a library behind it.
  (void)carried();
  static const LinkedBackend instance;
  return instance;
}

ProviderScope::ProviderScope(std::initializer_list<Provider> allowed) : saved_(tls_allowed) {
  tls_allowed = 0;
  for (Provider p : allowed) tls_allowed |= bit(p);
}
ProviderScope::~ProviderScope() { tls_allowed = saved_; }

}  // namespace morvex::quantum::oqs::internal
