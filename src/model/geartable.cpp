#include "model/geartable.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/constants.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

constexpr double LightGVWLimit = 8000.0;  // [kg], light below it

// Torque margin and speed factor f of a main-ratio position relative to StartGears.
struct GearPosition {
  double torque_margin;
  double f;
};
// Rows: i <= S, i = S + 1, i = S + 2, i >= S + 3.
constexpr GearPosition LightPositions[4] = {{2.4, 0.01}, {1.7, 0.04}, {1.6, 0.09}, {1.6, 0.14}};
constexpr GearPosition HeavyPositions[4] = {{2.0, 0.01}, {1.7, 0.04}, {1.3, 0.14}, {1.3, 0.22}};

// Row of the gear-position table for 1-based main position i and starting gear s.
std::size_t position_row(int64_t i, int64_t s) {
  if (i <= s) return 0;
  if (i <= s + 2) return static_cast<std::size_t>(i - s);
  return 3;
}

// A derived transmission count, stopping the run when it does not fit 32 bits or exceeds most.
int32_t gear_count_value(int64_t value, const SpecValues& values,
                       int64_t most = std::numeric_limits<int32_t>::max()) {
  if (value > most || value < std::numeric_limits<int32_t>::min()) {
    throw Error(ErrorKind::VehicleCheck, "Gear count out of range [ " + std::string(trimmed(values.transmission_file)) + " ]");
  }
  return static_cast<int32_t>(value);
}

}  // namespace

void build_gear_table(const SpecValues& values, const VehicleSpec& spec, EngineData& eng,
               TransmissionData& trn, const TransmissionInput& ratios) {
  const std::size_t mains = ratios.main_ratios.size();
  const std::size_t auxes = ratios.aux_ratios.size();
  trn.start_gears = ratios.start_gears;
  trn.reengage_gear = trn.type == TransmissionType::TorqueConverter
                          ? 1
                          : gear_count_value(static_cast<int64_t>(auxes) + 1, values);
  trn.max_upshift_span = gear_count_value(int64_t{3} * static_cast<int64_t>(auxes), values);
  // The lists hold max(count, 0) entries, so a count of 0 or less gives no gears. The
  // table is bounded before it is built: a few thousand ratio lines could otherwise ask
  // for billions of gears.
  const int64_t gears = static_cast<int64_t>(mains) * static_cast<int64_t>(auxes);
  const int32_t gear_count = gear_count_value(gears, values, MaxGearCount);
  trn.final_efficiency = FinalDriveEfficiency;

  const double d = eng.rated_speed_rpm - eng.idle_speed_rpm;
  const double m0 = wheel_rotating_mass_kg(spec);
  const double J = (spec.engine_inertia_kg_m2 * trn.final_ratio) * trn.final_ratio;
  const double R2 = spec.tire_radius_m * spec.tire_radius_m;
  const GearPosition* column = spec.gross_weight_kg < LightGVWLimit ? LightPositions : HeavyPositions;
  trn.gears.assign(static_cast<std::size_t>(gear_count), GearRow{});
  eng.gear_min_speed_rpm.assign(static_cast<std::size_t>(gear_count), 0.0);
  for (std::size_t i = 0; i < mains; ++i) {
    const double main = ratios.main_ratios[i];
    const GearPosition& pos = column[position_row(static_cast<int64_t>(i) + 1, trn.start_gears)];
    for (std::size_t j = 0; j < auxes; ++j) {
      const std::size_t k = i * auxes + j;
      GearRow& gear = trn.gears[k];
      gear.ratio = main * ratios.aux_ratios[j];
      gear.efficiency = main == 1.0 ? DirectGearEfficiency : GearEfficiency;
      gear.torque_margin = pos.torque_margin;
      gear.rotating_mass_kg = ((J * gear.ratio) * gear.ratio) / R2 + m0;
      eng.gear_min_speed_rpm[k] = eng.idle_speed_rpm + pos.f * d;
    }
  }
}

}  // namespace hdfe
