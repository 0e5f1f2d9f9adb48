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

namespace {

void WRITECONSOLE(std::string_view record) {
  std::cout << record << RecordEnd;
}

// Prompts until the name is not blank; the answer is read free-form from the console.
void PROMPTNAME(std::string_view prompt, RecordInput& console, std::string& name) {
  while (ISBLANK(name)) {
    std::cout << prompt << std::flush;
    const std::array<ReadTarget, 1> list{TEXTVAR(name)};
    if (READFREE(console, list) != ReadStatus::Done) {
      std::cout << RecordEnd;
      throw RunStop{{" Console input ended before a file name was given"}, 1};
    }
  }
}

}  // namespace

void READINPUTS(RunRecords& r) {
  READSPEC(TRIMMED(r.inputName), r.values, r.spec, r.trn);
  READTRN(TRIMMED(r.values.TransmissionFile), r.trn, r.ratios);
  READENG(TRIMMED(r.values.EngineFile), r.eng, r.engineFiles);
  CLASSIFY(r.values, r.spec, r.eng, r.trn, r.ratios);
  READTRQ(TRIMMED(r.engineFiles.FullLoadCurveFile), r.fullLoad);
  READTRQ(TRIMMED(r.engineFiles.MotoringCurveFile), r.motoring);
  READMAP(TRIMMED(r.engineFiles.FuelMapFile), r.map);
}

namespace {

void CALCCYCLEFC(const DriveCycle& cycle, CycleTrace& trace, const RunRecords& r) {
  CALCFC(trace.Ne, trace.Te, trace.Shift, trace.FC, cycle, r.motoring, r.grid, r.eng);
}

}  // namespace

void SIMULATE(RunRecords& r) {
  r.urban = URBANCYCLE();
  RUNCYCLE(r.urban, r.urbanTrace, r.spec, r.eng, r.trn, r.fullLoad);
  CALCCYCLEFC(r.urban, r.urbanTrace, r);
  IDLESTOP(r.urbanTrace.Vreal, r.urbanTrace.Ne, r.urbanTrace.FC, r.urban.n, r.values.StopDelay,
           r.values.StartIdleTime, r.values.RestartLead);
  CYCLEAVG(r.urbanTrace.Vreal, r.urbanTrace.FC, r.urban.n, 1, r.urbanResult);
  CYCLEAVG(r.urbanTrace.Vreal, r.urbanTrace.FC, 766, 645, r.midtownResult);

  r.highway = HIGHWAYCYCLE();
  RUNCYCLE(r.highway, r.highwayTrace, r.spec, r.eng, r.trn, r.fullLoad);
  CALCCYCLEFC(r.highway, r.highwayTrace, r);
  CYCLEAVG(r.highwayTrace.Vreal, r.highwayTrace.FC, r.highway.n, 1, r.highwayResult);
}

namespace {

// A torque-converter automatic loses 9 % in town and 4 % on the highway.
void APPLYTRANSMISSIONFACTORS(RunRecords& r) {
  if (r.trn.TransmissionKind != 1) return;
  r.highwayResult.FuelEconomy = r.highwayResult.FuelEconomy * 0.96;
  r.urbanResult.FuelEconomy = r.urbanResult.FuelEconomy * 0.91;
  r.midtownResult.FuelEconomy = r.midtownResult.FuelEconomy * 0.91;
}

void REPORT(RunRecords& r) {
  WRITECONSOLE(FREEREC(std::string(58, '-')));
  APPLYTRANSMISSIONFACTORS(r);
  CHECKRUN(r.urban, r.urbanTrace, "URBAN", std::cout);
  CHECKRUN(r.highway, r.highwayTrace, "HIGHWAY", std::cout);
  WRITECONSOLE(FREEREC(""));
  const std::string output(TRIMMED(r.outputName));
  WRITECONSOLE(" OUTPUT FILE : " + output);
  CHECKOUTPUT(r);
  WRITEINFO(output, LOCALNOW());
  WRITERES(output, TRIMMED(r.inputName), r.values, r.spec, r.trn, r.urbanResult, r.highwayResult,
           r.midtownResult);
  if (r.values.TraceFlag == 1) {
    WRITETRC(output, r.urban, r.urbanTrace, "URBAN");
    WRITETRC(output, r.highway, r.highwayTrace, "HIGHWAY");
  }
}

void RUN(int argc, char** argv) {
  RunRecords r;
  if (argc > 1) r.inputName = TEXTFIELD(argv[1]);
  if (argc > 2) r.outputName = TEXTFIELD(argv[2]);
  RecordInput console;
  console.stream = &std::cin;
  PROMPTNAME("TYPE FILENAME FOR INPUT : ", console, r.inputName);
  PROMPTNAME("TYPE FILENAME FOR OUTPUT : ", console, r.outputName);
  READINPUTS(r);
  CHECKVEHICLE(TRIMMED(r.inputName), r.values, r.spec, r.eng, r.engineFiles, r.trn, r.ratios, r.fullLoad,
               r.motoring, r.map);
  FCGRID(r.grid, r.map, r.motoring);
  PRINTVEH(r.values, r.spec, r.eng, r.trn, std::cout);
  SIMULATE(r);
  REPORT(r);
  WRITECONSOLE(FREEREC(" complete."));
}

}  // namespace

std::string DATETEXT(const std::tm& t) {
  static constexpr std::array<const char*, 7> days{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", days[(t.tm_wday % 7 + 7) % 7],
                months[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  return text;
}

void WRITEINFO(const std::string& outputName, const std::tm& now) {
  const std::string name = outputName + "_info.txt";
  std::ostringstream body;
  body << FREEREC("Version 20221014") << RecordEnd << FREEREC(DATETEXT(now)) << RecordEnd;
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << body.str();
  file.close();
  if (!file) throw RunStop{{" Cannot write information file [ " + name + " ]"}, 1};
}

int RUNHDFE(int argc, char** argv) {
  try {
    RUN(argc, argv);
  } catch (const RunStop& stop) {
    std::cout.flush();
    for (const std::string& line : stop.lines) std::cerr << line << RecordEnd;
    std::cerr.flush();
    return stop.status;
  }
  std::cout.flush();
  return 0;
}
