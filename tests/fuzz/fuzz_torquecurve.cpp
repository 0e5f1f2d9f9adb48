// libFuzzer harness: the input as a torque-curve file; the points must come out by speed.
#include "io/readcurves.h"
#include "tests/fuzz/fuzz_files.h"
#include "hdfe/error.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TorqueCurve curve;
  try {
    curve = read_torque_curve(WriteFuzzFile("curve.txt", data, size));
  } catch (const Error&) {
    return 0;
  }
  const size_t n = static_cast<size_t>(curve.point_count());
  if (curve.speeds_rpm.size() != n || curve.torques_nm.size() != n) __builtin_trap();
  for (size_t i = 1; i < n; ++i) {
    if (!(curve.speeds_rpm[i - 1] <= curve.speeds_rpm[i])) __builtin_trap();
  }
  return 0;
}
