// Times each post-quantum mechanism through the adapter (key import
// included) on each library this build carries for it, then the generations
// and signatures end to end on the libraries of a build without liboqs
// ("today") and on the preferred ones, all in one run, in this thread's CPU
// time.
//
//   pq_providers [seconds=0.1]
//
// Prints tab-separated lines:
//   mech  <mechanism>  <operation>  <provider>=<us> ...
//   e2e   <what>       <operation>  preferred=<us>  today=<us>
// (a mechanism's providers come in order of preference).
#ifdef MORVEX_WITH_PQ

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cpu_timing.hpp"
#include "morvex/quantum.hpp"
#include "quantum/oqs.hpp"
#include "quantum/oqs_mechanisms.hpp"

namespace {

namespace oqs = morvex::quantum::oqs;
namespace pq = morvex::quantum::oqs::internal;
using morvex::bench::Fn;

constexpr int kSamples = 6;

void print(const char* kind, const std::string& what, const char* op, const std::vector<std::string>& names,
           const std::vector<double>& us) {
  std::printf("%s\t%s\t%s", kind, what.c_str(), op);
  for (std::size_t i = 0; i < us.size(); ++i) std::printf("\t%s=%.1f", names[i].c_str(), us[i]);
  std::printf("\n");
  std::fflush(stdout);
}

// One operation on each of the mechanism's providers.
void per_provider(const pq::Mechanism& m, const char* op, const std::function<void()>& f, double seconds) {
  std::vector<Fn> fs;
  std::vector<std::string> names;
  for (const pq::Provider p : pq::providers(m)) {
    fs.push_back([p, &f] {
      const pq::ProviderScope only({p});
      f();
    });
    names.emplace_back(pq::provider_name(p));
  }
  print("mech", std::string(m.name), op, names, morvex::bench::best_us(fs, seconds, kSamples));
}

// One operation on today's libraries and on the preferred ones.
void today_and_preferred(const std::string& what, const char* op, const std::function<void()>& f, double seconds) {
  const Fn today = [&f] {
    const pq::ProviderScope scope({pq::Provider::OpenSsl, pq::Provider::Botan, pq::Provider::LibMcEliece});
    f();
  };
  print("e2e", what, op, {"preferred", "today"}, morvex::bench::best_us({f, today}, seconds, kSamples));
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.1;
  const morvex::Bytes msg(100, 0x5a);
  oqs::_oqs();

  // Classic McEliece has one library (and bench_quantum times it); SLH-DSA
  // is timed under its first spelling only.
  for (const pq::Mechanism& m : pq::mechanisms()) {
    if (m.family == pq::Family::ClassicMcEliece || m.name.find('_') != std::string_view::npos) continue;
    const std::string alg(m.name);
    if (m.is_kem()) {
      const oqs::KeyPair kp = oqs::generate_keypair(alg);
      const oqs::Encapsulation enc = oqs::encapsulate(alg, kp.public_key);
      per_provider(m, "keygen", [&] { oqs::generate_keypair(alg); }, seconds);
      per_provider(m, "encaps", [&] { oqs::encapsulate(alg, kp.public_key); }, seconds);
      per_provider(m, "decaps", [&] { oqs::decapsulate(alg, kp.secret_key, enc.ciphertext); }, seconds);
    } else {
      const oqs::KeyPair kp = oqs::sig_generate_keypair(alg);
      const morvex::Bytes sig = oqs::sig_sign(alg, kp.secret_key, msg);
      per_provider(m, "keygen", [&] { oqs::sig_generate_keypair(alg); }, seconds);
      per_provider(m, "sign", [&] { oqs::sig_sign(alg, kp.secret_key, msg); }, seconds);
      per_provider(m, "verify", [&] { oqs::sig_verify(alg, kp.public_key, msg, sig); }, seconds);
    }
  }

  namespace q = morvex::quantum;
  const std::string text(172, 'm');
  for (const auto& [gen, strength] : std::vector<std::pair<int, int>>{
           {4, 2}, {6, 0}, {6, 1}, {6, 2}, {7, 0}, {7, 1}, {7, 2}, {8, 0}, {8, 1}, {8, 2}}) {
    const std::string what = "Gen" + std::to_string(gen) + "/" + std::to_string(strength);
    const q::KeyPair kp = q::generate_keypair(q::to_generation(gen), q::to_strength(strength));
    const q::Encrypted e = q::encrypt(text, kp.public_key);
    today_and_preferred(what, "encrypt", [&] { q::encrypt(text, kp.public_key); }, seconds);
    today_and_preferred(what, "decrypt", [&] { q::decrypt(e.message, kp.private_key, e.secret); }, seconds);
  }
  for (int alg : {1, 2}) {
    for (int strength : {0, 1, 2}) {
      const std::string what = oqs::sig_algorithm(alg == 1 ? "mldsa" : "slhdsa", strength);
      const q::KeyPair kp = q::generate_signature_keypair(q::to_signature_algorithm(alg), q::to_strength(strength));
      const morvex::Bytes sig = q::sign(msg, kp.private_key);
      today_and_preferred(what, "sign", [&] { q::sign(msg, kp.private_key); }, seconds);
      today_and_preferred(what, "verify", [&] { q::verify(msg, sig, kp.public_key); }, seconds);
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
