#include "hdfe/values.h"

#include <array>
#include <type_traits>

#include "hdfe/error.h"

namespace hdfe {

namespace {

using V = SpecValues;
using K = ValueKind;
constexpr std::optional<double> none;

const std::array<SpecValueInfo, 23> Table{{
    {"VehicleName", "vehicle_name", K::Text, "", none, none, none, "name shown in the results", &V::vehicle_name, none, none, ""},
    {"CategoryCode", "category_code", K::Text, "", none, none, none,
     "category of the standard vehicle: TT1, TT2, T1..T11, BR1..BR5, B1..B7", &V::category_code, none, none, ""},
    {"EngineFile", "engine_file", K::Text, "", none, none, none, "engine file: map and curve names, engine speeds",
     &V::engine_file, none, none, ""},
    {"TransmissionFile", "transmission_file", K::Text, "", none, none, none,
     "transmission file: start gears, main and auxiliary ratios, type", &V::transmission_file, none, none, ""},
    {"FinalRatio", "final_ratio", K::Real, "", none, 0.0, none, "final drive ratio", &V::final_ratio, none, none, ""},
    {"TireRadius", "tire_radius_m", K::Real, "m", none, 0.0, none, "dynamic tyre radius", &V::tire_radius_m, none, none, ""},
    {"FlatRoadTireRadius", "flat_road_tire_radius_m", K::Real, "m", none, -1.0, none,
     "representative tyre radius of the flat-road rolling-resistance correction", &V::flat_road_tire_radius_m, none, none, ""},
    {"TraceFlag", "traces", K::Switch, "", none, none, none,
     "1: append the per-second traces to the results file", &V::traces, none, none, ""},
    {"RollAddend", "roll_addend", K::Real, "N/kg", none, none, none,
     "addend to the rolling-resistance coefficient, scaled by the flat-road radius", &V::roll_addend,
     0.0, none, "a negative addend makes the rolling resistance push the vehicle"},
    {"AirCoefficient", "air_coefficient", K::Real, "N/(km/h)^2/m^2", none, none, none,
     "air-resistance coefficient per frontal area", &V::air_coefficient, 0.0, none,
     "a negative coefficient makes the air push the vehicle"},
    {"IdleStopOn", "idle_stop_on", K::Integer, "", none, none, none, "idle stop in the cycles: 0 none, else present",
     &V::idle_stop_on, 0.0, 1.0, "0 is off and any other value on; write 0 or 1"},
    {"StopDelay", "stop_delay_s", K::Integer, "s", none, none, none,
     "standstill before the engine stops (idle stop on)", &V::stop_delay_s, 0.0, none,
     "a negative wait stops the engine at once"},
    {"StartIdleStopOn", "start_idle_stop_on", K::Integer, "", none, none, none,
     "idle stop at the start of the urban cycle: 0 none, else present", &V::start_idle_stop_on, 0.0, 1.0,
     "0 is off and any other value on; write 0 or 1"},
    {"StartIdleTime", "start_idle_time_s", K::Integer, "s", none, none, none,
     "standstill at the urban start before the engine stops", &V::start_idle_time_s, 0.0, none,
     "a negative wait stops the engine at once"},
    {"RestartLead", "restart_lead_s", K::Integer, "s", none, none, none,
     "seconds before moving off that the engine restarts", &V::restart_lead_s, 0.0, none,
     "a negative lead is no lead"},
    {"Kf1", "kf1", K::Real, "", none, 0.0, none, "urban correction factor", &V::kf1, none, none, ""},
    {"Kf2", "kf2", K::Real, "", none, 0.0, none, "highway correction factor", &V::kf2, none, none, ""},
    // Engineering values, after the spec file's.
    {"TestMass", "test_mass_kg", K::OptionalReal, "kg", none, 0.0, none,
     "simulated mass, in place of the category's test weight", &V::test_mass_kg, 1000.0, 80000.0,
     "heavy-duty vehicles weigh from about 1 t to 80 t"},
    {"Payload", "payload_kg", K::OptionalReal, "kg", 0.0, none, none,
     "load carried: the test mass without TestMass, and the payload of g/t·km", &V::payload_kg, none, 60000.0,
     "heavy-duty payloads stay under 60 t"},
    {"FrontalArea", "frontal_area_m2", K::OptionalReal, "m^2", none, 0.0, none,
     "frontal area, in place of the category's height times width", &V::frontal_area_m2, 2.0, 15.0,
     "heavy-duty frontal areas are from about 2 to 15 m^2"},
    {"CdA", "cda_m2", K::OptionalReal, "m^2", none, 0.0, none,
     "drag area (drag coefficient times frontal area); wins over FrontalArea and AirCoefficient", &V::cda_m2,
     1.0, 12.0, "heavy-duty drag areas are from about 1 to 12 m^2"},
    {"RollingResistance", "rolling_resistance", K::OptionalReal, "", 0.0, none, none,
     "rolling-resistance coefficient, in place of the standard formula and RollAddend", &V::rolling_resistance,
     0.002, 0.02, "heavy-duty tyres roll at coefficients from about 0.002 to 0.02"},
    {"CO2PerLitre", "co2_kg_per_l", K::OptionalReal, "kg/l", none, 0.0, none,
     "CO2 of a litre of the fuel; none: 2.62 (diesel)", &V::co2_kg_per_l, 1.5, 3.2,
     "liquid fuels give from about 1.5 to 3.2 kg of CO2 per litre"},
}};

}  // namespace

std::span<const SpecValueInfo> spec_value_table() { return Table; }

bool has_engineering_values(const SpecValues& values) {
  for (const SpecValueInfo& info : Table) {
    if (info.kind != ValueKind::OptionalReal) continue;
    if (std::get<std::optional<double>>(get_spec_value(values, info))) return true;
  }
  return false;
}

const SpecValueInfo* find_spec_value(std::string_view name) {
  for (const SpecValueInfo& info : Table) {
    if (info.file_name == name || info.name == name) return &info;
  }
  return nullptr;
}

SpecValue get_spec_value(const SpecValues& values, const SpecValueInfo& info) {
  return std::visit([&](auto member) -> SpecValue { return values.*member; }, info.member);
}

void set_spec_value(SpecValues& values, const SpecValueInfo& info, const SpecValue& value) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(values.*member)>;
        if constexpr (std::is_same_v<T, std::optional<double>>) {
          // An engineering value takes a number as well as a number or none.
          if (const double* number = std::get_if<double>(&value)) {
            values.*member = *number;
            return;
          }
        }
        const T* given = std::get_if<T>(&value);
        if (given == nullptr) {
          throw Error(ErrorKind::BadValue, std::string(info.file_name) + " takes a value of another kind");
        }
        values.*member = *given;
      },
      info.member);
}

}  // namespace hdfe
