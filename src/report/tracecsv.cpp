#include "hdfe/report.h"

#include <charconv>

#include "core/constants.h"

namespace hdfe {

namespace {

void append_number(std::string& out, double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

}  // namespace

std::string trace_csv(const Result& result) {
  std::string out = TraceCsvHeader;
  out += '\n';
  for (const CycleRun& run : result.traces) {
    const CycleTrace& t = run.trace;
    double distance = 0.0;  // sum of speeds [km/h·s]
    double fuel = 0.0;      // sum of fuel rates [l/h·s]
    for (std::size_t k = 0; k < t.Vreal.size(); ++k) {
      distance = distance + t.Vreal[k];
      fuel = fuel + t.FC[k];
      const std::size_t point = k + 1;
      out += run.name;
      out += ',';
      append_number(out, static_cast<double>(point));
      for (const double value : {run.cycle.Vtarget[point], t.Vreal[k], run.cycle.grade[point], distance / SecondsPerHour}) {
        out += ',';
        append_number(out, value);
      }
      out += ',';
      append_number(out, t.Shift[k]);
      for (const double value : {t.Ne[k], t.Te[k], t.N_norm[k], t.T_norm[k], t.FC[k], fuel / SecondsPerHour}) {
        out += ',';
        append_number(out, value);
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace hdfe
