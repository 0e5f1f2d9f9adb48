// The spec file: seventeen values, one per line.
#pragma once
#include <string_view>
#include "hdfe/vehicle.h"
#include "io/inputfile.h"

namespace hdfe {

// Reads the spec file named `name` (trailing blanks removed), through `files` when given
// (as every reader here). Stops the run on failure.
SpecValues read_spec(std::string_view name, InputBytes* files = nullptr);

}  // namespace hdfe
