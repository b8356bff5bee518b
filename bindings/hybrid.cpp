#include "glue.hpp"

namespace morvex::py {

void bind_hybrid(nb::module_& m) { (void)m; }

}  // namespace morvex::py
