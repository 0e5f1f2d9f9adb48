#include "model/checkvehicle.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "io/readcurves.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

[[noreturn]] void reject(const std::string& line) { throw Error(ErrorKind::VehicleCheck, line); }

// The shortest text that reads back as v.
std::string number_text(double v) {
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

// " <kind> [ name ]", the name without its trailing blanks.
std::string named(const char* kind, std::string_view name) {
  return std::string(kind) + " [ " + std::string(trimmed(name)) + " ]";
}

void check_spec(const std::string& file, const VehicleSpec& spec, const TransmissionData& trn) {
  if (!(spec.tire_radius_m > 0.0)) {
    reject(file + " gives TireRadius " + number_text(spec.tire_radius_m) + ": it must be greater than 0");
  }
  if (!(trn.final_ratio > 0.0)) {
    reject(file + " gives FinalRatio " + number_text(trn.final_ratio) + ": it must be greater than 0");
  }
  // RollAddend is scaled by sqrt(1 / (FlatRoadTireRadius + 1)).
  if (!(spec.flat_road_tire_radius_m > -1.0)) {
    reject(file + " gives FlatRoadTireRadius " + number_text(spec.flat_road_tire_radius_m) +
           ": it must be greater than -1");
  }
  const std::pair<const char*, double> derived[] = {
      {"MuRoll", spec.mu_roll}, {"MuAir", spec.mu_air}, {"TireCircumference", spec.tire_circumference_m}};
  for (const auto& [symbol, value] : derived) {
    if (!std::isfinite(value)) reject(file + " gives a non-finite " + symbol);
  }
}

void check_ratios(const std::string& file, const char* list, const std::vector<double>& ratios) {
  for (std::size_t i = 0; i < ratios.size(); ++i) {
    if (!(ratios[i] > 0.0)) {
      reject(file + " gives " + list + " ratio " + std::to_string(i + 1) + " of " + number_text(ratios[i]) +
             ": every ratio must be greater than 0");
    }
  }
}

// A gear number that the simulation takes as it stands must be a row of the gear table;
// `name` names the number, and `source` (when not empty) where it comes from.
void check_gear_number(const std::string& file, const char* what, const char* name, const char* source, int32_t gear,
                     int32_t gearCount) {
  if (gear >= 1 && gear <= gearCount) return;
  reject(file + " gives no gear to " + what + ": " + name + " " + std::to_string(gear) + source +
         " must be between 1 and " + std::to_string(gearCount));
}

void check_transmission(const std::string& file, std::string_view specName, const TransmissionData& trn,
                       const TransmissionInput& ratios) {
  if (trn.gear_count() < 1) {
    reject(file + " gives no gears: it lists " + std::to_string(ratios.main_ratios.size()) + " main and " +
           std::to_string(ratios.aux_ratios.size()) + " auxiliary ratios, and needs at least 1 of each");
  }
  check_ratios(file, "main", ratios.main_ratios);
  check_ratios(file, "auxiliary", ratios.aux_ratios);
  check_gear_number(file, "move off in", "StartGears", "", trn.start_gears, trn.gear_count());
  // Outside a torque-converter automatic, drive is re-engaged in gear (AuxRatioCount + 1).
  check_gear_number(file, "re-engage in", "ReengageGear", " (AuxRatioCount + 1)", trn.reengage_gear,
                  trn.gear_count());
  for (std::size_t k = 0; k < trn.gears.size(); ++k) {
    const GearRow& gear = trn.gears[k];
    const double total = trn.final_ratio * gear.ratio;
    if (std::isfinite(total) && total > 0.0 && std::isfinite(gear.rotating_mass_kg)) continue;
    const std::string which =
        file + " with " + named("spec file", specName) + " gives gear " + std::to_string(k + 1);
    if (!std::isfinite(total) || !(total > 0.0)) reject(which + " a total ratio out of range");
    if (!std::isfinite(gear.rotating_mass_kg)) reject(which + " a non-finite DW");
  }
}

void check_engine(const std::string& file, const EngineData& eng) {
  bool finite = std::isfinite(eng.engage_speed_rpm) && std::isfinite(eng.release_speed_rpm);
  for (const double speed : eng.gear_min_speed_rpm) finite = finite && std::isfinite(speed);
  if (!finite) reject(file + " gives Nidle and Nrate whose derived engine speeds are not finite");
}

// curve_lookup extends the first and the last segment beyond the curve, so a curve needs
// two distinct speeds. An end of two points at one speed (a vertical drop at the cut-off
// speed) is left to the run, which stops only if it drives a second beyond that end.
// A vehicle given in memory may hold what no file reads as: columns of different lengths,
// numbers that are not finite, speeds out of order. Each point is checked as the file's
// reader and sort would leave it.
void check_columns(const std::string& file, const std::vector<double>& speeds,
                   std::initializer_list<std::pair<const char*, const std::vector<double>*>> others) {
  for (const auto& [what, column] : others) {
    if (column->size() != speeds.size()) {
      reject(file + " holds " + std::to_string(speeds.size()) + " speeds and " + std::to_string(column->size()) +
             " " + what + ": every point needs both");
    }
  }
  // Most files are sound: one pass without branches tells so; only a faulty one is
  // searched point by point for its first fault.
  bool sound = true;
  for (const double speed : speeds) sound &= std::isfinite(speed);
  for (std::size_t k = 1; k < speeds.size(); ++k) sound &= !(speeds[k] < speeds[k - 1]);
  for (const auto& [what, column] : others) {
    for (const double value : *column) sound &= std::isfinite(value);
  }
  if (sound) return;
  for (std::size_t k = 0; k < speeds.size(); ++k) {
    bool finite = std::isfinite(speeds[k]);
    for (const auto& [what, column] : others) finite = finite && std::isfinite((*column)[k]);
    if (!finite) reject(file + " point " + std::to_string(k + 1) + " is not a pair of finite numbers");
    if (k > 0 && speeds[k] < speeds[k - 1]) {
      reject(file + " point " + std::to_string(k + 1) + " at speed " + number_text(speeds[k]) +
             " comes after a higher speed: points must be sorted by speed");
    }
  }
}

void check_curve(const TorqueCurve& curve, std::string_view name) {
  const std::string file = named("Torque data file", name);
  check_columns(file, curve.speeds_rpm, {{"torques", &curve.torques_nm}});
  const int32_t m = curve.point_count();
  if (m < 2) {
    reject(file + " holds " + std::to_string(m) + (m == 1 ? " point" : " points") +
           ": a torque curve needs at least 2");
  }
  if (curve.speeds_rpm[0] == curve.speeds_rpm[m - 1]) {
    reject(file + " has all its points at speed " + number_text(curve.speeds_rpm[0]) +
           ": a torque curve needs at least 2 distinct speeds");
  }
}

// The grid needs a map point; its tables grow with the points, which a map given in
// memory may hold more of than a file may.
void check_map(const FuelMap& map, std::string_view name) {
  const std::string file = named("Fuel map file", name);
  check_columns(file, map.speeds_rpm, {{"torques", &map.torques_nm}, {"fuel rates", &map.fuel_rates_l_per_h}});
  for (std::size_t k = 1; k < map.speeds_rpm.size(); ++k) {
    if (map.speeds_rpm[k] == map.speeds_rpm[k - 1] && map.torques_nm[k] < map.torques_nm[k - 1]) {
      reject(file + " point " + std::to_string(k + 1) + " comes after a higher torque at its speed: points of a "
             "speed line must be sorted by torque");
    }
  }
  if (!std::isfinite(map.idle_fuel_rate_l_per_h)) reject(file + " gives an idle fuel rate that is not finite");
  if (map.point_count() < 1) reject(file + " holds no map points");
  if (map.point_count() > MaxMapPoints) {
    throw Error(ErrorKind::Limit, file + " holds more than " + std::to_string(MaxMapPoints) +
                " points, the most the program takes", std::string(trimmed(name)));
  }
}

}  // namespace

void check_vehicle(std::string_view specName, const SpecValues& values, const VehicleSpec& spec,
                  const EngineData& eng, const EngineInput& files, const TransmissionData& trn,
                  const TransmissionInput& ratios, const TorqueCurve& fullLoad, const TorqueCurve& motoring,
                  const FuelMap& map) {
  check_spec(named("Spec file", specName), spec, trn);
  check_transmission(named("Transmission file", values.transmission_file), specName, trn, ratios);
  check_engine(named("Engine file", values.engine_file), eng);
  check_curve(fullLoad, files.full_load_file);
  check_curve(motoring, files.motoring_file);
  check_map(map, files.fuel_map_file);
}

}  // namespace hdfe
