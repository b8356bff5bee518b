// morvex._native: one submodule per area, each a thin skin over morvex_core.
#include "module.hpp"

NB_MODULE(_native, m) {
  using namespace morvex::py;
  m.doc() = "Native core of morvex (internal; use the morvex package).";
  register_error_translation();
  shutdown::install_exit_hook(m);
  nb::module_ keys = m.def_submodule("keys", "Key normalisation.");
  bind_keys(keys);
  nb::module_ aes = m.def_submodule("aes", "AES-256-GCM core.");
  bind_aes(aes);
  nb::module_ rsa = m.def_submodule("rsa", "RSA core.");
  bind_rsa(rsa);
  nb::module_ hybrid = m.def_submodule("hybrid", "Hybrid envelope core.");
  bind_hybrid(hybrid);
  nb::module_ password = m.def_submodule("password", "Password hash core.");
  bind_password(password);
  nb::module_ quantum = m.def_submodule("quantum", "Post-quantum core.");
  bind_quantum(quantum);
  nb::module_ oqs = m.def_submodule("oqs", "Post-quantum primitive adapter.");
  bind_quantum_oqs(oqs);
}
