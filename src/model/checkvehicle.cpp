#include "model/checkvehicle.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "io/readcurves.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

[[noreturn]] void reject(const std::string& line) { throw Error({line}, 0, ErrorKind::VehicleCheck); }

// The shortest text that reads back as v.
std::string number_text(double v) {
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

// " <kind> [ name ]", the name without its trailing blanks.
std::string named(const char* kind, std::string_view name) {
  return std::string(" ") + kind + " [ " + std::string(trimmed(name)) + " ]";
}

void check_spec(const std::string& file, const VehicleSpec& spec, const TransmissionData& trn) {
  if (!(spec.TireRadius > 0.0)) {
    reject(file + " gives TireRadius " + number_text(spec.TireRadius) + ": it must be greater than 0");
  }
  if (!(trn.FinalRatio > 0.0)) {
    reject(file + " gives FinalRatio " + number_text(trn.FinalRatio) + ": it must be greater than 0");
  }
  // RollAddend is scaled by sqrt(1 / (FlatRoadTireRadius + 1)).
  if (!(spec.FlatRoadTireRadius > -1.0)) {
    reject(file + " gives FlatRoadTireRadius " + number_text(spec.FlatRoadTireRadius) +
           ": it must be greater than -1");
  }
  const std::pair<const char*, double> derived[] = {
      {"MuRoll", spec.MuRoll}, {"MuAir", spec.MuAir}, {"TireCircumference", spec.TireCircumference}};
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
// `stated` names the number and gives its value.
void check_gear_number(const std::string& file, const char* what, const std::string& stated, int32_t gear,
                     int32_t gearCount) {
  if (gear >= 1 && gear <= gearCount) return;
  reject(file + " gives no gear to " + what + ": " + stated + " must be between 1 and " +
         std::to_string(gearCount));
}

void check_transmission(const std::string& file, std::string_view specName, const TransmissionData& trn,
                       const RatioLists& ratios) {
  if (trn.GearCount < 1) {
    reject(file + " gives no gears: MainRatioCount " + std::to_string(trn.MainRatioCount) +
           " and AuxRatioCount " + std::to_string(trn.AuxRatioCount) + " must both be at least 1");
  }
  check_ratios(file, "main", ratios.MainRatios);
  check_ratios(file, "auxiliary", ratios.AuxRatios);
  check_gear_number(file, "move off in", "StartGears " + std::to_string(trn.StartGears), trn.StartGears,
                  trn.GearCount);
  // Outside a torque-converter automatic, drive is re-engaged in gear AuxRatioCount + 1.
  check_gear_number(file, "re-engage in",
                  "ReengageGear " + std::to_string(trn.ReengageGear) + " (AuxRatioCount + 1)",
                  trn.ReengageGear, trn.GearCount);
  for (std::size_t k = 0; k < trn.Gears.size(); ++k) {
    const GearRow& gear = trn.Gears[k];
    const double total = trn.FinalRatio * gear.Ratio;
    const std::string which =
        file + " with" + named("spec file", specName) + " gives gear " + std::to_string(k + 1);
    if (!std::isfinite(total) || !(total > 0.0)) reject(which + " a total ratio out of range");
    if (!std::isfinite(gear.DW)) reject(which + " a non-finite DW");
  }
}

void check_engine(const std::string& file, const EngineData& eng) {
  bool finite = std::isfinite(eng.Nes) && std::isfinite(eng.Nec);
  for (const double speed : eng.GearMinSpeed) finite = finite && std::isfinite(speed);
  if (!finite) reject(file + " gives Nidle and Nrate whose derived engine speeds are not finite");
}

// curve_lookup extends the first and the last segment beyond the curve, so a curve needs
// two distinct speeds. An end of two points at one speed (a vertical drop at the cut-off
// speed) is left to the run, which stops only if it drives a second beyond that end.
void check_curve(const TorqueCurve& curve, std::string_view name) {
  const std::string file = named("Torque data file", name);
  const int32_t m = curve.PointCount;
  if (m < 2) {
    reject(file + " holds " + std::to_string(m) + (m == 1 ? " point" : " points") +
           ": a torque curve needs at least 2");
  }
  if (curve.Speeds[0] == curve.Speeds[m - 1]) {
    reject(file + " has all its points at speed " + number_text(curve.Speeds[0]) +
           ": a torque curve needs at least 2 distinct speeds");
  }
}

// The grid needs a map point; its tables grow with the points, which a map given in
// memory may hold more of than a file may.
void check_map(const FuelMap& map, std::string_view name) {
  const std::string file = named("Fuel map file", name);
  if (map.PointCount < 1) reject(file + " holds no map points");
  if (map.PointCount > MaxMapPoints) {
    throw Error({file + " holds more than " + std::to_string(MaxMapPoints) + " points, the most the program takes"},
                1, ErrorKind::Limit, std::string(trimmed(name)));
  }
}

}  // namespace

void check_vehicle(std::string_view specName, const SpecValues& values, const VehicleSpec& spec,
                  const EngineData& eng, const EngineFiles& files, const TransmissionData& trn,
                  const RatioLists& ratios, const TorqueCurve& fullLoad, const TorqueCurve& motoring,
                  const FuelMap& map) {
  check_spec(named("Spec file", specName), spec, trn);
  check_transmission(named("Transmission file", values.TransmissionFile), specName, trn, ratios);
  check_engine(named("Engine file", values.EngineFile), eng);
  check_curve(fullLoad, files.FullLoadCurveFile);
  check_curve(motoring, files.MotoringCurveFile);
  check_map(map, files.FuelMapFile);
}

}  // namespace hdfe
