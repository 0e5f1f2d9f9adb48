// Simulation of both built-in cycles for the 12-gear tractor example.
#include <benchmark/benchmark.h>

#include "driver/cycles.h"
#include "driver/runcycle.h"
#include "tests/example_inputs.h"

namespace hdfe {

namespace {

void BothCycles(benchmark::State& state) {
  RunRecords v;
  read_inputs_in(std::filesystem::path(HDFE_SOURCE_DIR) / "examples/tractor_TT1_325kW_AMT12", v);
  const DriveCycle urban = urban_cycle();
  const DriveCycle highway = highway_cycle();
  CycleTrace trace;
  for (auto _ : state) {
    run_cycle(urban, trace, v.spec, v.eng, v.trn, v.fullLoad);
    run_cycle(highway, trace, v.spec, v.eng, v.trn, v.fullLoad);
    benchmark::DoNotOptimize(trace.Vreal.data());
  }
}
BENCHMARK(BothCycles)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

}  // namespace hdfe

BENCHMARK_MAIN();
