// libFuzzer harness: the input as a fuel-map file; the points must come out by speed, then
// by torque within a speed line.
#include "io/readcurves.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuelMap map;
  try {
    map = read_fuel_map(WriteFuzzFile("map.txt", data, size));
  } catch (const Error&) {
    return 0;
  }
  const size_t n = static_cast<size_t>(map.PointCount);
  if (map.Speeds.size() != n || map.Torques.size() != n || map.FuelRates.size() != n) __builtin_trap();
  for (size_t i = 1; i < n; ++i) {
    const bool sameLine = map.Speeds[i - 1] == map.Speeds[i];
    if (!(map.Speeds[i - 1] <= map.Speeds[i]) || (sameLine && !(map.Torques[i - 1] <= map.Torques[i])))
      __builtin_trap();
  }
  return 0;
}
