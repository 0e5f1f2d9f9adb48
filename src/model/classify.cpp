#include "model/classify.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "model/categories.h"
#include "model/geartable.h"
#include "core/constants.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

constexpr double PersonMass = 55.0;  // [kg]
// Rolling-resistance constants: 6.7 and 0.00023 in single precision, widened.
constexpr double RollWeightTerm = 6.699999809265137;
constexpr double RollConstant = 0.0002300000051036477;

// True when the blank-padded field holds `code` followed by blanks only.
bool matches(std::string_view field, std::string_view code) {
  return field.substr(0, code.size()) == code && is_blank(field.substr(code.size()));
}

// Upper-cases the code field in place (bytes 'a'..'z' only), finds its category and
// fills the table fields of spec. Stops the run on an unknown code.
const CategoryRow& set_category(std::string& code, VehicleSpec& spec) {
  for (char& c : code) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 97 && byte <= 122) c = static_cast<char>(byte - 32);
  }
  for (const CategoryRow& row : Categories) {
    if (!matches(code, row.code)) continue;
    spec.curb_weight_kg = row.curb_weight_kg;
    spec.max_payload_kg = row.max_payload_kg;
    spec.crew = row.crew;
    spec.height_m = row.height_m;
    spec.width_m = row.width_m;
    spec.highway_ratio = row.highway_ratio;
    spec.load_factor = row.load_factor;
    spec.engine_inertia_kg_m2 = row.engine_inertia_kg_m2;
    return row;
  }
  throw Error(ErrorKind::UnknownCategory, "Category Error : [ " + std::string(trimmed(code)) + " ] is not defined.");
}

// Weights and resistance coefficients of the standard vehicle.
void set_vehicle(const CategoryRow& row, const SpecValues& values, VehicleSpec& spec) {
  spec.tire_circumference_m = CircumferencePerRadius * spec.tire_radius_m;
  spec.gross_weight_kg = (spec.curb_weight_kg + spec.max_payload_kg) + spec.crew * PersonMass;
  if (row.code.front() == 'T') {
    spec.test_weight_kg = (spec.curb_weight_kg + PersonMass) + spec.max_payload_kg * spec.load_factor;
  } else {
    spec.test_weight_kg = spec.curb_weight_kg + (spec.crew * PersonMass) * spec.load_factor;
  }
  spec.mu_roll = ((RollWeightTerm / spec.test_weight_kg + RollConstant) + values.roll_addend) * Gravity;
  spec.mu_air = (values.air_coefficient * spec.height_m) * spec.width_m;
}

}  // namespace

void classify(SpecValues& values, VehicleSpec& spec, EngineData& eng, TransmissionData& trn,
              const TransmissionInput& ratios) {
  const CategoryRow& row = set_category(values.category_code, spec);
  set_vehicle(row, values, spec);
  const double d = eng.rated_speed_rpm - eng.idle_speed_rpm;
  eng.engage_speed_rpm = eng.idle_speed_rpm + EngageSpeedShare * d;
  eng.release_speed_rpm = eng.idle_speed_rpm + ReleaseSpeedShare * d;
  build_gear_table(values, spec, eng, trn, ratios);
}

}  // namespace hdfe
