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
};

// A second of a simulated cycle the vehicle could not follow.
struct RunFinding {
  enum class Kind { OverSpeed, OverTorque };
  std::string cycle;  // "URBAN" or "HIGHWAY"
  int32_t second = 0; // 1-based
  Kind kind = Kind::OverSpeed;
};

// Something the run did that its figures do not show.
struct RunWarning {
  enum class Kind {
    SpeedSearchExhausted,  // a gear evaluation's speed search ran all its passes
    CycleMissed,           // the vehicle fell clearly short of the cycle's target speed
    InputWarning,          // an input the run takes as given but that is likely a mistake (as
                           // --check warns); the message starts with the file and line
  };
  Kind kind = Kind::SpeedSearchExhausted;
  std::string cycle;   // "URBAN" or "HIGHWAY"; empty for an input warning
  int32_t second = 0;  // 1-based; 0 for the settling step, the cycle as a whole or an input
  std::string message;
};

// How closely the vehicle followed a cycle's target speed.
struct CycleMetrics {
  int32_t seconds_below_target = 0;        // more than 2 km/h below the target
  double largest_shortfall_km_per_h = 0.0; // largest target minus achieved speed, 0 if never short
  int32_t largest_shortfall_second = 0;    // its second (1-based), 0 if never short
  double distance_percent_of_target = 0.0; // achieved distance over target distance [%]
  int32_t seconds_at_full_load = 0;        // torque at 99 % or more of full load
};

// The figures of one cycle or section, in the order the corrections are applied.
struct CycleFigures {
  std::string name;                 // "URBAN", "HIGHWAY" or "MID-TOWN"
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
  CycleMetrics metrics;
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

struct Result {
  Classification classification;
  std::vector<CycleFigures> cycles;  // URBAN, HIGHWAY, MID-TOWN
  double average_fuel_economy_km_per_l = 0.0;  // distance-weighted by the highway share
  double highway_ratio = 0.0;                  // [fraction]
  std::vector<RunFinding> findings;
  std::vector<RunWarning> warnings;
  std::vector<CycleRun> traces;  // URBAN, HIGHWAY when RunOptions::traces; else empty

  // The cycle of that name; throws std::out_of_range when there is none.
  const CycleFigures& cycle(std::string_view name) const;
};

// Classifies the vehicle, checks it, builds its fuel grid and drives every cycle. Throws
// Error when the vehicle cannot be run.
Result run(const Vehicle& vehicle, const RunOptions& options = {});

}  // namespace hdfe
