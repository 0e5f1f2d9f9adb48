// Simulation of both built-in cycles for the 12-gear tractor example.
#include <benchmark/benchmark.h>

#include "simulation/cycles.h"
#include "simulation/runcycle.h"
#include "tests/example_inputs.h"

namespace hdfe {

namespace {

void BothCycles(benchmark::State& state) {
  const ExampleRecords v = read_example(std::filesystem::path(HDFE_SOURCE_DIR) / "examples/tractor_TT1_325kW_AMT12");
  const DriveCycle urban = urban_cycle();
  const DriveCycle highway = highway_cycle();
  for (auto _ : state) {
    CycleSimulation u = run_cycle(urban, v.spec, v.eng, v.trn, v.fullLoad);
    CycleSimulation h = run_cycle(highway, v.spec, v.eng, v.trn, v.fullLoad);
    benchmark::DoNotOptimize(u.trace.Vreal.data());
    benchmark::DoNotOptimize(h.trace.Vreal.data());
  }
}
BENCHMARK(BothCycles)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

}  // namespace hdfe

BENCHMARK_MAIN();
