// The program: names, reading, simulating both cycles, evaluating and reporting.
#pragma once
#include <ctime>
#include <string>

#include "records/driver.h"
#include "records/fuel.h"
#include "records/input.h"
#include "textio/textfield.h"

namespace hdfe {

// Everything the run reads, derives and produces.
struct RunRecords {
  std::string inputName = text_field("");
  std::string outputName = text_field("");
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  EngineFiles engineFiles;
  TransmissionData trn;
  RatioLists ratios;
  TorqueCurve fullLoad;
  TorqueCurve motoring;
  FuelMap map;
  FuelGrid grid;
  DriveCycle urban;
  DriveCycle highway;
  CycleTrace urbanTrace;
  CycleTrace highwayTrace;
  CycleResult urbanResult;
  CycleResult midtownResult;
  CycleResult highwayResult;
};

// Reads every input file and classifies the vehicle.
void read_inputs(RunRecords& r);

// Simulates both cycles on the built fuel grid, gives every step its fuel rate, applies
// idle stop to URBAN and reduces the runs to URBAN, MID-TOWN and HIGHWAY results.
void simulate(RunRecords& r);

// Runs the whole program once; returns the exit status.
int run_hdfe(int argc, char** argv);

// The 24-character date text of the information file, e.g. "Mon Dec 07 00:05:26 2026".
std::string date_text(const std::tm& t);

// Writes the information file: the version record and the date record.
void write_info(const std::string& outputName, const std::tm& now);

}  // namespace hdfe
