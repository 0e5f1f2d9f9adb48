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
  const size_t n = static_cast<size_t>(map.point_count());
  if (map.speeds_rpm.size() != n || map.torques_nm.size() != n || map.fuel_rates_l_per_h.size() != n) __builtin_trap();
  for (size_t i = 1; i < n; ++i) {
    const bool sameLine = map.speeds_rpm[i - 1] == map.speeds_rpm[i];
    if (!(map.speeds_rpm[i - 1] <= map.speeds_rpm[i]) || (sameLine && !(map.torques_nm[i - 1] <= map.torques_nm[i])))
      __builtin_trap();
  }
  return 0;
}
