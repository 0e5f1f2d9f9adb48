#include "sim/cycles.h"

#include <array>

#include "core/constants.h"
#include "sim/cycletables.h"

namespace hdfe {

namespace {

constexpr std::array<double, HighwayPoints> MakeHighwaySpeed() {
  std::array<double, HighwayPoints> speed{};
  for (std::size_t k = 0; k <= static_cast<std::size_t>(HighwaySteps); ++k) speed[k] = HighwaySpeedKmh;
  return speed;
}

}  // namespace

const std::array<double, UrbanPoints> UrbanGradeTable{};
const std::array<double, HighwayPoints> HighwaySpeedTable = MakeHighwaySpeed();

DriveCycle urban_cycle() { return DriveCycle{UrbanSteps, UrbanSpeedTable, UrbanGradeTable}; }

DriveCycle highway_cycle() { return DriveCycle{HighwaySteps, HighwaySpeedTable, HighwayGradeTable}; }

std::span<const double> known_grade_sines(std::span<const double> grade) {
  if (grade.data() == HighwayGradeTable.data() && grade.size() == HighwayGradeTable.size()) {
    return HighwayGradeSineTable;
  }
  // A level road: the sine of +0 is +0.
  if (grade.data() == UrbanGradeTable.data() && grade.size() == UrbanGradeTable.size()) return UrbanGradeTable;
  return {};
}

std::span<const CycleDefinition> built_in_cycles() {
  static const std::array<CycleDefinition, 2> cycles{CycleDefinition{"URBAN", urban_cycle(), true},
                                                     CycleDefinition{"HIGHWAY", highway_cycle(), false}};
  return cycles;
}

std::span<const SectionDefinition> reported_sections() {
  static constexpr std::array<SectionDefinition, 3> sections{
      SectionDefinition{"URBAN", 0, 1, 0, true, ConverterTownFactor, 1},
      SectionDefinition{"HIGHWAY", 1, 1, 0, false, ConverterHighwayFactor, 2},
      SectionDefinition{"MID-TOWN", 0, MidtownFirstStep, MidtownSteps, true, ConverterTownFactor, 1}};
  return sections;
}

void size_trace(CycleTrace& trace, int32_t n) {
  const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 0;
  trace.speed_km_per_h.assign(size, 0.0);
  trace.gear.assign(size, 0);
  trace.engine_speed_rpm.assign(size, 0.0);
  trace.engine_torque_nm.assign(size, 0.0);
  trace.normalised_speed_percent.assign(size, 0.0);
  trace.normalised_torque_percent.assign(size, 0.0);
  trace.fuel_rate_l_per_h.assign(size, 0.0);
}

}  // namespace hdfe
