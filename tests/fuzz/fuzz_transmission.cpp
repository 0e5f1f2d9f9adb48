// libFuzzer harness: the input as a transmission file; the lists must hold what the counts say.
#include <algorithm>

#include "io/readengtrn.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TransmissionInput trn;
  try {
    trn = read_transmission(WriteFuzzFile("transmission.txt", data, size));
  } catch (const Error&) {
    return 0;
  }
  if (trn.main_ratios.size() != static_cast<size_t>(std::max(trn.main_ratio_count, 0)) ||
      trn.aux_ratios.size() != static_cast<size_t>(std::max(trn.aux_ratio_count, 0)))
    __builtin_trap();
  return 0;
}
