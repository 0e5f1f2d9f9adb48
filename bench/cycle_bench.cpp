// The tractor example over the public cycles of data/cycles through run_cycles:
//   bench_cycle            the time of a run over each of them (best of several);
//   bench_cycle day        the time and the process's peak memory of a run over a 24-hour
//                          engineering cycle (hd-udds repeated to 86,400 seconds);
//   bench_cycle once NAME  one run over one of them (e.g. hd-udds), for callgrind's count;
//                          with an empty NAME, the load alone.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"

namespace {

const std::filesystem::path Source(HDFE_SOURCE_DIR);
const std::filesystem::path Tractor = Source / "examples/tractor_TT1_325kW_AMT12/spec.txt";

hdfe::Cycle public_cycle(const std::string& name) { return hdfe::read_cycle_file(Source / "data/cycles" / (name + ".csv")); }

// Seconds of the 24-hour cycle.
constexpr std::size_t DaySeconds = 86'400;

// hd-udds driven again and again to 86,400 seconds (86,401 points), each repeat from its
// standstill start.
hdfe::Cycle day_cycle() {
  const hdfe::Cycle one = public_cycle("hd-udds");
  hdfe::Cycle day;
  day.name = "day";
  day.target_speed_km_per_h.reserve(DaySeconds + 1);
  day.target_speed_km_per_h.push_back(one.target_speed_km_per_h.front());
  while (day.target_speed_km_per_h.size() < DaySeconds + 1) {
    for (std::size_t k = 1; k < one.target_speed_km_per_h.size() && day.target_speed_km_per_h.size() < DaySeconds + 1; ++k)
      day.target_speed_km_per_h.push_back(one.target_speed_km_per_h[k]);
  }
  return day;
}

// Milliseconds of the fastest of `runs` runs over the cycle.
double best_ms(const hdfe::Vehicle& vehicle, const hdfe::Cycle& cycle, int runs) {
  double best = 1e300;
  for (int k = 0; k < runs; ++k) {
    const auto start = std::chrono::steady_clock::now();
    const hdfe::Result result = hdfe::run_cycles(vehicle, {&cycle, 1});
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (result.cycles.empty()) std::printf("  no figures\n");
    best = std::min(best, ms);
  }
  return best;
}

double peak_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  hdfe::LoadOptions load;
  load.digests = false;  // the run's work only
  const hdfe::Vehicle vehicle = hdfe::load_vehicle(Tractor, load);
  if (argc > 2 && std::strcmp(argv[1], "once") == 0) {
    if (argv[2][0] == '\0') return 0;  // the load alone
    const hdfe::Cycle cycle = public_cycle(argv[2]);
    return hdfe::run_cycles(vehicle, {&cycle, 1}).cycles.empty() ? 1 : 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "day") == 0) {
    const hdfe::Cycle day = day_cycle();
    const double before = peak_mb();
    const double ms = best_ms(vehicle, day, 3);
    std::printf("tractor over a 24-hour cycle (hd-udds to %zu s) through run_cycles: %.1f ms, peak memory %.1f MB "
                "(%.1f MB before the runs)\n",
                DaySeconds, ms, peak_mb(), before);
    return 0;
  }
  std::printf("tractor over the public cycles through run_cycles (best of 20 runs)\n");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(Source / "data/cycles")) {
    if (entry.path().extension() == ".csv") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& file : files) {
    const hdfe::Cycle cycle = hdfe::read_cycle_file(file);
    std::printf("  %-20s %6zu s %8.3f ms\n", cycle.name.c_str(), cycle.target_speed_km_per_h.size() - 1,
                best_ms(vehicle, cycle, 20));
  }
  return 0;
}
