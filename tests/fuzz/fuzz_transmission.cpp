// libFuzzer harness: the input as a transmission file; whatever the counts say, a list holds no more
// ratios than the most gears the program takes need.
#include <algorithm>

#include "core/constants.h"
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
  const auto most = static_cast<size_t>(MaxGearCount) + 1;
  if (trn.main_ratios.size() > most || trn.aux_ratios.size() > most)
    __builtin_trap();
  return 0;
}
