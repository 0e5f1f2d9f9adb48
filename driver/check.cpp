#include "driver/check.h"

namespace hdfe {

int run_check(const std::string& /*spec*/, std::ostream& /*out*/) { return 1; }

}  // namespace hdfe
