// libFuzzer harness: the input as an engine file.
#include "input/readengtrn.h"
#include "tests/fuzz/fuzz_files.h"
#include "textio/stop.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    read_engine(WriteFuzzFile("engine.txt", data, size));
  } catch (const RunStop&) {
  }
  return 0;
}
