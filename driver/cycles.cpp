#include "driver/cycles.h"

#include "driver/cycletables.h"

namespace hdfe {

namespace {

constexpr std::array<double, HighwayPoints> MakeHighwaySpeed() {
  std::array<double, HighwayPoints> speed{};
  for (std::size_t k = 0; k <= static_cast<std::size_t>(HighwaySteps); ++k) speed[k] = 80.0;
  return speed;
}

}  // namespace

const std::array<double, UrbanPoints> UrbanGradeTable{};
const std::array<double, HighwayPoints> HighwaySpeedTable = MakeHighwaySpeed();

DriveCycle urban_cycle() { return DriveCycle{UrbanSteps, UrbanSpeedTable, UrbanGradeTable}; }

DriveCycle highway_cycle() { return DriveCycle{HighwaySteps, HighwaySpeedTable, HighwayGradeTable}; }

void size_trace(CycleTrace& trace, int32_t n) {
  const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 0;
  trace.Vreal.assign(size, 0.0);
  trace.Shift.assign(size, 0);
  trace.Ne.assign(size, 0.0);
  trace.Te.assign(size, 0.0);
  trace.N_norm.assign(size, 0.0);
  trace.T_norm.assign(size, 0.0);
  trace.FC.assign(size, 0.0);
}

}  // namespace hdfe
