#include "glue.hpp"

namespace morvex::py {

void bind_password(nb::module_& m) { (void)m; }

}  // namespace morvex::py
