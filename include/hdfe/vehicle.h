// The records of a vehicle: its input files as read, and what classification derives from
// them. Sizes come from the vectors; no count is stored beside one.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hdfe {

// The seventeen values of the spec file, in file order. Texts are held without trailing
// blanks. The table of these values (names in the file, kinds, units, ranges, meanings) is
// spec_value_table() in <hdfe/values.h>.
struct SpecValues {
  std::string vehicle_name;
  std::string category_code;      // one of the 25 category codes, e.g. "TT1", "BR4"
  std::string engine_file;
  std::string transmission_file;
  double final_ratio = 0.0;
  double tire_radius_m = 0.0;
  double flat_road_tire_radius_m = 0.0;  // representative radius for the flat-road correction
  bool traces = false;             // append the per-second traces to the results file
  double roll_addend = 0.0;        // addend to the rolling-resistance coefficient, scaled for the run
  double air_coefficient = 0.0;    // [N/(km/h)^2 per m^2]
  // Idle stop in the cycles: 0 none, any other value present. Held as written, since the
  // results file repeats it.
  int32_t idle_stop_on = 0;
  int32_t stop_delay_s = 0;        // standstill before the engine stops
  int32_t start_idle_stop_on = 0;  // idle stop at the start of the urban cycle: as idle_stop_on
  int32_t start_idle_time_s = 0;
  int32_t restart_lead_s = 0;      // seconds before moving off that the engine restarts
  double kf1 = 0.0;                // urban correction factor
  double kf2 = 0.0;                // highway correction factor

  // Engineering values: the user's own vehicle in place of the category's standard one.
  // None is read from the spec file; each left unset keeps what the classification derives.
  std::optional<double> test_mass_kg;        // simulated mass, in place of the test weight
  std::optional<double> payload_kg;          // load carried (mass and g/t·km)
  std::optional<double> frontal_area_m2;     // in place of height times width
  std::optional<double> cda_m2;              // drag area; wins over the frontal area
  std::optional<double> rolling_resistance;  // coefficient [-], in place of the standard formula
  std::optional<double> co2_kg_per_l;        // the fuel's CO2 [kg/l]; none: DieselCo2KgPerL
};

// CO2 of a litre of diesel [kg/l]: 3.13 kg of CO2 per kg of fuel at 0.836 kg/l.
inline constexpr double DieselCo2KgPerL = 2.62;

// Whether any engineering value is set: the run then is not the standard vehicle's.
bool has_engineering_values(const SpecValues& values);

// The engine file as read.
struct EngineInput {
  std::string fuel_map_file;
  std::string full_load_file;
  std::string motoring_file;
  double idle_speed_rpm = 0.0;
  double rated_speed_rpm = 0.0;
  double max_speed_rpm = 0.0;
};

enum class TransmissionType {
  Manual,          // MT or AMT (any code but 1 in the transmission file)
  TorqueConverter, // torque-converter automatic (code 1)
};

// The transmission file as read. Gear k = (i - 1) * aux_ratios.size() + j of main ratio i
// and auxiliary ratio j.
struct TransmissionInput {
  int32_t start_gears = 0;          // highest gear to move off in
  std::vector<double> main_ratios;
  std::vector<double> aux_ratios;
  TransmissionType type = TransmissionType::Manual;
};

// A torque curve: full-load or motoring torque against engine speed, sorted by speed.
struct TorqueCurve {
  std::vector<double> speeds_rpm;
  std::vector<double> torques_nm;

  int32_t point_count() const { return static_cast<int32_t>(speeds_rpm.size()); }
};

// Scattered fuel-map points, sorted by speed and, within a speed line, by torque.
struct FuelMap {
  double idle_fuel_rate_l_per_h = 0.0;
  std::vector<double> speeds_rpm;
  std::vector<double> torques_nm;
  std::vector<double> fuel_rates_l_per_h;

  int32_t point_count() const { return static_cast<int32_t>(speeds_rpm.size()); }
};

// The category's standard vehicle with the spec file's radii, as classification derives it.
struct VehicleSpec {
  double mu_air = 0.0;                   // air resistance [N/(km/h)^2]
  double mu_roll = 0.0;                  // rolling resistance [N/kg]
  double tire_radius_m = 0.0;
  double flat_road_tire_radius_m = 0.0;
  double tire_circumference_m = 0.0;
  double width_m = 0.0;
  double height_m = 0.0;
  double curb_weight_kg = 0.0;
  double max_payload_kg = 0.0;
  double test_weight_kg = 0.0;
  double gross_weight_kg = 0.0;
  double highway_ratio = 0.0;            // highway share [fraction 0..1]
  int32_t crew = 0;                      // crew (trucks) or passenger capacity (buses) [persons]
  double load_factor = 0.0;              // [fraction]
  double engine_inertia_kg_m2 = 0.0;     // engine-side inertia
};

// The engine speed marks of a run.
struct EngineData {
  double max_speed_rpm = 0.0;      // highest engine speed the simulation allows
  double rated_speed_rpm = 0.0;
  double idle_speed_rpm = 0.0;
  double engage_speed_rpm = 0.0;   // clutch engagement when moving off
  double release_speed_rpm = 0.0;  // clutch release when slowing down
  std::vector<double> gear_min_speed_rpm;  // per gear, gear g at [g - 1]
};

// One row of the gear table.
struct GearRow {
  double ratio = 0.0;              // gearbox ratio without the final ratio
  double efficiency = 0.0;
  double torque_margin = 0.0;      // torque reserve an upshift into this gear needs
  double rotating_mass_kg = 0.0;   // equivalent mass of the rotating parts
};

// The transmission as the run drives it.
struct TransmissionData {
  TransmissionType type = TransmissionType::Manual;
  int32_t start_gears = 0;         // highest gear to move off in
  int32_t reengage_gear = 0;       // gear taken when drive is re-engaged while rolling
  int32_t max_upshift_span = 0;    // most gears passed in one ordinary upshift
  double final_ratio = 0.0;
  double final_efficiency = 0.0;
  std::vector<GearRow> gears;      // gear g at [g - 1]

  int32_t gear_count() const { return static_cast<int32_t>(gears.size()); }
};

}  // namespace hdfe
