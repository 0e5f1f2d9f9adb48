// libFuzzer harness: the input as a file read free-form to its end, and a double taken
// from its first bytes written in number fields of widths and decimals from later bytes.
#include <cstring>
#include <sstream>

#include "io/fields.h"
#include "hdfe/freeform.h"

using namespace hdfe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
  RecordInput in;
  in.stream = &file;
  double r = 0;
  int32_t i = 0;
  std::string t;
  const ReadTarget list[] = {real_var(r), int_var(i), text_var(t), real_var(r), text_var(t)};
  while (read_free(in, list) != ReadStatus::End) {}
  if (size < 10) return 0;
  double v;
  std::memcpy(&v, data, sizeof v);
  const int w = 1 + data[8] % 48, d = data[9];
  if (format_f(v, w, d).size() != static_cast<size_t>(w) || format_f0(v, d).empty()) __builtin_trap();
  if (format_i(static_cast<int64_t>(i) * w, w).size() != static_cast<size_t>(w)) __builtin_trap();
  return 0;
}
