// Rows per second of a batch: a 10,000-row FinalRatio sweep of the tractor example, no
// traces, with 1 and 2 worker threads; then the peak memory of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "batch/batch.h"

namespace {

double rows_per_second(const hdfe::Sweep& sweep, unsigned jobs) {
  std::size_t next = 0;
  std::size_t failed = 0;
  hdfe::BatchOptions options;
  options.jobs = jobs;
  const auto start = std::chrono::steady_clock::now();
  hdfe::run_batch(
      [&]() -> std::optional<hdfe::BatchRow> {
        if (next == sweep.size()) return std::nullopt;
        return sweep.row(next++);
      },
      options, [&](hdfe::BatchOutcome& o) { failed += o.summary.ok ? 0 : 1; });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failed > 0) std::printf("  %zu rows failed\n", failed);
  return static_cast<double>(sweep.size()) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 10000;
  const std::filesystem::path spec =
      std::filesystem::path(HDFE_SOURCE_DIR) / "examples/tractor_TT1_325kW_AMT12/spec.txt";
  // FinalRatio from 2.2 in steps small enough to give `rows` values.
  const std::string range = "FinalRatio=2.2:" + std::to_string(2.2 + (rows - 1) * 1e-5) + ":0.00001";
  const std::vector<std::string> assignments{range};
  const hdfe::Sweep sweep(spec, assignments);
  std::printf("batch: %zu-row FinalRatio sweep of the tractor, no traces\n", sweep.size());
  const double one = rows_per_second(sweep, 1);
  std::printf("  1 job : %8.0f rows/s\n", one);
  const double two = rows_per_second(sweep, 2);
  std::printf("  2 jobs: %8.0f rows/s (%.0f per job)\n", two, two / 2);
  std::printf("  scaling 1 -> 2 jobs: %.2fx\n", two / one);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("  peak memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
