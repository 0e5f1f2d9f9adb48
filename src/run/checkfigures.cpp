// What a run produced must be sound before it is reported. The figures must be positive
// finite numbers: a vehicle that does not move,
// a map that gives no fuel or a correction factor out of range would otherwise be written
// as Infinity, NaN, zero or a negative economy like any result.
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "model/curveend.h"
#include "run/figures.h"

namespace hdfe {

namespace {

// The shortest text that reads back as v ("inf", "nan" for those).
std::string number_text(double v) {
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

[[noreturn]] void bad_figure(const std::string& what, double value, const std::string& unit, const std::string& cause) {
  throw Error(ErrorKind::BadResult, what + " is " + number_text(value) + unit + ": " + cause);
}

}  // namespace

void check_factors(double Kf1, double Kf2) {
  if (!positive_finite(Kf1)) bad_figure("Kf1", Kf1, "", "it must be a positive finite number");
  if (!positive_finite(Kf2)) bad_figure("Kf2", Kf2, "", "it must be a positive finite number");
}

void check_cycle_figures(const CycleFigures& f) {
  const std::string notMoving =
      "the vehicle does not move forward over the cycle (check RollAddend, FinalRatio, the gear ratios and the "
      "full-load curve)";
  if (!positive_finite(f.distance_km)) bad_figure(f.name + " distance", f.distance_km, " km", notMoving);
  if (!positive_finite(f.average_speed_km_per_h)) {
    bad_figure(f.name + " average speed", f.average_speed_km_per_h, " km/h", notMoving);
  }
  if (!positive_finite(f.fuel_l)) {
    bad_figure(f.name + " fuel", f.fuel_l, " l", "the fuel map gives no fuel (check its fuel rates and idle line)");
  }
  const std::string kf = f.name == "HIGHWAY" ? "Kf2" : "Kf1";
  const std::pair<std::string, double> economies[] = {
      {" fuel economy", f.fuel_economy_before_transient_km_per_l},
      {" fuel economy after the transient correction", f.fuel_economy_after_transient_km_per_l},
      {" fuel economy with " + kf, f.fuel_economy_after_kf_km_per_l}};
  for (const auto& [what, value] : economies) {
    if (!positive_finite(value)) {
      bad_figure(f.name + what, value, " km/l",
                 "distance over fuel is out of the range of numbers (check " + kf + " and the fuel map)");
    }
  }
}

void check_figures(const Result& result) {
  for (const CycleFigures& f : result.cycles) check_cycle_figures(f);
  if (!positive_finite(result.average_fuel_economy_km_per_l)) {
    bad_figure("AVERAGE fuel economy", result.average_fuel_economy_km_per_l, " km/l",
               "the weighted average is out of the range of numbers (check Kf1 and Kf2)");
  }
}

}  // namespace hdfe

namespace hdfe {

namespace {

[[noreturn]] void beyond_end(const TorqueCurve& curve, const std::string& name, const std::string& where, double s) {
  const int32_t m = curve.point_count();
  const bool high = s >= curve.speeds_rpm[static_cast<std::size_t>(m - 1)];
  const double end = high ? curve.speeds_rpm[static_cast<std::size_t>(m - 1)] : curve.speeds_rpm[0];
  throw Error(ErrorKind::VehicleCheck,
              "Torque data file [ " + name + " ] has two points at its " + (high ? "highest" : "lowest") + " speed " +
                  number_text(end) + ": " + where + " " + number_text(s) + " rpm, where the curve cannot be extended " +
                  (high ? "above" : "below") + " it",
              name);
}

}  // namespace

void check_map_speeds(const FuelMap& map, const TorqueCurve& motoring, const std::string& motoringName) {
  for (std::size_t p = 0; p < map.speeds_rpm.size(); ++p) {
    if (beyond_vertical_end(motoring, map.speeds_rpm[p])) {
      beyond_end(motoring, motoringName, "the fuel map has a speed line at", map.speeds_rpm[p]);
    }
  }
}

void check_driven_speeds(std::string_view cycleName, const CycleTrace& trace, int32_t n, const Vehicle& vehicle,
                         const EngineData& eng) {
  if (!has_vertical_end(vehicle.full_load) && !has_vertical_end(vehicle.motoring)) return;
  for (int32_t i = 1; i <= n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    const double Ne = trace.engine_speed_rpm[k];
    // Written only for the message: a run checks every second.
    const auto where = [&] {
      return std::string(cycleName) + " second " + std::to_string(i) + " runs the engine at";
    };
    // Every second's torque is taken relative to full load; its fuel rate looks up the
    // motoring torque unless the engine idles.
    if (beyond_vertical_end(vehicle.full_load, Ne)) {
      beyond_end(vehicle.full_load, vehicle.engine.full_load_file, where(), Ne);
    }
    if (trace.gear[k] != 0 && Ne != eng.idle_speed_rpm && beyond_vertical_end(vehicle.motoring, Ne)) {
      beyond_end(vehicle.motoring, vehicle.engine.motoring_file, where(), Ne);
    }
  }
}

}  // namespace hdfe
