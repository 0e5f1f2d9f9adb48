#include "driver/run.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

#include "driver/clock.h"
#include "driver/outputcheck.h"
#include "hdfe/hdfe.h"
#include "driver/outputfile.h"
#include "report/results.h"
#include "report/summary.h"
#include "report/trace.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace hdfe {

namespace {

void write_console(std::string_view record) { std::cout << record << RecordEnd; }

// Prompts until the name is not blank; the answer is read free-form from the console.
void prompt_name(std::string_view prompt, RecordInput& console, std::string& name) {
  while (is_blank(name)) {
    std::cout << prompt << std::flush;
    const std::array<ReadTarget, 1> list{text_var(name)};
    if (read_free(console, list) != ReadStatus::Done) {
      std::cout << RecordEnd;
      throw Error({" Console input ended before a file name was given"}, 1, ErrorKind::Console);
    }
  }
}

// The console lines of a run: convergence warnings come while the cycles are driven, the
// run-check findings after both.
void report_run(const Result& result) {
  for (const RunWarning& warning : result.warnings) {
    if (warning.kind == RunWarning::Kind::SpeedSearchExhausted) write_console(free_record(warning.message));
  }
  write_console(free_record(std::string(58, '-')));
  for (const RunFinding& finding : result.findings) {
    if (finding.kind == RunFinding::Kind::OverSpeed) {
      write_console(free_record("error: V_real > V_target"));
    } else {
      write_console(free_record("error: te > 100% ", finding.second));
    }
  }
  write_console(free_record(""));
}

// The results file with its trace blocks when the spec asks for them.
std::string results_file(const Result& result, std::string_view specName) {
  std::string file = results_text(result, specName);
  if (result.classification.values.TraceFlag == 1) {
    for (const CycleRun& run : result.traces) append_trace(file, run.cycle, run.trace, run.name);
  }
  return file;
}

void run_program(int argc, char** argv) {
  std::string inputName = text_field(argc > 1 ? argv[1] : "");
  std::string outputName = text_field(argc > 2 ? argv[2] : "");
  RecordInput console;
  console.stream = &std::cin;
  prompt_name("TYPE FILENAME FOR INPUT : ", console, inputName);
  prompt_name("TYPE FILENAME FOR OUTPUT : ", console, outputName);
  const std::string specName(trimmed(inputName));
  // Names inside the input files are taken from the working directory, as written.
  const Vehicle vehicle = load_vehicle(specName, LoadOptions{std::filesystem::path()});
  RunOptions options;
  options.traces = vehicle.values.TraceFlag == 1;
  const Result result = run(vehicle, options);
  const Classification& c = result.classification;
  std::cout << vehicle_summary(c.values, c.spec, c.engine, c.transmission);
  report_run(result);
  const std::string output(trimmed(outputName));
  write_console(" OUTPUT FILE : " + output);
  check_output(output, vehicle);
  write_info(output, local_now());
  write_output(output, results_file(result, specName), WriteMode::Replace);
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

std::string info_text(const std::tm& now) {
  std::string body = free_record("Version " + std::string(ProgramVersion));
  body += RecordEnd;
  body += free_record(date_text(now));
  body += RecordEnd;
  return body;
}

void write_info(const std::string& outputName, const std::tm& now) {
  const std::string name = outputName + "_info.txt";
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << info_text(now);
  file.close();
  if (!file) throw Error({" Cannot write information file [ " + name + " ]"}, 1, ErrorKind::CannotWrite, name);
}

int run_hdfe(int argc, char** argv) {
  try {
    run_program(argc, argv);
  } catch (const Error& stop) {
    std::cout.flush();
    for (const std::string& line : stop.lines()) std::cerr << line << RecordEnd;
    std::cerr.flush();
    return stop.status();
  }
  std::cout.flush();
  return 0;
}

}  // namespace hdfe
