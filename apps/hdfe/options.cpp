#include "options.h"

#include <charconv>

#include "hdfe/error.h"

namespace hdfe {

namespace {

[[noreturn]] void usage_error(const std::string& message) {
  throw Error(ErrorKind::Usage, message);
}

bool is_option(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  const auto value = [&](std::size_t& k) -> std::string {
    if (k + 1 >= args.size()) usage_error("option " + args[k] + " needs a value");
    return args[++k];
  };
  bool options_end = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_end || !is_option(arg)) {
      c.names.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      c.help = true;
    } else if (arg == "--version") {
      c.version = true;
    } else if (arg == "--summary") {
      c.summary = true;
    } else if (arg == "--json") {
      c.json = value(k);
    } else if (arg == "--trace-csv") {
      c.trace_csv = value(k);
    } else if (arg == "--check") {
      if (c.check) usage_error("--check takes one spec file: " + *c.check + " and " + value(k));
      c.check = value(k);
    } else if (arg == "--batch") {
      c.batch = true;
      if (k + 1 < args.size() && !is_option(args[k + 1])) c.manifest = args[++k];
    } else if (arg == "--sweep") {
      // The spec file, then NAME=VALUES assignments up to the next option.
      c.batch = true;
      while (k + 1 < args.size() && !is_option(args[k + 1])) {
        const std::string& next = args[++k];
        if (next.find('=') != std::string::npos) {
          c.sweeps.push_back(next);
        } else if (!c.sweep_spec) {
          c.sweep_spec = next;
        } else {
          usage_error("--sweep takes one spec file: " + *c.sweep_spec + " and " + next);
        }
      }
      if (c.sweeps.empty()) usage_error("--sweep needs at least one NAME=VALUES");
    } else if (arg == "--jobs") {
      const std::string text = value(k);
      int jobs = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), jobs);
      if (ec != std::errc() || end != text.data() + text.size() || jobs < 1) {
        usage_error("--jobs takes a whole number of 1 or more, not " + text);
      }
      c.jobs = jobs;
    } else if (arg == "--out") {
      c.out_dir = value(k);
    } else if (arg == "--summary-csv") {
      c.summary_csv = value(k);
    } else {
      usage_error("unknown option " + arg);
    }
  }
  if (c.names.size() > 2) usage_error("more than two file names: " + c.names[2]);
  if (c.batch && !c.manifest && !c.sweep_spec) usage_error("--batch needs a manifest file or --sweep SPEC");
  if (c.batch && c.manifest && c.sweep_spec) usage_error("--batch takes a manifest or --sweep, not both");
  if (!c.batch && (c.jobs || c.out_dir || c.summary_csv)) usage_error("--jobs, --out and --summary-csv go with --batch");
  if (c.check && (!c.names.empty() || c.summary || c.json || c.trace_csv || c.batch)) {
    usage_error("--check SPEC runs alone: without file names, --summary, --json, --trace-csv or --batch");
  }
  if (c.json && c.trace_csv && *c.json == "-" && *c.trace_csv == "-") {
    usage_error("--json and --trace-csv cannot both write to standard output");
  }
  return c;
}

std::string usage_text() {
  return R"(Usage: hdfe [OPTIONS] [SPEC [OUTPUT]]
       hdfe --check SPEC
       hdfe --batch MANIFEST [--jobs N] [--out DIR] [--summary-csv FILE]
       hdfe --batch --sweep SPEC NAME=START:STOP:STEP|NAME=v1,v2,... [...] [--jobs N] [--out DIR]

Computes the fuel economy (km/l) of a heavy-duty vehicle over the URBAN and HIGHWAY cycles.
SPEC is the vehicle's spec file, OUTPUT the results file to write (OUTPUT_info.txt beside it).
A name left out is asked for on the console. Names inside the input files are taken from the
working directory.

Options:
  -h, --help            print this help and exit
  --version             print the program version and the cycle-table version, and exit
  --summary             after the run, print the four economies, average speeds and the
                        cycle-following metrics as plain text
  --json FILE           write every result of the run as JSON to FILE (- for standard output)
  --trace-csv FILE      write the per-second trace of both cycles as CSV to FILE (- for
                        standard output)
  --check SPEC          read and check every input file without running; report every problem
                        found as file:line: message
  --batch MANIFEST      run every row of a CSV manifest (columns: spec, id, spec-file values)
  --sweep SPEC NAME=... run the product of the values given for each NAME as a batch
  --jobs N              worker threads for a batch (default: the number of cores; at most
                        4 per core and one per row)
  --out DIR             write each batch row's results file and JSON into DIR
  --summary-csv FILE    the batch summary table (default DIR/batch_summary.csv, or standard
                        output without --out; - for standard output)

Exit status:
  0  success (for --check: no errors, warnings allowed)
  1  an input file, the run or an output file failed (for --batch: any row failed)
  2  the command line is not understood
)";
}

}  // namespace hdfe
