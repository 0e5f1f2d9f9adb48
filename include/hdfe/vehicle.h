// Records filled by the vehicle-input readers and completed by classification.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hdfe {

// The vehicle: spec-file radii and the quantities that classification derives.
struct VehicleSpec {
  double MuAir = 0.0;              // air resistance [N/(km/h)^2]
  double MuRoll = 0.0;             // rolling resistance [N/kg]
  double TireRadius = 0.0;         // [m]
  double FlatRoadTireRadius = 0.0; // representative radius for the flat-road correction [m]
  double TireCircumference = 0.0;  // [m]
  double Width = 0.0;              // [m]
  double Height = 0.0;             // [m]
  double Wcurb = 0.0;              // curb weight [kg]
  double MaxPayload = 0.0;         // [kg]
  double Wtest = 0.0;              // test weight [kg]
  double GVW = 0.0;                // gross vehicle weight [kg]
  double HighwayRatio = 0.0;       // highway share [fraction 0..1]
  int32_t Crew = 0;                // crew (trucks) or passenger capacity (buses) [persons]
  double LoadFactor = 0.0;         // [fraction]
  double EngineInertia = 0.0;      // engine-side inertia [kg m^2]
};

// The seventeen values of the spec file. Names are held without trailing blanks.
struct SpecValues {
  std::string VehicleName;
  std::string CategoryCode;
  std::string EngineFile;
  std::string TransmissionFile;
  double FinalRatio = 0.0;
  double TireRadius = 0.0;         // [m]
  double FlatRoadTireRadius = 0.0; // representative radius for the flat-road correction [m]
  int32_t TraceFlag = 0;         // 1: append the per-second traces to the results file
  double RollAddend = 0.0;       // addend to the rolling-resistance coefficient, scaled for the run
  double AirCoefficient = 0.0;   // [N/(km/h)^2 per m^2]
  int32_t IdleStopOn = 0;        // 0 none, 1 present
  int32_t StopDelay = 0;         // [s], 999 when IdleStopOn is 0
  int32_t StartIdleStopOn = 0;   // 0 none, 1 present
  int32_t StartIdleTime = 0;     // [s], 999 when StartIdleStopOn is 0
  int32_t RestartLead = 0;       // [s]
  double Kf1 = 0.0;              // urban correction factor
  double Kf2 = 0.0;              // highway correction factor
};

struct EngineData {
  double Nex = 0.0;    // highest engine speed the simulation allows [rpm]
  double Nrate = 0.0;  // rated speed [rpm]
  double Nidle = 0.0;  // idle speed [rpm]
  double Nes = 0.0;    // clutch-engagement speed when moving off [rpm]
  double Nec = 0.0;    // clutch-release speed when slowing down [rpm]
  std::vector<double> GearMinSpeed;  // per gear, gear g at [g - 1] [rpm]
};

// The engine file as read.
struct EngineInput {
  std::string FuelMapFile;
  std::string FullLoadCurveFile;
  std::string MotoringCurveFile;
  double Nidle = 0.0;  // [rpm]
  double Nrate = 0.0;  // [rpm]
  double Nex = 0.0;    // [rpm]
};

// The transmission file as read. The lists hold max(count, 0) ratios.
struct TransmissionInput {
  int32_t StartGears = 0;
  int32_t MainRatioCount = 0;
  std::vector<double> MainRatios;
  int32_t AuxRatioCount = 0;
  std::vector<double> AuxRatios;
  int32_t TransmissionKind = 0;  // 1: torque-converter automatic
};

// The three engine data file names that the engine file gives.
struct EngineFiles {
  std::string FuelMapFile;
  std::string FullLoadCurveFile;
  std::string MotoringCurveFile;
};

// One row of the gear table.
struct GearRow {
  double Ratio = 0.0;         // gearbox ratio without the final ratio
  double Efficiency = 0.0;
  double TorqueMargin = 0.0;  // torque reserve an upshift into this gear needs
  double DW = 0.0;            // equivalent mass of the rotating parts [kg]
};

struct TransmissionData {
  int32_t TransmissionKind = 0;  // 1: torque-converter automatic; other: MT or AMT
  int32_t StartGears = 0;        // highest gear to move off in
  int32_t ReengageGear = 0;      // gear taken when drive is re-engaged while rolling
  int32_t MaxUpshiftSpan = 0;    // most gears passed in one ordinary upshift
  int32_t GearCount = 0;
  int32_t MainRatioCount = 0;
  int32_t AuxRatioCount = 0;
  double FinalRatio = 0.0;
  double FinalEfficiency = 0.0;
  std::vector<GearRow> Gears;    // gear g at [g - 1]
};

// The ratio lists of the transmission file, held beside TransmissionData.
struct RatioLists {
  std::vector<double> MainRatios;  // main ratio i at [i - 1]
  std::vector<double> AuxRatios;   // auxiliary ratio j at [j - 1]
  int32_t StartGears = 0;
};

// A torque curve: full-load or motoring torque against engine speed.
struct TorqueCurve {
  int32_t PointCount = 0;
  std::vector<double> Speeds;   // ascending after reading [rpm]
  std::vector<double> Torques;  // [N·m]
};

// Scattered fuel-map points, sorted by speed and, within a speed line, by torque.
struct FuelMap {
  double IdleFuelRate = 0.0;  // [l/h]
  int32_t PointCount = 0;
  std::vector<double> Speeds;     // [rpm]
  std::vector<double> Torques;    // [N·m]
  std::vector<double> FuelRates;  // [l/h]
};

}  // namespace hdfe
