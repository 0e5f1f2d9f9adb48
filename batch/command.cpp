#include "batch/command.h"

#include <iostream>

namespace hdfe {

int run_batch_command(const CommandLine& /*command*/) {
  std::cerr << " --batch is not available in this build\r\n";
  return ExitFailure;
}

}  // namespace hdfe
