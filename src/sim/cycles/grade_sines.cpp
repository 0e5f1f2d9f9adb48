// Works out, at build time, the sine of the slope angle of each HIGHWAY gradient, as the
// gear evaluations work it out from the gradient (sin(atan(s / 100))), and writes it as a
// C++ table of exact hexadecimal values, so that a run looks it up instead.
// Run as: hdfe_grade_sines GRADE_FILE OUTPUT
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "hdfe/units.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: hdfe_grade_sines GRADE_FILE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << argv[1] << ": cannot be read\n";
    return 1;
  }
  std::string body;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    double s = 0.0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), s);
    if (error != std::errc{} || end != line.data() + line.size()) {
      std::cerr << argv[1] << ":" << number << ": not a number: '" << line << "'\n";
      return 1;
    }
    char value[64];
    std::snprintf(value, sizeof value, "    %a,\n", std::sin(std::atan(s / hdfe::Percent)));
    body += value;
  }
  const std::string temporary = std::string(argv[2]) + ".tmp";
  {
    std::ofstream out(temporary);
    out << "// Generated at build time by hdfe_grade_sines from simulation/cycles/highway_grade.txt.\n"
           "#include \"sim/cycletables.h\"\n\nnamespace hdfe {\n\n"
           "const std::array<double, HighwayPoints> HighwayGradeSineTable = {\n"
        << body << "};\n\n}  // namespace hdfe\n";
    if (!out) {
      std::cerr << temporary << ": cannot be written\n";
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), argv[2]) != 0) {
    std::cerr << argv[2] << ": cannot be written\n";
    return 1;
  }
  return 0;
}
