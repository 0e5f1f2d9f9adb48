#include "hdfe/values.h"

#include <array>

#include "hdfe/error.h"

namespace hdfe {

namespace {

using V = SpecValues;
using K = ValueKind;
constexpr std::optional<double> none;

const std::array<SpecValueInfo, 17> Table{{
    {"VehicleName", "vehicle_name", K::Text, "", none, none, none, "name shown in the results", &V::vehicle_name},
    {"CategoryCode", "category_code", K::Text, "", none, none, none,
     "category of the standard vehicle: TT1, TT2, T1..T11, BR1..BR5, B1..B7", &V::category_code},
    {"EngineFile", "engine_file", K::Text, "", none, none, none, "engine file: map and curve names, engine speeds",
     &V::engine_file},
    {"TransmissionFile", "transmission_file", K::Text, "", none, none, none,
     "transmission file: start gears, main and auxiliary ratios, type", &V::transmission_file},
    {"FinalRatio", "final_ratio", K::Real, "", none, 0.0, none, "final drive ratio", &V::final_ratio},
    {"TireRadius", "tire_radius_m", K::Real, "m", none, 0.0, none, "dynamic tyre radius", &V::tire_radius_m},
    {"FlatRoadTireRadius", "flat_road_tire_radius_m", K::Real, "m", none, -1.0, none,
     "representative tyre radius of the flat-road rolling-resistance correction", &V::flat_road_tire_radius_m},
    {"TraceFlag", "traces", K::Switch, "", none, none, none,
     "1: append the per-second traces to the results file", &V::traces},
    {"RollAddend", "roll_addend", K::Real, "N/kg", none, none, none,
     "addend to the rolling-resistance coefficient, scaled by the flat-road radius", &V::roll_addend},
    {"AirCoefficient", "air_coefficient", K::Real, "N/(km/h)^2/m^2", none, none, none,
     "air-resistance coefficient per frontal area", &V::air_coefficient},
    {"IdleStopOn", "idle_stop_on", K::Integer, "", none, none, none, "idle stop in the cycles: 0 none, else present",
     &V::idle_stop_on},
    {"StopDelay", "stop_delay_s", K::Integer, "s", none, none, none,
     "standstill before the engine stops (idle stop on)", &V::stop_delay_s},
    {"StartIdleStopOn", "start_idle_stop_on", K::Integer, "", none, none, none,
     "idle stop at the start of the urban cycle: 0 none, else present", &V::start_idle_stop_on},
    {"StartIdleTime", "start_idle_time_s", K::Integer, "s", none, none, none,
     "standstill at the urban start before the engine stops", &V::start_idle_time_s},
    {"RestartLead", "restart_lead_s", K::Integer, "s", none, none, none,
     "seconds before moving off that the engine restarts", &V::restart_lead_s},
    {"Kf1", "kf1", K::Real, "", none, 0.0, none, "urban correction factor", &V::kf1},
    {"Kf2", "kf2", K::Real, "", none, 0.0, none, "highway correction factor", &V::kf2},
}};

}  // namespace

std::span<const SpecValueInfo> spec_value_table() { return Table; }

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
        const T* given = std::get_if<T>(&value);
        if (given == nullptr) {
          throw Error(ErrorKind::BadValue, std::string(info.file_name) + " takes a value of another kind");
        }
        values.*member = *given;
      },
      info.member);
}

}  // namespace hdfe
