// libFuzzer harness: the input as a spec file.
#include "input/readspec.h"
#include "tests/fuzz/fuzz_files.h"
#include "textio/stop.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    read_spec(WriteFuzzFile("spec.txt", data, size));
  } catch (const RunStop&) {
  }
  return 0;
}
