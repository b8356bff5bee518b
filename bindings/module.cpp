// morvex._native: one submodule per area, each a thin skin over morvex_core.
#include "module.hpp"

NB_MODULE(_native, m) {
  using namespace morvex::py;
  m.doc() = "Native core of morvex (internal; use the morvex package).";
  register_error_translation();
  shutdown::install_exit_hook(m);
  const struct {
    const char *name, *doc;
    void (*bind)(nb::module_&);
  } areas[] = {
      {"keys", "Key normalisation.", &bind_keys},
      {"aes", "AES-256-GCM core.", &bind_aes},
      {"rsa", "RSA core.", &bind_rsa},
      {"hybrid", "Hybrid envelope core.", &bind_hybrid},
      {"password", "Password hash core.", &bind_password},
      {"quantum", "Post-quantum core.", &bind_quantum},
      {"oqs",
       "Post-quantum primitive adapter.\n\n"
       "An operation whose backend call fails raises QuantumOperationError\n"
       "\"<operation> failed (<alg>): <reason>\"; without a backend, the loader's message.",
       &bind_quantum_oqs},
      {"stream", "Chunked encryption core.", &bind_stream},
  };
  for (const auto& area : areas) {
    nb::module_ sub = m.def_submodule(area.name, area.doc);
    area.bind(sub);
  }
}
