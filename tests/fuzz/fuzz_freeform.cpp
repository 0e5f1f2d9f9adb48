// libFuzzer harness: the input as a file read free-form to its end, and a double taken
// from its first bytes written in number fields of widths and decimals from later bytes.
#include <cstring>
#include <sstream>

#include "textio/fields.h"
#include "textio/freeform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
  RecordInput in;
  in.stream = &file;
  double r = 0;
  int32_t i = 0;
  std::string t;
  const ReadTarget list[] = {REALVAR(r), INTVAR(i), TEXTVAR(t), REALVAR(r), TEXTVAR(t)};
  while (READFREE(in, list) != ReadStatus::End) {}
  if (size < 10) return 0;
  double v;
  std::memcpy(&v, data, sizeof v);
  const int w = 1 + data[8] % 48, d = data[9];
  if (FMTF(v, w, d).size() != static_cast<size_t>(w) || FMTF0(v, d).empty()) __builtin_trap();
  if (FMTI(static_cast<int64_t>(i) * w, w).size() != static_cast<size_t>(w)) __builtin_trap();
  return 0;
}
