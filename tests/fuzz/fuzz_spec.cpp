// libFuzzer harness: the input as a spec file.
#include "io/readspec.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    read_spec(WriteFuzzFile("spec.txt", data, size));
  } catch (const Error&) {
  }
  return 0;
}
