#include "glue.hpp"

namespace morvex::py {

void bind_quantum_oqs(nb::module_& m) { (void)m; }

}  // namespace morvex::py
