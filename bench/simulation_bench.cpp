// The tractor example's hot paths: a whole run in the process (inputs read, both cycles
// simulated, fuel rates, results and traces formatted, nothing written), the simulation
// alone, the fuel calculation alone and the trace formatting alone.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/fuelgrid.h"
#include "hdfe/report.h"
#include "report/trace.h"
#include "sim/cycles.h"
#include "sim/runcycle.h"
#include "tests/example_inputs.h"

namespace hdfe {

namespace {

const std::filesystem::path Tractor = std::filesystem::path(HDFE_SOURCE_DIR) / "examples/tractor_TT1_325kW_AMT12";

const ExampleRecords& tractor() {
  static const ExampleRecords v = read_example(Tractor);
  return v;
}

// A run of the tractor with its traces, once.
const Result& tractor_run() {
  static const Result r = run(tractor().vehicle, RunOptions{true});
  return r;
}

void WholeRunWithTraces(benchmark::State& state) {
  for (auto _ : state) {
    const Vehicle vehicle = load_vehicle(Tractor / "spec.txt");
    const Result result = run(vehicle, RunOptions{true});
    std::string file = results_text(result, "spec.txt");
    for (const CycleRun& c : result.traces) append_trace(file, c.cycle, c.trace, c.name);
    benchmark::DoNotOptimize(file.data());
  }
}

void Simulation(benchmark::State& state) {
  const ExampleRecords& v = tractor();
  const DriveCycle urban = urban_cycle();
  const DriveCycle highway = highway_cycle();
  for (auto _ : state) {
    CycleSimulation u = run_cycle(urban, v.spec, v.eng, v.trn, v.fullLoad);
    CycleSimulation h = run_cycle(highway, v.spec, v.eng, v.trn, v.fullLoad);
    benchmark::DoNotOptimize(u.trace.speed_km_per_h.data());
    benchmark::DoNotOptimize(h.trace.speed_km_per_h.data());
  }
}

void FuelCalculation(benchmark::State& state) {
  const ExampleRecords& v = tractor();
  std::vector<CycleRun> runs = tractor_run().traces;
  for (auto _ : state) {
    for (CycleRun& c : runs) {
      CycleTrace& t = c.trace;
      calc_fuel_rates(t.engine_speed_rpm, t.engine_torque_nm, t.gear, t.fuel_rate_l_per_h, c.cycle, v.motoring, v.grid, v.eng);
      benchmark::DoNotOptimize(t.fuel_rate_l_per_h.data());
    }
  }
}

void TraceFormatting(benchmark::State& state) {
  const Result& r = tractor_run();
  for (auto _ : state) {
    std::string file;
    for (const CycleRun& c : r.traces) append_trace(file, c.cycle, c.trace, c.name);
    benchmark::DoNotOptimize(file.data());
  }
}

BENCHMARK(WholeRunWithTraces)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Simulation)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(FuelCalculation)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(TraceFormatting)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

}  // namespace hdfe

BENCHMARK_MAIN();
