#include "glue.hpp"

namespace morvex::py {

void bind_rsa(nb::module_& m) { (void)m; }

}  // namespace morvex::py
