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
    if (!matches(code, row.Code)) continue;
    spec.Wcurb = row.Wcurb;
    spec.MaxPayload = row.MaxPayload;
    spec.Crew = row.Crew;
    spec.Height = row.Height;
    spec.Width = row.Width;
    spec.HighwayRatio = row.HighwayRatio;
    spec.LoadFactor = row.LoadFactor;
    spec.EngineInertia = row.EngineInertia;
    return row;
  }
  throw Error({" Category Error : [ " + std::string(trimmed(code)) + " ] is not defined."}, 0, ErrorKind::UnknownCategory);
}

// Weights and resistance coefficients of the standard vehicle.
void set_vehicle(const CategoryRow& row, const SpecValues& values, VehicleSpec& spec) {
  spec.TireCircumference = 6.28 * spec.TireRadius;
  spec.GVW = (spec.Wcurb + spec.MaxPayload) + spec.Crew * PersonMass;
  if (row.Code.front() == 'T') {
    spec.Wtest = (spec.Wcurb + PersonMass) + spec.MaxPayload * spec.LoadFactor;
  } else {
    spec.Wtest = spec.Wcurb + (spec.Crew * PersonMass) * spec.LoadFactor;
  }
  spec.MuRoll = ((RollWeightTerm / spec.Wtest + RollConstant) + values.RollAddend) * Gravity;
  spec.MuAir = (values.AirCoefficient * spec.Height) * spec.Width;
}

}  // namespace

void classify(SpecValues& values, VehicleSpec& spec, EngineData& eng, TransmissionData& trn,
              const RatioLists& ratios) {
  const CategoryRow& row = set_category(values.CategoryCode, spec);
  set_vehicle(row, values, spec);
  const double d = eng.Nrate - eng.Nidle;
  eng.Nes = eng.Nidle + 0.05 * d;
  eng.Nec = eng.Nidle + 0.04 * d;
  build_gear_table(values, spec, eng, trn, ratios);
}

}  // namespace hdfe
