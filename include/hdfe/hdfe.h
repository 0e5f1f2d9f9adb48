// hdfe as a library: load a vehicle, run it over the drive cycles, read every figure.
//
//   hdfe::Vehicle vehicle = hdfe::load_vehicle("examples/truck/spec.txt");
//   vehicle.values.FinalRatio = 4.1;
//   hdfe::Result result = hdfe::run(vehicle);
//   double urban = result.cycle("URBAN").fuel_economy_km_per_l;
//
// run() does no I/O and keeps no state between calls: it may be called from many threads at
// once, on the same vehicle or on different ones.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hdfe/error.h"
#include "hdfe/traces.h"
#include "hdfe/vehicle.h"

namespace hdfe {

// The program version written to the information file.
inline constexpr std::string_view ProgramVersion = "20221014";
// The version of the built-in drive-cycle tables.
inline constexpr std::string_view CycleTablesVersion = "JE05-2005/HWY80-grade-1";

// Where relative file names inside the input files are taken from.
struct LoadOptions {
  // Folder for relative names that the spec and engine files give; none: the spec file's
  // folder. An empty path opens the names as written, from the working directory.
  std::optional<std::filesystem::path> base;
  // Whether each input file's SHA-256 is computed (for the JSON's traceability); a run
  // that reports no digests may skip the work.
  bool digests = true;
};

// An input file of a vehicle: its role, the name as written, and the path opened.
struct InputFile {
  std::string role;  // "spec", "transmission", "engine", "full_load", "motoring", "fuel_map"
  std::string name;  // as given on the command line or in the file naming it
  std::filesystem::path path;
  std::string sha256;  // of the bytes read, 64 hex digits; empty when not asked for
};

// The text of a vehicle's input files as loading found it (for the run's input warnings).
struct InputText;

// Everything a vehicle's input files hold, as read: edit any value, then run it.
struct Vehicle {
  SpecValues values;            // the spec file
  EngineInput engine;           // the engine file
  TransmissionInput transmission;  // the transmission file
  TorqueCurve full_load;        // sorted by speed
  TorqueCurve motoring;         // sorted by speed
  FuelMap fuel_map;             // sorted by speed, then torque within a speed line
  std::vector<InputFile> files; // in reading order, the spec file first
  // Set by load_vehicle: the files' lines and what their text shows (header lines that read
  // as data, a decimal comma); the run's warnings give the line of a value from it. None
  // for a vehicle put together otherwise: its warnings then name no lines.
  std::shared_ptr<const InputText> text;
};

// Reads the spec file and every file it names. Names inside the files are taken from
// options.base, or from the spec file's folder. Throws Error on the first failure, checking
// the category code as soon as the engine and transmission files are read.
Vehicle load_vehicle(const std::filesystem::path& spec, const LoadOptions& options = {});

// Loads a vehicle whose spec values are given (e.g. read from `spec` and then edited): reads
// every file the values name, as load_vehicle(spec, options) does after reading the spec
// file. Names are taken from options.base, or from the folder of `spec`, which is recorded
// as the vehicle's spec file.
Vehicle load_vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options = {});

// The vehicle's input text (Vehicle::text) as bytes, and back, so that a stored copy of a
// vehicle (a pickle) gives the same warnings with the same lines. Empty bytes: none. Throws
// Error (BadValue) on bytes that input_text_bytes did not make.
std::string input_text_bytes(const Vehicle& vehicle);
void set_input_text(Vehicle& vehicle, std::string_view bytes);

struct RunOptions {
  bool traces = false;  // keep the per-second series of every simulated cycle
  // Work out each cycle's energy audit (CycleFigures::energy) and the traces' split of the
  // engine torque (engine_own_torque_nm, braking_torque_nm). A run that reads neither may
  // leave it off, saving about a tenth of its work: the audit's terms then stay 0 and the
  // split's series empty.
  bool energy_audit = true;
};

// A second of a simulated cycle the vehicle could not follow.
struct RunFinding {
  enum class Kind { OverSpeed, OverTorque };
  std::string cycle;  // "URBAN", "HIGHWAY" or a user's cycle
  int32_t second = 0; // 1-based
  Kind kind = Kind::OverSpeed;
};

// Something the run did that its figures do not show.
struct RunWarning {
  enum class Kind {
    SpeedSearchExhausted,  // a gear evaluation's speed search ran all its passes
    CycleMissed,           // the vehicle fell clearly short of the cycle's target speed
    InputWarning,          // an input the run takes as given but that is likely a mistake (as
                           // --check warns); the message starts with the file and line, or
                           // for an engineering value (in no file) with the value's name
    EngineOverSpeed,       // the gear logic ran the engine past its highest speed, where the fuel
                           // map is read far outside its points: the figures are not meaningful
    CycleResampled,        // a user's cycle was given at other times than whole seconds and was
                           // resampled to them; the message says from what
  };
  Kind kind = Kind::SpeedSearchExhausted;
  std::string cycle;   // "URBAN", "HIGHWAY" or a user's cycle; empty for an input warning
  int32_t second = 0;  // 1-based; 0 for the settling step, the cycle as a whole or an input
  std::string message;
};

// The names the JSON and Python give the kinds.
constexpr std::string_view finding_kind_name(RunFinding::Kind kind) {
  return kind == RunFinding::Kind::OverSpeed ? "over_speed" : "over_torque";
}
constexpr std::string_view warning_kind_name(RunWarning::Kind kind) {
  switch (kind) {
    case RunWarning::Kind::SpeedSearchExhausted: return "speed_search_exhausted";
    case RunWarning::Kind::CycleMissed: return "cycle_missed";
    case RunWarning::Kind::InputWarning: return "input";
    case RunWarning::Kind::CycleResampled: return "cycle_resampled";
    case RunWarning::Kind::EngineOverSpeed: return "engine_over_speed";
  }
  return "input";
}
inline constexpr RunWarning::Kind AllWarningKinds[] = {RunWarning::Kind::SpeedSearchExhausted,
                                                       RunWarning::Kind::CycleMissed, RunWarning::Kind::InputWarning,
                                                       RunWarning::Kind::CycleResampled,
                                                       RunWarning::Kind::EngineOverSpeed};

// How closely the vehicle followed a cycle's target speed.
struct CycleMetrics {
  int32_t seconds_below_target = 0;        // more than 2 km/h below the target
  double largest_shortfall_km_per_h = 0.0; // largest target minus achieved speed, 0 if never short
  int32_t largest_shortfall_second = 0;    // its second (1-based), 0 if never short
  double distance_percent_of_target = 0.0; // achieved distance over target distance [%]
  int32_t seconds_at_full_load = 0;        // torque at 99 % or more of full load
};

// Where the energy of a driven cycle or section went [kWh]. The simulation charges each
// second's forces over the distance of the second at its end speed, and so does the audit;
// every term but the residual is 0 or more (for resistances that do not push), and
//   engine_positive + descending + kinetic_released
//     = engine_motoring + driveline_loss + air_drag + rolling_resistance + climbing
//       + kinetic_given + braking + residual.
// In gear the engine's own torque (engine_own_torque_nm) works at the engine speed, and the
// brakes take the braking torque at the wheels. In neutral and at a standstill the cycle sets
// the speed and the engine does no work: the brakes absorb a net negative road load, and a
// positive one is left to the residual. The residual is what the model's one-second steps
// leave outside the terms: such neutral seconds, engine speeds held at a limit, and the
// model's tyre circumference (6.28 radii) against its torque arm (one radius), about 0.05 %
// of the engine work. On the examples over every library cycle it stays under 0.2 % of
// engine_positive.
struct EnergyAudit {
  double engine_positive_kwh = 0.0;     // engine torque above 0 times its speed, in gear
  double engine_motoring_kwh = 0.0;     // absorbed by the engine's own friction (motoring torque)
  double driveline_loss_kwh = 0.0;      // gearbox and final drive, both directions, and the
                                        // clutch slipping while moving off
  double air_drag_kwh = 0.0;
  double rolling_resistance_kwh = 0.0;
  double climbing_kwh = 0.0;            // lifting the vehicle on rising road
  double descending_kwh = 0.0;          // given back by falling road
  double kinetic_given_kwh = 0.0;       // to the vehicle and its rotating parts while speeding up
  double kinetic_released_kwh = 0.0;    // taken back from them while slowing down
  double braking_kwh = 0.0;             // absorbed by the brakes
  double residual_kwh = 0.0;            // sources minus the other sinks; may be negative
};

// The figures of one cycle or section, in the order the corrections are applied. A phase
// that stands still throughout has 0 km/l and infinite l/100 km and CO2 per km (not a
// number with no fuel either); a whole cycle must move.
struct CycleFigures {
  std::string name;                 // "URBAN", "HIGHWAY", "MID-TOWN"; a user cycle's name; a
                                    // phase's "cycle/phase"
  std::string cycle;                // the cycle driven: "URBAN" for MID-TOWN, a phase's cycle
  std::string phase;                // the phase label of a phase's figures, else empty
  int32_t first_second = 1;         // 1-based first step of the section
  int32_t seconds = 0;              // steps averaged
  double average_speed_km_per_h = 0.0;
  double distance_km = 0.0;         // achieved
  double target_distance_km = 0.0;
  double fuel_l = 0.0;              // simulated fuel, idle stop applied
  // Distance over fuel, after the torque-converter factor of an automatic [km/l].
  double fuel_economy_before_transient_km_per_l = 0.0;
  // After the transient correction (divided by 1.03); HIGHWAY has none and equals the above.
  double fuel_economy_after_transient_km_per_l = 0.0;
  // After the Kf factor: the final figure.
  double fuel_economy_after_kf_km_per_l = 0.0;
  double fuel_economy_km_per_l = 0.0;  // the final figure, as the results file prints it
  double kf = 0.0;                     // Kf1 (town) or Kf2 (highway)
  bool transient_correction = false;   // the 3 % correction applies
  // The torque-converter factor applied: the built-in section's, or converter_factor_for()
  // of a user's cycle (its phases too), for an automatic; 1 for a manual.
  double converter_factor = 1.0;
  double fuel_consumption_l_per_100km = 0.0;  // 100 over the final figure
  // ((1 / the final figure) x CO2 per litre [kg/l]) x 1000, evaluated in that order.
  double co2_g_per_km = 0.0;
  std::optional<double> co2_g_per_t_km;       // co2_g_per_km / (payload_kg / 1000); none when
                                              // the payload is 0
  double payload_kg = 0.0;                    // the payload of g/t·km (see SpecValues::payload_kg)
  CycleMetrics metrics;
  EnergyAudit energy;
};

// The per-second series of a simulated cycle.
struct CycleRun {
  std::string name;
  DriveCycle cycle;  // the target speed and gradient tables (views of built-in data or of storage)
  CycleTrace trace;
  // Holds the tables a user's cycle views (see run_cycles); none for a built-in cycle.
  std::shared_ptr<const void> storage;
};

// The standard vehicle, the derived engine speeds and the gear table of a run.
struct Classification {
  SpecValues values;        // as used: StopDelay and StartIdleTime 999 when off, RollAddend scaled
  VehicleSpec spec;
  EngineData engine;
  TransmissionData transmission;
};

// What the road did to the vehicle's time, and the route kilometre by kilometre.
struct RouteKilometre {
  double start_km = 0.0;
  double distance_km = 0.0;           // driven in it (the last one may be shorter)
  double time_s = 0.0;                // seconds whose start lies in it
  double fuel_l = 0.0;                // their fuel, idle stop applied
  double average_speed_km_per_h = 0.0;
  double grade_percent = 0.0;         // mean grade over its distance
  double elevation_m = 0.0;           // at its end
};

struct RouteFigures {
  std::string name;
  double length_km = 0.0;
  double time_s = 0.0;               // driven
  double time_at_targets_s = 0.0;    // the driver's seconds with every target met at once
  double time_lost_s = 0.0;          // time_s - time_at_targets_s
  double time_lost_climbing_s = 0.0; // of that, on stretches that rise
  double stopped_s = 0.0;            // standing at the route's stops
  std::vector<RouteKilometre> kilometres;
};

struct Result {
  Classification classification;
  // URBAN, HIGHWAY, MID-TOWN for run(); for run_cycles() each cycle followed by its phases.
  std::vector<CycleFigures> cycles;
  double average_fuel_economy_km_per_l = 0.0;  // distance-weighted by the highway share
  double highway_ratio = 0.0;                  // [fraction]
  std::vector<RunFinding> findings;
  std::vector<RunWarning> warnings;
  std::vector<CycleRun> traces;  // every cycle driven when RunOptions::traces; else empty
  std::vector<RouteFigures> routes;  // one per route of run_routes(); else empty
  // Not the standard vehicle on the built-in cycles (a user's cycle or an engineering value):
  // the results file of the standard run cannot hold it.
  bool engineering = false;

  // The cycle of that name; throws std::out_of_range when there is none.
  const CycleFigures& cycle(std::string_view name) const;
};

// Classifies the vehicle, checks it, builds its fuel grid and drives every cycle. Throws
// Error when the vehicle cannot be run.
Result run(const Vehicle& vehicle, const RunOptions& options = {});

}  // namespace hdfe
