// The spec file: seventeen values, one per line.
#pragma once
#include <string_view>
#include "hdfe/vehicle.h"

namespace hdfe {

// Reads the spec file named `name` (trailing blanks removed). Stops the run on failure.
SpecValues read_spec(std::string_view name);

}  // namespace hdfe
