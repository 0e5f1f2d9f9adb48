// A stop of the run: every routine that ends the run throws an hdfe::Error.
#pragma once
#include "hdfe/error.h"

namespace hdfe {

using RunStop = Error;

}  // namespace hdfe
