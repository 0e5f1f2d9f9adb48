#include "program.h"

#include <array>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

#include "hdfe/output.h"
#include "batchcommand.h"
#include "hdfe/batch.h"
#include "hdfe/cycle.h"
#include "hdfe/route.h"
#include "hdfe/check.h"
#include "clock.h"
#include "console.h"
#include "errorrecords.h"
#include "options.h"
#include "summary_text.h"
#include "outputcheck.h"
#include "hdfe/hdfe.h"
#include "hdfe/report.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

void write_record(Console& console, std::string_view record) { console << record << RecordEnd; }

// Prompts until the name is not blank; the answer is read free-form from standard input.
// `what` names the name in the stop for an answer longer than the field.
void prompt_name(Console& console, std::string_view prompt, std::string_view what, RecordInput& input,
                 std::optional<StandardInputStream>& standardInput, std::string& name) {
  while (is_blank(name)) {
    console << prompt;
    console.flush();
    if (!standardInput) {
      standardInput.emplace();
      input.stream = &standardInput->stream();
    }
    const std::array<ReadTarget, 1> list{text_var(name)};
    const ReadStatus status = read_free(input, list);
    if (status == ReadStatus::TooLong) {
      console << RecordEnd;
      throw name_too_long_stop(what, " typed at the console");
    }
    if (status != ReadStatus::Done) {
      console << RecordEnd;
      throw Error(ErrorKind::Console, "Console input ended before a file name was given");
    }
  }
}

// The command-line argument as a name field; a name the field would cut is refused.
std::string argument_name(const std::string& argument, std::string_view what) {
  if (trimmed(argument).size() > TextFieldLength) throw name_too_long_stop(what, " on the command line");
  return text_field(argument);
}

// The console lines of a run: convergence warnings come while the cycles are driven, the
// run-check findings after both.
void report_run(Console& console, const Result& result) {
  for (const RunWarning& warning : result.warnings) {
    if (warning.kind == RunWarning::Kind::SpeedSearchExhausted) write_record(console, free_record(warning.message));
  }
  write_record(console, free_record(std::string(58, '-')));
  for (const RunFinding& finding : result.findings) {
    if (finding.kind == RunFinding::Kind::OverSpeed) {
      write_record(console, free_record("error: V_real > V_target"));
    } else {
      write_record(console, free_record("error: te > 100% ", finding.second));
    }
  }
  write_record(console, free_record(""));
}

// Where the console text goes: standard output, or standard error when standard output
// carries the JSON or the CSV.
std::FILE* console_file(const CommandLine& c) {
  const bool taken = (c.json && *c.json == "-") || (c.trace_csv && *c.trace_csv == "-");
  return taken ? stderr : stdout;
}


// The vehicle of the spec file with the --set values: loaded again from the edited values,
// as a batch row loads its edited spec values, so that a file name set is read and the
// warnings are those of the values run.
Vehicle load_with_sets(const std::string& specName, const LoadOptions& load, const std::vector<std::string>& sets) {
  Vehicle vehicle = load_vehicle(specName, load);
  if (sets.empty()) return vehicle;
  SpecValues values = vehicle.values;
  for (const std::string& assignment : sets) {
    const auto [name, text] = set_assignment(assignment);
    apply_override(values, name, text);
  }
  return load_vehicle(values, specName, load);
}

void run_program(const CommandLine& c) {
  Console console(console_file(c));
  // A run with a user's cycle or an engineering value has no results file (the command line
  // refuses its name): its figures go to the JSON, the trace CSV and the summary.
  const bool engineering = engineering_run(c);
  std::string inputName = argument_name(!c.names.empty() ? c.names[0] : "", "the input file name");
  std::string outputName = argument_name(c.names.size() > 1 ? c.names[1] : "", "the output file name");
  // Standard input is set up as a stream only when a name is to be typed.
  RecordInput input;
  std::optional<StandardInputStream> standardInput;
  prompt_name(console, "TYPE FILENAME FOR INPUT : ", "the input file name", input, standardInput, inputName);
  if (!engineering) {
    prompt_name(console, "TYPE FILENAME FOR OUTPUT : ", "the output file name", input, standardInput, outputName);
  }
  const std::string specName(trimmed(inputName));
  // Names inside the input files are taken from the working directory, as written.
  LoadOptions load;
  load.base = std::filesystem::path();
  load.digests = c.json.has_value();
  const Vehicle vehicle = load_with_sets(specName, load, c.sets);
  // Every cycle is read before anything is written: a bad cycle file stops the run here.
  std::vector<Cycle> cycles;
  std::vector<std::string> cycleFiles;
  for (std::size_t k = 0; k < c.cycles.size(); ++k) {
    cycles.push_back(find_cycle(c.cycles[k]));
    if (find_library_cycle(c.cycles[k]) == nullptr) cycleFiles.push_back(c.cycles[k]);
    // The figures, traces and warnings of a cycle go by its name.
    for (std::size_t j = 0; j < k; ++j) {
      if (cycles[j].name == cycles[k].name) {
        throw Error(ErrorKind::Usage, "--cycle " + c.cycles[j] + " and --cycle " + c.cycles[k] + " are both named " +
                                          cycles[k].name + ": their figures could not be told apart");
      }
    }
  }
  std::vector<Route> routes;
  RouteReadOptions routeReading;
  routeReading.speed_km_per_h = c.route_speed_km_per_h;
  for (std::size_t k = 0; k < c.routes.size(); ++k) {
    routes.push_back(read_route_file(c.routes[k], routeReading));
    cycleFiles.push_back(c.routes[k]);
    for (std::size_t j = 0; j < k; ++j) {
      if (routes[j].name == routes[k].name) {
        throw Error(ErrorKind::Usage, "--route " + c.routes[j] + " and --route " + c.routes[k] + " are both named " +
                                          routes[k].name + ": their figures could not be told apart");
      }
    }
  }
  // The outputs of the options may replace no input and no other output: refused before the run.
  const std::string output(trimmed(outputName));
  NamedOutputs optionOutputs;
  if (c.json && *c.json != "-") optionOutputs.emplace_back(*c.json, "the --json output");
  if (c.trace_csv && *c.trace_csv != "-") optionOutputs.emplace_back(*c.trace_csv, "the --trace-csv output");
  check_option_outputs(optionOutputs, output, vehicle, cycleFiles);
  RunOptions options;
  options.traces = (!engineering && vehicle.values.traces == 1) || c.trace_csv.has_value();
  options.energy_audit = c.json.has_value() || c.trace_csv.has_value();  // the outputs that show it
  const Result result = !routes.empty()   ? run_routes(vehicle, routes, options)
                        : !cycles.empty() ? run_cycles(vehicle, cycles, options)
                                          : run(vehicle, options);
  // Warnings about the inputs (and resampled cycles) go to a terminal only, so that
  // redirected outputs stay as they always were; --summary and --json carry them as well.
  if (::isatty(STDERR_FILENO) == 1) {
    Console errors(stderr);
    for (const RunWarning& warning : result.warnings) {
      if (warning.kind == RunWarning::Kind::InputWarning || warning.kind == RunWarning::Kind::CycleResampled ||
          warning.kind == RunWarning::Kind::EngineOverSpeed) {
        errors << "warning: " << warning.message << '\n';
      }
    }
    errors.flush();
  }
  const Classification& k = result.classification;
  console << vehicle_summary(k.values, k.spec, k.engine, k.transmission);
  report_run(console, result);
  if (!engineering) {
    write_record(console, " OUTPUT FILE : " + output);
    check_output(output, vehicle);
  }
  // Every file is built whole, then all are replaced together, the results file last.
  std::vector<OutputFile> files;
  if (c.json && *c.json != "-") files.push_back({*c.json, result_json(vehicle, result)});
  if (c.trace_csv && *c.trace_csv != "-") files.push_back({*c.trace_csv, trace_csv(result)});
  // The outputs of the options are checked again now that the run is over; check_output
  // has just checked the information and results files.
  for (const OutputFile& file : files) check_replaceable(file.name, file.kind);
  if (!engineering) {
    files.push_back({info_name(output), info_text(local_now()), "information file"});
    files.push_back({output, results_file(result, specName)});
  }
  commit_files(files);
  if (c.json && *c.json == "-") write_stdout(result_json(vehicle, result));
  if (c.trace_csv && *c.trace_csv == "-") write_stdout(trace_csv(result));
  write_record(console, free_record(" complete."));
  // The summary is an output the caller asked for: a console that lost it fails the run. An
  // engineering run asked for no other output prints it, as it writes no results file.
  const bool summary = c.summary || (engineering && !c.json && !c.trace_csv);
  if (summary && !(console << summary_text(result)).flush()) cannot_write("-");
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

std::string info_name(std::string_view outputName) { return std::string(outputName) + "_info.txt"; }

void write_info(const std::string& outputName, const std::tm& now) {
  const std::string name = info_name(outputName);
  check_replaceable(name, "information file");
  const std::array<OutputFile, 1> file{OutputFile{name, info_text(now), "information file"}};
  commit_files(file);
}

int run_hdfe(int argc, char** argv) {
  CommandLine command;
  try {
    command = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const Error& error) {
    return report_error(error);
  }
  if (command.help) {
    (Console(stdout) << usage_text()).flush();
    return ExitOk;
  }
  if (command.version) {
    (Console(stdout) << "hdfe " << ProgramVersion << "\ncycle tables " << CycleTablesVersion << "\n").flush();
    return ExitOk;
  }
  if (command.check) {
    StandardOutputStream out;
    return run_check(*command.check, out.stream());
  }
  if (command.list_cycles) {
    try {
      const std::string list = cycle_list_text();
      write_stdout(list);
    } catch (const Error& error) {
      return report_error(error);
    }
    return ExitOk;
  }
  if (command.batch) return run_batch_command(command);
  try {
    run_program(command);
  } catch (const Error& error) {
    return report_error(error);
  }
  Console(stdout).flush();
  return ExitOk;
}

}  // namespace hdfe
