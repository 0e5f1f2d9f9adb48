#include "summary_text.h"

#include <algorithm>
#include <cstdio>

#include "hdfe/cycle.h"

namespace hdfe {

namespace {

std::string line(const char* format, auto... values) {
  char text[512];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string metrics_line(const std::string& name, int width, const CycleMetrics& m) {
  return line("  %-*s %13d s %10.2f km/h at %4d s %8.2f %% %9d s\n", width, name.c_str(), m.seconds_below_target,
              m.largest_shortfall_km_per_h, m.largest_shortfall_second, m.distance_percent_of_target,
              m.seconds_at_full_load);
}

std::string warning_lines(const Result& result) {
  std::string out;
  for (const RunWarning& warning : result.warnings) {
    if (warning.kind != RunWarning::Kind::SpeedSearchExhausted) out += "WARNING: " + warning.message + "\n";
  }
  return out;
}

std::string standard_summary(const Result& result) {
  std::string out = "\nRESULTS                km/l     km/h   fuel (l)  dist. (km)\n";
  for (const char* name : {"URBAN", "HIGHWAY", "MID-TOWN"}) {
    const CycleFigures& f = result.cycle(name);
    out += line("  %-16s %9.4f %8.1f %10.3f %11.3f\n", name, f.fuel_economy_km_per_l, f.average_speed_km_per_h, f.fuel_l,
                f.distance_km);
  }
  out += line("  %-16s %9.4f   (highway share %.0f %%)\n", "AVERAGE", result.average_fuel_economy_km_per_l,
              result.highway_ratio * 100.0);
  out += "\nCYCLE FOLLOWING    below target >2 km/h   largest shortfall   distance   full load\n";
  for (const char* name : {"URBAN", "HIGHWAY"}) out += metrics_line(name, 16, result.cycle(name).metrics);
  return out + warning_lines(result);
}

std::string engineering_summary(const Result& result) {
  int width = 16;
  for (const CycleFigures& f : result.cycles) width = std::max(width, static_cast<int>(f.name.size()));
  const auto pad = [&](const char* text) { return line("%-*s", width + 2, text); };
  std::string out = "\n";
  out += pad("RESULTS");
  out += "      km/l  l/100 km  g CO2/km  g CO2/t.km     km/h   fuel (l)  dist. (km)\n";
  for (const CycleFigures& f : result.cycles) {
    const std::string perTonne = f.co2_g_per_t_km ? line("%.2f", *f.co2_g_per_t_km) : "-";
    out += line("  %-*s %9.4f %9.3f %9.1f %11s %8.1f %10.3f %11.3f\n", width, f.name.c_str(), f.fuel_economy_km_per_l,
                f.fuel_consumption_l_per_100km, f.co2_g_per_km, perTonne.c_str(), f.average_speed_km_per_h, f.fuel_l,
                f.distance_km);
  }
  if (result.average_fuel_economy_km_per_l > 0.0) {
    out += line("  %-*s %9.4f   (highway share %.0f %%)\n", width, "AVERAGE", result.average_fuel_economy_km_per_l,
                result.highway_ratio * 100.0);
  }
  if (!result.cycles.empty() && result.cycles.front().co2_g_per_t_km) {
    out += line("  g CO2/t.km per tonne of the %.0f kg payload\n", result.cycles.front().payload_kg);
  }
  out += "\n";
  out += pad("CYCLE FOLLOWING");
  out += " below target >2 km/h   largest shortfall   distance   full load\n";
  for (const CycleFigures& f : result.cycles) {
    if (f.phase.empty() && f.first_second == 1) out += metrics_line(f.name, width, f.metrics);
  }
  for (const CycleFigures& f : result.cycles) {
    if (f.phase.empty() && f.converter_factor != 1.0) {
      out += line("  %s: torque-converter factor %.4f applied\n", f.name.c_str(), f.converter_factor);
    }
  }
  for (const RouteFigures& r : result.routes) {
    out += line("\nROUTE %s: %.3f km in %.0f s, %.0f s at the targets: %.0f s lost, %.0f s of it on climbs; %.0f s at "
                "stops\n",
                r.name.c_str(), r.length_km, r.time_s, r.time_at_targets_s, r.time_lost_s, r.time_lost_climbing_s,
                r.stopped_s);
  }
  return out + warning_lines(result);
}

}  // namespace

std::string summary_text(const Result& result) {
  return result.engineering ? engineering_summary(result) : standard_summary(result);
}

std::string cycle_list_text() {
  int width = 4;
  for (const LibraryCycleInfo& info : library_cycle_table()) width = std::max(width, static_cast<int>(info.name.size()));
  std::string out = line("%-*s  duration (s)  distance (km)  mean (km/h)  max (km/h)  source\n", width, "name");
  for (const LibraryCycleInfo& info : library_cycle_table()) {
    const CycleStats s = cycle_stats(library_cycle(info.name));
    const std::string name(info.name);
    const std::string source(info.source);
    out += line("%-*s  %12.0f  %13.3f  %11.2f  %10.2f  %s\n", width, name.c_str(), s.duration_s, s.distance_km,
                s.mean_speed_km_per_h, s.max_speed_km_per_h, source.c_str());
  }
  return out;
}

}  // namespace hdfe
