#include "model/classify.h"

#include <algorithm>
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
// Air resistance from a drag area: half the air density [kg/m^3] times CdA, per (km/h)^2
// (12.96 = 3.6^2).
constexpr double HalfAirDensity = 0.5 * 1.2;
constexpr double KmhPerMsSquared = 12.96;

bool is_truck(std::string_view code) { return !code.empty() && code.front() == 'T'; }

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

// The simulated mass: the standard vehicle's test weight, or the user's TestMass, or the
// curb weight (and a driver for a truck) with the user's Payload.
double test_weight(const CategoryRow& row, const SpecValues& values, const VehicleSpec& spec) {
  const bool truck = is_truck(row.code);
  if (values.test_mass_kg) return *values.test_mass_kg;
  if (values.payload_kg) {
    return truck ? (spec.curb_weight_kg + PersonMass) + *values.payload_kg : spec.curb_weight_kg + *values.payload_kg;
  }
  if (truck) return (spec.curb_weight_kg + PersonMass) + spec.max_payload_kg * spec.load_factor;
  return spec.curb_weight_kg + (spec.crew * PersonMass) * spec.load_factor;
}

// Weights and resistance coefficients of the standard vehicle, or of the user's own where
// the engineering values give them. GVW stays the category's.
void set_vehicle(const CategoryRow& row, const SpecValues& values, VehicleSpec& spec) {
  spec.tire_circumference_m = CircumferencePerRadius * spec.tire_radius_m;
  spec.gross_weight_kg = (spec.curb_weight_kg + spec.max_payload_kg) + spec.crew * PersonMass;
  spec.test_weight_kg = test_weight(row, values, spec);
  if (values.rolling_resistance) {
    spec.mu_roll = *values.rolling_resistance * Gravity;
  } else {
    spec.mu_roll = ((RollWeightTerm / spec.test_weight_kg + RollConstant) + values.roll_addend) * Gravity;
  }
  if (values.cda_m2) {
    spec.mu_air = (HalfAirDensity * *values.cda_m2) / KmhPerMsSquared;
  } else if (values.frontal_area_m2) {
    spec.mu_air = values.air_coefficient * *values.frontal_area_m2;
  } else {
    spec.mu_air = (values.air_coefficient * spec.height_m) * spec.width_m;
  }
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

double payload_kg(const SpecValues& values, const VehicleSpec& spec) {
  const bool truck = is_truck(values.category_code);
  if (values.payload_kg) return *values.payload_kg;
  if (values.test_mass_kg) {
    // A test mass below the empty vehicle carries nothing.
    const double empty = truck ? spec.curb_weight_kg + PersonMass : spec.curb_weight_kg;
    return std::max(*values.test_mass_kg - empty, 0.0);
  }
  if (truck) return spec.max_payload_kg * spec.load_factor;
  return (spec.crew * PersonMass) * spec.load_factor;
}

}  // namespace hdfe
