// The library of drive cycles: the public heavy-duty cycles built into the program, URBAN and
// HIGHWAY as cycles, lookups by name, and a cycle's own figures.
#include <algorithm>
#include <array>
#include <filesystem>
#include <sstream>

#include "hdfe/cycle.h"
#include "hdfe/error.h"
#include "hdfe/units.h"
#include "io/readcycle.h"
#include "run/cyclefiles.h"
#include "sim/cycles.h"
#include "sim/cycletables.h"

namespace hdfe {

namespace {

// Where the public cycles come from (data/cycles/README.md and NOTICE).
#define HDFE_PUBLIC_SOURCE(file) "data/cycles/" file ": from the drive-cycle tables of NREL's ADVISOR (licence in data/cycles/NOTICE)"
#define HDFE_WVU_SOURCE(file) HDFE_PUBLIC_SOURCE(file) ", shifted to start at 0 s"

// URBAN and HIGHWAY first, then the public cycles in the order of data/cycles/README.md. Each
// public cycle's file is built into the program (run/cyclefiles.h).
constexpr std::array<LibraryCycleInfo, 12> Library{{
    {"URBAN", "The built-in urban cycle (JE05 speed pattern, level road)",
     "built-in table src/sim/cycles/je05.txt, points 0 to 1830 (a reconstruction; see the README)"},
    {"HIGHWAY", "The built-in highway cycle (80 km/h over the gradient profile)",
     "built-in table src/sim/cycles/highway_grade.txt, points 0 to 3120 (a reconstruction; see the README)"},
    {"hd-udds", "Urban Dynamometer Driving Schedule for Heavy-Duty Vehicles",
     "data/cycles/hd-udds.csv: 40 CFR Part 86, Appendix I (public domain), as in NREL's ADVISOR tables"},
    {"manhattan-bus", "Manhattan bus cycle", HDFE_PUBLIC_SOURCE("manhattan-bus.csv")},
    {"orange-county-bus", "Orange County bus cycle", HDFE_PUBLIC_SOURCE("orange-county-bus.csv")},
    {"cbd-bus", "Central Business District bus cycle (SAE J1376)", HDFE_PUBLIC_SOURCE("cbd-bus.csv")},
    {"new-york-bus", "New York bus cycle", HDFE_PUBLIC_SOURCE("new-york-bus.csv")},
    {"nyc-truck", "New York City truck cycle (West Virginia University)", HDFE_WVU_SOURCE("nyc-truck.csv")},
    {"wvu-city", "West Virginia University city cycle", HDFE_WVU_SOURCE("wvu-city.csv")},
    {"wvu-suburban", "West Virginia University suburban cycle", HDFE_WVU_SOURCE("wvu-suburban.csv")},
    {"wvu-interstate", "West Virginia University interstate cycle", HDFE_WVU_SOURCE("wvu-interstate.csv")},
    {"cshvr", "City-Suburban Heavy Vehicle Route (West Virginia University)", HDFE_WVU_SOURCE("cshvr.csv")},
}};

#undef HDFE_WVU_SOURCE
#undef HDFE_PUBLIC_SOURCE

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string library_names() {
  std::string names;
  for (const LibraryCycleInfo& info : Library) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

// A built-in cycle's points 0..n as a cycle.
Cycle built_in(const LibraryCycleInfo& info, const DriveCycle& table, bool graded) {
  const auto points = static_cast<std::size_t>(table.n) + 1;
  Cycle cycle;
  cycle.name = std::string(info.name);
  cycle.source = std::string(info.source);
  cycle.target_speed_km_per_h.assign(table.target_speed_km_per_h.begin(),
                                     table.target_speed_km_per_h.begin() + static_cast<std::ptrdiff_t>(points));
  if (graded) {
    cycle.grade_percent.assign(table.grade_percent.begin(), table.grade_percent.begin() + static_cast<std::ptrdiff_t>(points));
  }
  return cycle;
}

}  // namespace

std::span<const LibraryCycleInfo> library_cycle_table() { return Library; }

const LibraryCycleInfo* find_library_cycle(std::string_view name) {
  for (const LibraryCycleInfo& info : Library) {
    if (same_name(info.name, name)) return &info;
  }
  return nullptr;
}

Cycle library_cycle(std::string_view name) {
  const LibraryCycleInfo* info = find_library_cycle(name);
  if (info == nullptr) {
    throw Error(ErrorKind::BadValue, "no library cycle is named " + std::string(name) + "; the library's cycles: " +
                                         library_names());
  }
  if (info->name == "URBAN") return built_in(*info, urban_cycle(), false);
  if (info->name == "HIGHWAY") return built_in(*info, highway_cycle(), true);
  for (const EmbeddedCycleFile& file : embedded_cycle_files()) {
    if (file.name != info->name) continue;
    std::istringstream in{std::string(file.text)};
    const std::string shown = "data/cycles/" + std::string(file.name) + ".csv";
    Cycle cycle = read_cycle_stream(in, shown, std::string(info->name));
    cycle.source = std::string(info->source);
    return cycle;
  }
  throw Error(ErrorKind::BadValue, "the library cycle " + std::string(info->name) + " was not built into the program");
}

Cycle find_cycle(std::string_view name_or_path) {
  if (find_library_cycle(name_or_path) != nullptr) return library_cycle(name_or_path);
  const std::filesystem::path path(name_or_path);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    const std::string name(name_or_path);
    throw Error(ErrorKind::MissingFile,
                "cannot open the cycle file " + name + ": there is no such file, and no library cycle has that name (" +
                    library_names() + ")",
                name);
  }
  return read_cycle_file(path);
}

CycleStats cycle_stats(const Cycle& cycle) {
  const std::vector<double>& v = cycle.target_speed_km_per_h;
  CycleStats stats;
  stats.points = static_cast<int64_t>(v.size());
  if (v.empty()) return stats;
  stats.duration_s = static_cast<double>(v.size() - 1);
  double trapezoids = 0.0;
  double sum = 0.0;
  for (std::size_t k = 1; k < v.size(); ++k) {
    trapezoids += (v[k - 1] + v[k]) / 2.0;
    sum += v[k];
  }
  stats.distance_km = trapezoids / SecondsPerHour;
  stats.mean_speed_km_per_h = v.size() > 1 ? sum / stats.duration_s : 0.0;
  stats.max_speed_km_per_h = *std::max_element(v.begin(), v.end());
  return stats;
}

}  // namespace hdfe
