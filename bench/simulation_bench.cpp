// Simulation of both built-in cycles for the 12-gear tractor example.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "driver/cycles.h"
#include "driver/runcycle.h"
#include "input/classify.h"
#include "input/readcurves.h"
#include "input/readengtrn.h"
#include "input/readspec.h"

namespace {

struct Vehicle {
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  EngineFiles files;
  TransmissionData trn;
  RatioLists ratios;
  TorqueCurve fullLoad;
};

Vehicle LoadTractor() {
  std::filesystem::current_path(std::filesystem::path(HDFE_SOURCE_DIR) / "examples/tractor_TT1_325kW_AMT12");
  Vehicle v;
  READSPEC("spec.txt", v.values, v.spec, v.trn);
  READTRN("transmission.txt", v.trn, v.ratios);
  READENG("engine.txt", v.eng, v.files);
  CLASSIFY(v.values, v.spec, v.eng, v.trn, v.ratios);
  READTRQ("fullload.txt", v.fullLoad);
  return v;
}

void BothCycles(benchmark::State& state) {
  const Vehicle v = LoadTractor();
  const DriveCycle urban = URBANCYCLE();
  const DriveCycle highway = HIGHWAYCYCLE();
  CycleTrace trace;
  for (auto _ : state) {
    RUNCYCLE(urban, trace, v.spec, v.eng, v.trn, v.fullLoad);
    RUNCYCLE(highway, trace, v.spec, v.eng, v.trn, v.fullLoad);
    benchmark::DoNotOptimize(trace.Vreal.data());
  }
}
BENCHMARK(BothCycles)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
