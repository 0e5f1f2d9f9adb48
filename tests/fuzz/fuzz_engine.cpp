// libFuzzer harness: the input as an engine file.
#include "io/readengtrn.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    read_engine(WriteFuzzFile("engine.txt", data, size));
  } catch (const Error&) {
  }
  return 0;
}
