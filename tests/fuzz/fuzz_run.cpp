// libFuzzer harness: a whole run on fuzzed input files. The input holds the spec,
// transmission, engine, full-load, motoring and fuel-map files in this order, separated
// by the byte 0x1E; the spec file names the others (the seeds use these names).
#include <algorithm>
#include <iostream>

#include "hdfe/hdfe.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The run takes relative names from the working folder; its console lines are dropped.
  static const bool entered =
      (std::filesystem::current_path(FuzzDir()), std::cout.setstate(std::ios::badbit), true);
  const char* names[] = {"spec.txt",     "transmission.txt", "engine.txt",
                         "fullload.txt", "motoring.txt",     "fuelmap.txt"};
  const uint8_t* piece = data;
  for (const char* name : names) {
    const uint8_t* end = std::find(piece, data + size, uint8_t{0x1E});
    WriteFuzzFile(name, piece, static_cast<size_t>(end - piece));
    piece = end == data + size ? end : end + 1;
  }
  try {
    run(load_vehicle("spec.txt", LoadOptions{std::filesystem::path()}));
  } catch (const Error&) {
  }
  return entered ? 0 : 1;
}
