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
    for (std::size_t k = 0; k < t.speed_km_per_h.size(); ++k) {
      distance = distance + t.speed_km_per_h[k];
      fuel = fuel + t.fuel_rate_l_per_h[k];
      const std::size_t point = k + 1;
      out += run.name;
      out += ',';
      append_number(out, static_cast<double>(point));
      for (const double value : {run.cycle.target_speed_km_per_h[point], t.speed_km_per_h[k], run.cycle.grade_percent[point], distance / SecondsPerHour}) {
        out += ',';
        append_number(out, value);
      }
      out += ',';
      append_number(out, t.gear[k]);
      for (const double value : {t.engine_speed_rpm[k], t.engine_torque_nm[k], t.normalised_speed_percent[k], t.normalised_torque_percent[k], t.fuel_rate_l_per_h[k], fuel / SecondsPerHour}) {
        out += ',';
        append_number(out, value);
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace hdfe
