#include "summary_text.h"

#include <cstdio>

namespace hdfe {

namespace {

std::string line(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

}  // namespace

std::string summary_text(const Result& result) {
  std::string out = "\nRESULTS                km/l     km/h   fuel (l)  dist. (km)\n";
  for (const char* name : {"URBAN", "HIGHWAY", "MID-TOWN"}) {
    const CycleFigures& f = result.cycle(name);
    out += line("  %-16s %9.4f %8.1f %10.3f %11.3f\n", name, f.fuel_economy_km_per_l, f.average_speed_km_per_h, f.fuel_l,
                f.distance_km);
  }
  out += line("  %-16s %9.4f   (highway share %.0f %%)\n", "AVERAGE", result.average_fuel_economy_km_per_l,
              result.highway_ratio * 100.0);
  out += "\nCYCLE FOLLOWING    below target >2 km/h   largest shortfall   distance   full load\n";
  for (const char* name : {"URBAN", "HIGHWAY"}) {
    const CycleMetrics& m = result.cycle(name).metrics;
    out += line("  %-16s %13d s %10.2f km/h at %4d s %8.2f %% %9d s\n", name, m.seconds_below_target,
                m.largest_shortfall_km_per_h, m.largest_shortfall_second, m.distance_percent_of_target,
                m.seconds_at_full_load);
  }
  for (const RunWarning& warning : result.warnings) {
    if (warning.kind != RunWarning::Kind::SpeedSearchExhausted) out += "WARNING: " + warning.message + "\n";
  }
  return out;
}

}  // namespace hdfe
