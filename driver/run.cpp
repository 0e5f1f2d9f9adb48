#include "driver/run.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "driver/clock.h"
#include "driver/cycles.h"
#include "driver/outputcheck.h"
#include "driver/runcycle.h"
#include "fuel/cycleresults.h"
#include "fuel/fuelgrid.h"
#include "input/checkvehicle.h"
#include "input/classify.h"
#include "input/readcurves.h"
#include "input/readengtrn.h"
#include "input/readspec.h"
#include "report/results.h"
#include "report/summary.h"
#include "report/trace.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace hdfe {

namespace {

void write_console(std::string_view record) {
  std::cout << record << RecordEnd;
}

// Prompts until the name is not blank; the answer is read free-form from the console.
void prompt_name(std::string_view prompt, RecordInput& console, std::string& name) {
  while (is_blank(name)) {
    std::cout << prompt << std::flush;
    const std::array<ReadTarget, 1> list{text_var(name)};
    if (read_free(console, list) != ReadStatus::Done) {
      std::cout << RecordEnd;
      throw RunStop{{" Console input ended before a file name was given"}, 1};
    }
  }
}

}  // namespace

void read_inputs(RunRecords& r) {
  read_spec(trimmed(r.inputName), r.values, r.spec, r.trn);
  read_transmission(trimmed(r.values.TransmissionFile), r.trn, r.ratios);
  read_engine(trimmed(r.values.EngineFile), r.eng, r.engineFiles);
  classify(r.values, r.spec, r.eng, r.trn, r.ratios);
  read_torque_curve(trimmed(r.engineFiles.FullLoadCurveFile), r.fullLoad);
  read_torque_curve(trimmed(r.engineFiles.MotoringCurveFile), r.motoring);
  read_fuel_map(trimmed(r.engineFiles.FuelMapFile), r.map);
}

namespace {

void calc_cycle_fc(const DriveCycle& cycle, CycleTrace& trace, const RunRecords& r) {
  calc_fuel_rates(trace.Ne, trace.Te, trace.Shift, trace.FC, cycle, r.motoring, r.grid, r.eng);
}

}  // namespace

void simulate(RunRecords& r) {
  r.urban = urban_cycle();
  run_cycle(r.urban, r.urbanTrace, r.spec, r.eng, r.trn, r.fullLoad);
  calc_cycle_fc(r.urban, r.urbanTrace, r);
  idle_stop(r.urbanTrace.Vreal, r.urbanTrace.Ne, r.urbanTrace.FC, r.urban.n, r.values.StopDelay,
           r.values.StartIdleTime, r.values.RestartLead);
  cycle_average(r.urbanTrace.Vreal, r.urbanTrace.FC, r.urban.n, 1, r.urbanResult);
  cycle_average(r.urbanTrace.Vreal, r.urbanTrace.FC, 766, 645, r.midtownResult);

  r.highway = highway_cycle();
  run_cycle(r.highway, r.highwayTrace, r.spec, r.eng, r.trn, r.fullLoad);
  calc_cycle_fc(r.highway, r.highwayTrace, r);
  cycle_average(r.highwayTrace.Vreal, r.highwayTrace.FC, r.highway.n, 1, r.highwayResult);
}

namespace {

// A torque-converter automatic loses 9 % in town and 4 % on the highway.
void apply_transmission_factors(RunRecords& r) {
  if (r.trn.TransmissionKind != 1) return;
  r.highwayResult.FuelEconomy = r.highwayResult.FuelEconomy * 0.96;
  r.urbanResult.FuelEconomy = r.urbanResult.FuelEconomy * 0.91;
  r.midtownResult.FuelEconomy = r.midtownResult.FuelEconomy * 0.91;
}

void report(RunRecords& r) {
  write_console(free_record(std::string(58, '-')));
  apply_transmission_factors(r);
  check_run(r.urban, r.urbanTrace, "URBAN", std::cout);
  check_run(r.highway, r.highwayTrace, "HIGHWAY", std::cout);
  write_console(free_record(""));
  const std::string output(trimmed(r.outputName));
  write_console(" OUTPUT FILE : " + output);
  check_output(r);
  write_info(output, local_now());
  write_results(output, trimmed(r.inputName), r.values, r.spec, r.trn, r.urbanResult, r.highwayResult,
           r.midtownResult);
  if (r.values.TraceFlag == 1) {
    write_trace(output, r.urban, r.urbanTrace, "URBAN");
    write_trace(output, r.highway, r.highwayTrace, "HIGHWAY");
  }
}

void run_program(int argc, char** argv) {
  RunRecords r;
  if (argc > 1) r.inputName = text_field(argv[1]);
  if (argc > 2) r.outputName = text_field(argv[2]);
  RecordInput console;
  console.stream = &std::cin;
  prompt_name("TYPE FILENAME FOR INPUT : ", console, r.inputName);
  prompt_name("TYPE FILENAME FOR OUTPUT : ", console, r.outputName);
  read_inputs(r);
  check_vehicle(trimmed(r.inputName), r.values, r.spec, r.eng, r.engineFiles, r.trn, r.ratios, r.fullLoad,
               r.motoring, r.map);
  build_fuel_grid(r.grid, r.map, r.motoring);
  print_vehicle(r.values, r.spec, r.eng, r.trn, std::cout);
  simulate(r);
  report(r);
  write_console(free_record(" complete."));
}

}  // namespace

std::string date_text(const std::tm& t) {
  static constexpr std::array<const char*, 7> days{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", days[(t.tm_wday % 7 + 7) % 7],
                months[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  return text;
}

void write_info(const std::string& outputName, const std::tm& now) {
  const std::string name = outputName + "_info.txt";
  std::ostringstream body;
  body << free_record("Version 20221014") << RecordEnd << free_record(date_text(now)) << RecordEnd;
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << body.str();
  file.close();
  if (!file) throw RunStop{{" Cannot write information file [ " + name + " ]"}, 1};
}

int run_hdfe(int argc, char** argv) {
  try {
    run_program(argc, argv);
  } catch (const RunStop& stop) {
    std::cout.flush();
    for (const std::string& line : stop.lines) std::cerr << line << RecordEnd;
    std::cerr.flush();
    return stop.status;
  }
  std::cout.flush();
  return 0;
}

}  // namespace hdfe
