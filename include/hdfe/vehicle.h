// Records filled by the vehicle-input readers and completed by classification.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hdfe {

// The vehicle: spec-file radii and the quantities that classification derives.
struct VehicleSpec {
  double mu_air = 0.0;              // air resistance [N/(km/h)^2]
  double mu_roll = 0.0;             // rolling resistance [N/kg]
  double tire_radius_m = 0.0;         // [m]
  double flat_road_tire_radius_m = 0.0; // representative radius for the flat-road correction [m]
  double tire_circumference_m = 0.0;  // [m]
  double width_m = 0.0;              // [m]
  double height_m = 0.0;             // [m]
  double curb_weight_kg = 0.0;              // curb weight [kg]
  double max_payload_kg = 0.0;         // [kg]
  double test_weight_kg = 0.0;              // test weight [kg]
  double gross_weight_kg = 0.0;                // gross vehicle weight [kg]
  double highway_ratio = 0.0;       // highway share [fraction 0..1]
  int32_t crew = 0;                // crew (trucks) or passenger capacity (buses) [persons]
  double load_factor = 0.0;         // [fraction]
  double engine_inertia_kg_m2 = 0.0;      // engine-side inertia [kg m^2]
};

// The seventeen values of the spec file. Names are held without trailing blanks.
struct SpecValues {
  std::string vehicle_name;
  std::string category_code;
  std::string engine_file;
  std::string transmission_file;
  double final_ratio = 0.0;
  double tire_radius_m = 0.0;         // [m]
  double flat_road_tire_radius_m = 0.0; // representative radius for the flat-road correction [m]
  int32_t traces = 0;         // 1: append the per-second traces to the results file
  double roll_addend = 0.0;       // addend to the rolling-resistance coefficient, scaled for the run
  double air_coefficient = 0.0;   // [N/(km/h)^2 per m^2]
  int32_t idle_stop_on = 0;        // 0 none, 1 present
  int32_t stop_delay_s = 0;         // [s], 999 when IdleStopOn is 0
  int32_t start_idle_stop_on = 0;   // 0 none, 1 present
  int32_t start_idle_time_s = 0;     // [s], 999 when StartIdleStopOn is 0
  int32_t restart_lead_s = 0;       // [s]
  double kf1 = 0.0;              // urban correction factor
  double kf2 = 0.0;              // highway correction factor
};

struct EngineData {
  double max_speed_rpm = 0.0;    // highest engine speed the simulation allows [rpm]
  double rated_speed_rpm = 0.0;  // rated speed [rpm]
  double idle_speed_rpm = 0.0;  // idle speed [rpm]
  double engage_speed_rpm = 0.0;    // clutch-engagement speed when moving off [rpm]
  double release_speed_rpm = 0.0;    // clutch-release speed when slowing down [rpm]
  std::vector<double> gear_min_speed_rpm;  // per gear, gear g at [g - 1] [rpm]
};

// The engine file as read.
struct EngineInput {
  std::string fuel_map_file;
  std::string full_load_file;
  std::string motoring_file;
  double idle_speed_rpm = 0.0;  // [rpm]
  double rated_speed_rpm = 0.0;  // [rpm]
  double max_speed_rpm = 0.0;    // [rpm]
};

// The transmission file as read. The lists hold max(count, 0) ratios.
struct TransmissionInput {
  int32_t start_gears = 0;
  int32_t main_ratio_count = 0;
  std::vector<double> main_ratios;
  int32_t aux_ratio_count = 0;
  std::vector<double> aux_ratios;
  int32_t transmission_type = 0;  // 1: torque-converter automatic
};

// The three engine data file names that the engine file gives.
struct EngineFiles {
  std::string fuel_map_file;
  std::string full_load_file;
  std::string motoring_file;
};

// One row of the gear table.
struct GearRow {
  double ratio = 0.0;         // gearbox ratio without the final ratio
  double efficiency = 0.0;
  double torque_margin = 0.0;  // torque reserve an upshift into this gear needs
  double rotating_mass_kg = 0.0;            // equivalent mass of the rotating parts [kg]
};

struct TransmissionData {
  int32_t transmission_type = 0;  // 1: torque-converter automatic; other: MT or AMT
  int32_t start_gears = 0;        // highest gear to move off in
  int32_t reengage_gear = 0;      // gear taken when drive is re-engaged while rolling
  int32_t max_upshift_span = 0;    // most gears passed in one ordinary upshift
  int32_t gear_count = 0;
  int32_t main_ratio_count = 0;
  int32_t aux_ratio_count = 0;
  double final_ratio = 0.0;
  double final_efficiency = 0.0;
  std::vector<GearRow> gears;    // gear g at [g - 1]
};

// The ratio lists of the transmission file, held beside TransmissionData.
struct RatioLists {
  std::vector<double> main_ratios;  // main ratio i at [i - 1]
  std::vector<double> aux_ratios;   // auxiliary ratio j at [j - 1]
  int32_t start_gears = 0;
};

// A torque curve: full-load or motoring torque against engine speed.
struct TorqueCurve {
  int32_t point_count = 0;
  std::vector<double> speeds_rpm;   // ascending after reading [rpm]
  std::vector<double> torques_nm;  // [N·m]
};

// Scattered fuel-map points, sorted by speed and, within a speed line, by torque.
struct FuelMap {
  double idle_fuel_rate_l_per_h = 0.0;  // [l/h]
  int32_t point_count = 0;
  std::vector<double> speeds_rpm;     // [rpm]
  std::vector<double> torques_nm;    // [N·m]
  std::vector<double> fuel_rates_l_per_h;  // [l/h]
};

}  // namespace hdfe
