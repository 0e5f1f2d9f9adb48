// The options of the command line: usage, exit statuses, JSON, CSV, the summary and --check.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "tests/e2e/run_case.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const char* const ExampleNames[] = {"tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6", "bus_BR4_220kW_AT6",
                                "lighttruck_T3_130kW_MT6"};

fs::path Example(const char* name) { return fs::path(HDFE_SOURCE_DIR) / "examples" / name; }

CaseRun RunHdfe(const std::vector<std::string>& args, const fs::path& dir = Example("truck_T8_175kW_MT6")) {
  return RunCase(HDFE_BINARY, dir, args);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Cli, HelpVersionAndUsageErrors) {
  for (const char* help : {"--help", "-h"}) {
    const CaseRun run = RunHdfe({help});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(Contains(run.stdoutText, "Usage: hdfe")) << run.stdoutText;
    EXPECT_TRUE(Contains(run.stdoutText, "Exit status:"));
    EXPECT_TRUE(Contains(run.stdoutText, "--trace-csv"));
    for (const char* option : {"--cycle NAME|FILE", "--set NAME=VALUE", "--list-cycles"}) {
      EXPECT_TRUE(Contains(run.stdoutText, option)) << option;
    }
  }
  const CaseRun version = RunHdfe({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(Contains(version.stdoutText, "hdfe 20221014\ncycle tables ")) << version.stdoutText;

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case usage[] = {{{"--frobnicate"}, "unknown option --frobnicate"},
                        {{"a", "b", "c"}, "more than two file names: c"},
                        {{"spec.txt", "out.txt", "--json"}, "option --json needs a value"},
                        {{"--jobs", "2"}, "go with --batch"},
                        {{"--batch", "--jobs", "0", "m.csv"}, "--jobs takes a whole number"},
                        {{"spec.txt", "out.txt", "--json", "-", "--trace-csv", "-"}, "cannot both write to standard output"},
                        {{"--check", "spec.txt", "--check", "other.txt"}, "--check takes one spec file"},
                        {{"--check", "spec.txt", "--json", "x.json"}, "--check SPEC runs alone"},
                        {{"--check", "spec.txt", "--batch", "m.csv"}, "--check SPEC runs alone"},
                        {{"--check", "spec.txt", "spec.txt", "out.txt"}, "--check SPEC runs alone"},
                        {{"--check", "spec.txt", "--cycle", "hd-udds"}, "--check SPEC runs alone"},
                        {{"--list-cycles", "spec.txt"}, "--list-cycles runs alone"},
                        {{"--list-cycles", "--set", "Kf1=1"}, "--list-cycles runs alone"},
                        // A run that is not the standard vehicle on the built-in cycles has no results file.
                        {{"spec.txt", "out.txt", "--cycle", "hd-udds"}, "results file out.txt describes the standard"},
                        {{"spec.txt", "out.txt", "--set", "CdA=5.5"}, "use --json, --trace-csv or --summary"},
                        {{"spec.txt", "--cycle"}, "option --cycle needs a value"},
                        {{"spec.txt", "--set", "FinalRatio"}, "--set takes NAME=VALUE, not FinalRatio"},
                        {{"spec.txt", "--set", "final_ratio=3"}, "no value is named final_ratio (the values: VehicleName"},
                        {{"spec.txt", "--set", "FinalRatio=3,4"}, "--set FinalRatio=3,4: Failed to read FinalRatio"},
                        {{"spec.txt", "--set", "TestMass=heavy"}, "Failed to read TestMass value [ heavy ]"},
                        {{"spec.txt", "--set", "Kf1=1", "--set", "Kf1=2"}, "--set: Kf1 is given twice"},
                        {{"--batch", "m.csv", "--set", "Kf1=1"}, "--set goes with a single run"}};
  for (const Case& c : usage) {
    const CaseRun run = RunHdfe(c.args);
    EXPECT_EQ(run.exitStatus, 2) << c.message;
    EXPECT_TRUE(Contains(run.stderrText, c.message)) << run.stderrText;
    EXPECT_EQ(run.stdoutText, "");
    EXPECT_EQ(FolderFiles(run.dir), run.before);
  }
}

// The JSON's figures are the results file's, on every example; the trace CSV holds every
// second and its cumulative fuel is the cycle's fuel.
TEST(Cli, JsonAndTraceCsvAgreeWithTheResultsFile) {
  for (const char* name : ExampleNames) {
    SCOPED_TRACE(name);
    const CaseRun run = RunHdfe({"spec.txt", "result.txt", "--json", "-", "--trace-csv", "trace.csv"}, Example(name));
    ASSERT_EQ(run.exitStatus, 0) << run.stderrText;
    // Standard output holds the JSON alone; the console text goes to standard error.
    const nlohmann::json doc = nlohmann::json::parse(run.stdoutText);
    EXPECT_TRUE(Contains(run.stderrText, " OUTPUT FILE : result.txt"));
    EXPECT_EQ(doc["program"]["version"], "20221014");
    ASSERT_EQ(doc["inputs"].size(), 6u);
    EXPECT_EQ(doc["inputs"][0]["sha256"].get<std::string>().size(), 64u);
    const std::string results = ReadFileBytes(run.dir / "result.txt");
    std::istringstream lines(results);
    std::vector<std::string> fields;
    for (std::string line; std::getline(lines, line) && fields.size() < 9;) {
      const auto at = line.find("FC(km/l)\t");
      if (at != std::string::npos) fields.push_back(line.substr(at + 9, 8));
    }
    const auto f84 = [](double v) {
      char text[32];
      std::snprintf(text, sizeof text, "%8.4f", v);
      std::string s = text;
      if (s.find(" 0.") != std::string::npos) s.replace(s.find(" 0."), 3, "  .");  // F8.4 drops the zero
      return s;
    };
    const auto& c = doc["cycles"];
    ASSERT_EQ(c.size(), 3u);
    const std::vector<std::string> fromJson = {
        f84(c[0]["fuel_economy_before_transient_km_per_l"]), f84(c[0]["fuel_economy_after_transient_km_per_l"]),
        f84(c[0]["fuel_economy_km_per_l"]),  f84(c[1]["fuel_economy_before_transient_km_per_l"]),
        f84(c[1]["fuel_economy_km_per_l"]),  f84(doc["average_fuel_economy_km_per_l"]),
        f84(c[2]["fuel_economy_before_transient_km_per_l"]), f84(c[2]["fuel_economy_after_transient_km_per_l"]),
        f84(c[2]["fuel_economy_km_per_l"])};
    EXPECT_EQ(fromJson, fields);

    std::ifstream csv(run.dir / "trace.csv");
    std::string header, row, lastUrban, last;
    std::getline(csv, header);
    EXPECT_EQ(header.rfind("cycle,second,target_speed_km_per_h,speed_km_per_h,gradient_percent,distance_km,gear,", 0), 0u);
    int rows = 0;
    while (std::getline(csv, row)) {
      ++rows;
      if (row.rfind("URBAN,", 0) == 0) lastUrban = row;
      last = row;
    }
    EXPECT_EQ(rows, 4950);
    const auto cumulative = [](const std::string& r) { return std::stod(r.substr(r.rfind(',') + 1)); };
    EXPECT_EQ(cumulative(lastUrban), c[0]["fuel_l"].get<double>());
    EXPECT_EQ(cumulative(last), c[1]["fuel_l"].get<double>());
  }
}

TEST(Cli, SummaryFollowsTheSpecifiedConsoleOutput) {
  const CaseRun run = RunHdfe({"spec.txt", "result.txt", "--summary"});
  ASSERT_EQ(run.exitStatus, 0);
  const std::string approved =
      ReadFileBytes(fs::path(HDFE_SOURCE_DIR) / "tests/e2e/approved/truck_T8_175kW_MT6/stdout.txt");
  ASSERT_EQ(run.stdoutText.substr(0, approved.size()), approved);
  const std::string summary = run.stdoutText.substr(approved.size());
  EXPECT_TRUE(Contains(summary, "  URBAN               5.9115     27.3")) << summary;
  EXPECT_TRUE(Contains(summary, "  AVERAGE             6.1940")) << summary;
  EXPECT_TRUE(Contains(summary, "CYCLE FOLLOWING"));
  EXPECT_FALSE(Contains(summary, "WARNING"));
}

// The trace CSV's rows of each cycle, by the cycle column.
std::map<std::string, int> TraceRows(const std::string& csv) {
  std::map<std::string, int> rows;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) ++rows[line.substr(0, line.find(','))];
  return rows;
}

// A run over chosen cycles writes the JSON, the trace CSV and the summary of those cycles and
// no results or information file; the library's URBAN gives the specified run's URBAN fuel.
TEST(Cli, EngineeringRunsWriteTheirOutputsButNoResultsFile) {
  const CaseRun standard = RunHdfe({"spec.txt", "r.txt", "--json", "-"});
  ASSERT_EQ(standard.exitStatus, 0);
  const nlohmann::json specified = nlohmann::json::parse(standard.stdoutText);

  const CaseRun run = RunHdfe({"spec.txt", "--cycle", "hd-udds", "--cycle", "urban", "--json", "r.json", "--trace-csv",
                               "t.csv", "--summary"});
  ASSERT_EQ(run.exitStatus, 0) << run.stderrText;
  std::map<std::string, std::string> files = FolderFiles(run.dir);
  for (const auto& [name, bytes] : run.before) files.erase(name);
  ASSERT_EQ(files.size(), 2u);  // r.json and t.csv alone
  const nlohmann::json doc = nlohmann::json::parse(files.at("r.json"));
  ASSERT_EQ(doc["cycles"].size(), 2u);
  EXPECT_EQ(doc["cycles"][0]["name"], "hd-udds");
  EXPECT_EQ(doc["cycles"][1]["name"], "URBAN");
  EXPECT_EQ(doc["cycles"][1]["fuel_l"].get<double>(), specified["cycles"][0]["fuel_l"].get<double>());
  EXPECT_EQ(doc["cycles"][1]["kf"].get<double>(), 1.0);
  EXPECT_EQ(TraceRows(files.at("t.csv")), (std::map<std::string, int>{{"hd-udds", 1060}, {"URBAN", 1830}}));
  EXPECT_FALSE(Contains(run.stdoutText, "OUTPUT FILE"));
  EXPECT_TRUE(Contains(run.stdoutText, " Category      : T8"));
  EXPECT_TRUE(Contains(run.stdoutText, "  complete.\r\n\nRESULTS "));
  EXPECT_TRUE(Contains(run.stdoutText, "l/100 km  g CO2/km  g CO2/t.km"));
  EXPECT_TRUE(Contains(run.stdoutText, "\n  hd-udds  ")) << run.stdoutText;
  EXPECT_TRUE(Contains(run.stdoutText, "\nCYCLE FOLLOWING    below target")) << run.stdoutText;

  // Without an output asked for, the summary is printed; --set changes the run.
  const CaseRun plain = RunHdfe({"spec.txt", "--cycle", "HD-UDDS"});
  ASSERT_EQ(plain.exitStatus, 0) << plain.stderrText;
  EXPECT_EQ(FolderFiles(plain.dir), plain.before);
  const auto economy = [](const std::string& text) { return text.substr(text.find("\n  hd-udds") + 1, 60); };
  EXPECT_EQ(economy(plain.stdoutText), economy(run.stdoutText));
  const CaseRun lower = RunHdfe({"spec.txt", "--cycle", "hd-udds", "--set", "FinalRatio=3.2"});
  ASSERT_EQ(lower.exitStatus, 0) << lower.stderrText;
  EXPECT_NE(economy(lower.stdoutText), economy(run.stdoutText));
}

// An engineering value set with --set and the same value in a manifest column give the same
// figures, to the bit, over chosen cycles and over the built-in ones.
TEST(Cli, SetAndManifestColumnsGiveTheSameFigures) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-same-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("bus_BR4_220kW_AT6"), dir);
  std::ofstream(dir / "m.csv", std::ios::binary) << "id,spec,cycle,TestMass,CdA,CO2PerLitre,FinalRatio\n"
                                                    "cycles,spec.txt,manhattan-bus,14000,5.5,2.7,6.1\n"
                                                    "builtin,spec.txt,,14000,5.5,2.7,6.1\n";
  const CaseRun batch = RunCase(HDFE_BINARY, dir, {"--batch", "m.csv", "--out", "runs", "--summary-csv", "s.csv"});
  ASSERT_EQ(batch.exitStatus, 0) << batch.stderrText;
  const std::vector<std::string> sets{"--set", "TestMass=14000", "--set", "CdA=5.5", "--set", "CO2PerLitre=2.7",
                                      "--set", "FinalRatio=6.1", "--json", "set.json"};
  for (const char* id : {"cycles", "builtin"}) {
    std::vector<std::string> args{"spec.txt"};
    if (std::string(id) == "cycles") args.insert(args.end(), {"--cycle", "manhattan-bus"});
    args.insert(args.end(), sets.begin(), sets.end());
    const CaseRun set = RunCase(HDFE_BINARY, dir, args);
    ASSERT_EQ(set.exitStatus, 0) << set.stderrText;
    const nlohmann::json fromSet = nlohmann::json::parse(ReadFileBytes(set.dir / "set.json"));
    const nlohmann::json fromRow = nlohmann::json::parse(ReadFileBytes(batch.dir / "runs" / (std::string(id) + ".json")));
    ASSERT_FALSE(fromSet["cycles"].empty());
    EXPECT_EQ(fromSet["cycles"].dump(), fromRow["cycles"].dump()) << id;
    EXPECT_EQ(fromSet["vehicle"].dump(), fromRow["vehicle"].dump()) << id;
    EXPECT_EQ(fromSet["average_fuel_economy_km_per_l"], fromRow["average_fuel_economy_km_per_l"]) << id;
  }
  fs::remove_all(dir);
}

// --set on the specified run gives the results file of the edited spec file.
TEST(Cli, SetValuesRunAsTheEditedSpecFile) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-set-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  std::ifstream in(dir / "spec.txt", std::ios::binary);
  std::string text, line;
  for (int k = 1; std::getline(in, line); ++k) text += (k == 5 ? "3.9   FinalRatio" : k == 11 ? "1 IdleStopOn" : line) + "\n";
  in.close();
  std::ofstream(dir / "edited.txt", std::ios::binary) << text;
  const CaseRun set = RunHdfe({"spec.txt", "r.txt", "--set", "FinalRatio=3.9", "--set", "IdleStopOn=1"}, dir);
  const CaseRun edited = RunHdfe({"edited.txt", "r.txt"}, dir);
  ASSERT_EQ(set.exitStatus, 0) << set.stderrText;
  const std::string results = ReadFileBytes(set.dir / "r.txt");
  EXPECT_TRUE(Contains(results, "3.9")) << results;
  std::string expected = ReadFileBytes(edited.dir / "r.txt");
  // Everything after the spec file's name.
  EXPECT_EQ(results.substr(results.find("ENGINE FILE")), expected.substr(expected.find("ENGINE FILE")));
  fs::remove_all(dir);
}

// A cycle file that cannot be run stops the run with its file and line before anything is
// written; a resampled one runs and says so; --list-cycles lists the library.
TEST(Cli, CycleFilesAndTheLibrary) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-cycles-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  std::ofstream(dir / "bad.csv", std::ios::binary) << "time_s,speed_km_per_h\n0,0\n1,5\n2,-3\n";
  std::ofstream(dir / "half.csv", std::ios::binary) << "time_s,speed_km_per_h\n0,0\n0.5,2\n1,4\n1.5,6\n2,8\n60,8\n70,0\n";
  const CaseRun bad = RunHdfe({"spec.txt", "--cycle", "hd-udds", "--cycle", "bad.csv", "--json", "out.json"}, dir);
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_EQ(bad.stderrText, " bad.csv:4: negative speed\r\n");
  EXPECT_EQ(bad.stdoutText, "");
  EXPECT_EQ(FolderFiles(bad.dir), bad.before);
  const CaseRun missing = RunHdfe({"spec.txt", "--cycle", "hd-udd"}, dir);
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_TRUE(Contains(missing.stderrText, "cannot open the cycle file hd-udd: there is no such file, and no library "
                                           "cycle has that name (URBAN, HIGHWAY, hd-udds,"))
      << missing.stderrText;
  fs::create_directories(dir / "other");
  fs::copy_file(dir / "half.csv", dir / "other" / "half.csv");
  const CaseRun twice = RunHdfe({"spec.txt", "--cycle", "half.csv", "--cycle", "other/half.csv"}, dir);
  EXPECT_EQ(twice.exitStatus, 2);
  EXPECT_TRUE(Contains(twice.stderrText, "--cycle half.csv and --cycle other/half.csv are both named half"))
      << twice.stderrText;
  const CaseRun replaces = RunHdfe({"spec.txt", "--cycle", "half.csv", "--json", "./half.csv"}, dir);
  EXPECT_EQ(replaces.exitStatus, 1);
  EXPECT_EQ(replaces.stderrText, " Cannot write output file [ ./half.csv ]: it is an input file of the run\r\n");

  const CaseRun half = RunHdfe({"spec.txt", "--cycle", "half.csv", "--json", "-"}, dir);
  ASSERT_EQ(half.exitStatus, 0) << half.stderrText;
  const nlohmann::json doc = nlohmann::json::parse(half.stdoutText);
  EXPECT_EQ(doc["cycles"][0]["seconds"], 70);
  bool warned = false;
  for (const auto& w : doc["warnings"]) {
    warned |= w["kind"] == "cycle_resampled" &&
              w["message"] == "half: resampled from 7 rows 0.5 to 58 s apart to whole seconds";
  }
  EXPECT_TRUE(warned) << doc["warnings"].dump();
  fs::remove_all(dir);

  const CaseRun list = RunHdfe({"--list-cycles"});
  EXPECT_EQ(list.exitStatus, 0);
  std::istringstream lines(list.stdoutText);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0].rfind("name               duration (s)  distance (km)  mean (km/h)  max (km/h)  source", 0), 0u);
  EXPECT_EQ(rows[3].rfind("hd-udds                    1060          8.935        30.35       93.34  data/cycles/hd-udds.csv", 0),
            0u)
      << rows[3];
}

// An output of an option that names an input or another output of the run, however spelled,
// is refused before the run, and nothing is written.
TEST(Cli, OptionOutputsNeverReplaceAnInputOrAnotherOutput) {
  struct Case {
    std::vector<std::string> options;
    const char* message;
  };
  const Case cases[] = {
      {{"--json", "engine.txt"}, "[ engine.txt ]: it is an input file of the run"},
      {{"--json", "./spec.txt"}, "[ ./spec.txt ]: it is an input file of the run"},
      {{"--trace-csv", "fuelmap.txt"}, "[ fuelmap.txt ]: it is an input file of the run"},
      {{"--json", "a", "--trace-csv", "a"}, "[ a ]: it is also the --json output"},
      {{"--json", "../run/a", "--trace-csv", "a"}, "[ a ]: it is also the --json output"},
      {{"--trace-csv", "./r.txt"}, "[ ./r.txt ]: it is also the results file"},
      {{"--json", "r.txt_info.txt"}, "[ r.txt_info.txt ]: it is also the information file"}};
  for (const Case& c : cases) {
    std::vector<std::string> args{"spec.txt", "r.txt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CaseRun run = RunHdfe(args);
    EXPECT_EQ(run.exitStatus, 1) << c.message;
    EXPECT_EQ(run.stderrText, std::string(" Cannot write output file ") + c.message + "\r\n");
    EXPECT_EQ(FolderFiles(run.dir), run.before) << c.message;
  }
}

// Standard output and standard error sent to one file keep the order in which the run wrote
// them: the console lines before the stop that follows them.
TEST(Cli, ConsoleAndStopSharingAFileKeepTheirOrder) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-order-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  fs::create_directory(dir / "folder");
  const std::string command = "cd '" + dir.string() + "' && '" + HDFE_BINARY + "' spec.txt folder >all.txt 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  const std::string all = ReadFileBytes(dir / "all.txt");
  const std::string end = " OUTPUT FILE : folder\r\n Cannot write output file [ folder ]\r\n";
  EXPECT_EQ(all.rfind(" ----------", 0), 0u) << all;
  ASSERT_GE(all.size(), end.size());
  EXPECT_EQ(all.substr(all.size() - end.size()), end) << all;
  fs::remove_all(dir);
}

// An output asked for on standard output that cannot be written there fails the run, whether
// standard output is full, closed, or a pipe whose reader left while SIGPIPE is ignored.
TEST(Cli, OutputsLostOnStandardOutputExitOne) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-stdout-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  const std::string hdfe = std::string("'") + HDFE_BINARY + "'";
  const char* const scripts[] = {
      " spec.txt r.txt --json - >/dev/full", " spec.txt r.txt --summary >/dev/full", " spec.txt r.txt --summary >&-",
      " spec.txt r.txt --trace-csv - | head -c 0", " --batch --sweep spec.txt Kf1=1,2 --summary-csv - >/dev/full"};
  for (const char* script : scripts) {
    const std::string command = "cd '" + dir.string() + "' && bash -c 'trap \"\" PIPE; " + hdfe + " 2>err.txt" + script +
                                "; exit ${PIPESTATUS[0]}'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << script;
    const std::string err = ReadFileBytes(dir / "err.txt");
    EXPECT_TRUE(Contains(err, " Cannot write output file [ - ]")) << script << "\n" << err;
    if (Contains(script, "--json")) {
      EXPECT_FALSE(Contains(err, " complete.")) << err;
    }
  }
  fs::remove_all(dir);
}

TEST(Cli, InputErrorsExitOneAndWriteNothing) {
  fs::path dir = fs::temp_directory_path() / ("hdfe-cli-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  fs::remove(dir / "fullload.txt");
  const CaseRun run = RunHdfe({"spec.txt", "result.txt", "--json", "out.json"}, dir);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.stderrText, " Cannot open torque data file [ fullload.txt ]\r\n");
  EXPECT_EQ(FolderFiles(run.dir), run.before);
  fs::remove_all(dir);
}

// A broken copy of the truck example for each --check warning, and the line it must give.
class CheckWarnings : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("hdfe-check-" + std::to_string(::getpid()));
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Rewrites one file of a fresh copy line by line (1-based line numbers).
  CaseRun Check(const std::string& file, const std::function<std::string(int, const std::string&)>& edit) {
    fs::remove_all(dir);
    fs::copy(Example("truck_T8_175kW_MT6"), dir);
    std::ifstream in(dir / file, std::ios::binary);
    std::string text, line;
    for (int k = 1; std::getline(in, line); ++k) text += edit(k, line);
    in.close();
    std::ofstream(dir / file, std::ios::binary) << text;
    return RunCase(HDFE_BINARY, dir, {"--check", "spec.txt"});
  }

  fs::path dir;
};

TEST_F(CheckWarnings, EachCommonMistakeIsNamed) {
  const auto keep = [](int, const std::string& l) { return l + "\n"; };
  struct Case {
    std::string file;
    std::function<std::string(int, const std::string&)> edit;
    std::string expected;
  };
  const auto times = [](double f) {
    return [f](int k, const std::string& l) {
      if (k <= 3) return l + "\n";
      std::istringstream in(l);
      double n = 0, t = 0, fc = 0;
      in >> n >> t >> fc;
      std::ostringstream out;
      out << n << ' ' << t << ' ' << fc * f << '\n';
      return out.str();
    };
  };
  const Case cases[] = {
      {"fuelmap.txt", [](int k, const std::string& l) { return k <= 2 ? std::string() : l + "\n"; },
       "fuelmap.txt:1: warning: the first two lines read as data points: the two header lines may be missing"},
      {"fuelmap.txt", times(835.0), "outside 150 to 400: are the rates in l/h (not g/h or kg/h)?"},
      {"transmission.txt", [](int k, const std::string& l) { return k == 4 ? "7.5\n" : l + "\n"; },
       "transmission.txt:4: warning: main ratio 2 (7.5) is not below the one before it (6.7): ratios must descend"},
      {"engine.txt", [](int k, const std::string& l) { return k == 5 ? "2600 Nrate\n" : l + "\n"; },
       "engine.txt:5: warning: Nrate 2600 rpm is above Nex 2500 rpm"},
      {"engine.txt", [](int k, const std::string& l) { return k == 6 ? "3000 Nex\n" : l + "\n"; },
       "engine.txt:6: warning: Nex 3000 rpm is beyond the full-load curve's last speed 2600 rpm"},
      {"fuelmap.txt",
       [](int k, const std::string& l) { return k > 3 && std::stod(l.substr(0, l.find(' '))) > 2000 ? "" : l + "\n"; },
       "fuelmap.txt: warning: the map (600 to 2000 rpm"},
      {"fuelmap.txt", [](int k, const std::string& l) { return k == 10 ? "// measured 2019\n" + l + "\n" : l + "\n"; },
       "fuelmap.txt:10: warning: the line '// measured 2019' reads as a point of zeros"},
      {"motoring.txt", [](int k, const std::string& l) { return k == 5 ? ",\n" + l + "\n" : l + "\n"; },
       "motoring.txt:5: warning: the line ',' reads as a point of zeros"},
      {"spec.txt", [](int k, const std::string& l) { return (k == 1 ? "\xEF\xBB\xBF" : "") + l + "\n"; },
       "spec.txt:1: warning: the file starts with a UTF-8 byte-order mark"},
      {"spec.txt", [](int k, const std::string& l) { return k == 5 ? "4,18   FinalRatio\n" : l + "\n"; },
       "spec.txt:5: warning: FinalRatio is written with a decimal comma ('4,18   FinalRatio')"},
      {"spec.txt", [](int k, const std::string& l) { return k == 9 ? "-0.01   RollAddend\n" : l + "\n"; },
       "spec.txt:9: warning: RollAddend is -0.01 N/kg, usually at least 0 N/kg"},
      {"spec.txt", [](int k, const std::string& l) { return k == 10 ? "-0.03   AirCoefficient\n" : l + "\n"; },
       "spec.txt:10: warning: AirCoefficient is -0.03"},
      {"spec.txt", [](int k, const std::string& l) { return k == 11 ? "\n-5   IdleStopOn\n" : l + "\n"; },
       "spec.txt:12: warning: IdleStopOn is -5, usually from 0 to 1: 0 is off and any other value on"},
      {"engine.txt", [](int k, const std::string& l) { return k == 5 ? "550 Nrate\n" : l + "\n"; },
       "engine.txt:5: warning: Nrate 550 rpm is not above Nidle 600 rpm"},
      {"fullload.txt", [](int k, const std::string& l) { return k == 2 ? std::string() : l + "\n"; },
       "fullload.txt:2: warning: the second line reads as a data point but is taken as a header line"},
      {"spec.txt", [](int k, const std::string& l) { return k == 1 ? "T8/MT6 rigid   VehicleName\n" : l + "\n"; },
       "spec.txt:1: warning: VehicleName 'T8/MT6' is read as 'T8': a slash ends an unquoted value"},
      {"fuelmap.txt", [](int k, const std::string& l) { return k == 3 ? "\n650 0 0.608383\n" : l + "\n"; },
       "fuelmap.txt:4: warning: the idle line is at 650 rpm, not at Nidle 600 rpm (engine.txt:4): the third line"},
  };
  for (const Case& c : cases) {
    const CaseRun run = Check(c.file, c.edit);
    EXPECT_EQ(run.exitStatus, 0) << c.expected << "\n" << run.stdoutText;
    EXPECT_TRUE(Contains(run.stdoutText, c.expected)) << c.expected << "\n" << run.stdoutText;
    EXPECT_TRUE(Contains(run.stdoutText, "spec.txt: 0 errors, ")) << run.stdoutText;
    // A run of the same files carries the same warning, as an input warning of the JSON and
    // a line of the summary; its redirected standard error stays as it was.
    std::string carried = c.expected;
    const std::size_t at = carried.find(": warning: ");
    if (at != std::string::npos) carried.replace(at, 11, ": ");
    const std::string start = at != std::string::npos ? "\"kind\": \"input\",\n      \"message\": \"" : "";
    const CaseRun ran = RunCase(HDFE_BINARY, dir, {"spec.txt", "out.txt", "--json", "-", "--summary"});
    EXPECT_EQ(ran.exitStatus, 0) << carried << "\n" << ran.stderrText;
    EXPECT_TRUE(Contains(ran.stdoutText, start + carried)) << carried;
    EXPECT_TRUE(Contains(ran.stderrText, (start.empty() ? "" : "WARNING: ") + carried)) << carried;
    EXPECT_FALSE(Contains(ran.stderrText, "\nwarning: ")) << ran.stderrText;
  }
  const CaseRun clean = Check("spec.txt", keep);
  EXPECT_EQ(clean.stdoutText, "spec.txt: 0 errors, 0 warnings\n");
}

TEST_F(CheckWarnings, ErrorsAreAllReportedAndExitOne) {
  const CaseRun run = Check("spec.txt", [](int k, const std::string& l) {
    if (k == 3) return std::string("missing-engine.txt\n");
    if (k == 4) return std::string("missing-gearbox.txt\n");
    return l + "\n";
  });
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.stdoutText, "missing-gearbox.txt: error: Cannot open transmission file [ missing-gearbox.txt ]"))
      << run.stdoutText;
  EXPECT_TRUE(Contains(run.stdoutText, "missing-engine.txt: error: Cannot open engine file [ missing-engine.txt ] (names "
                                        "are relative to the working directory; a blank, a comma or a slash ends"));
  EXPECT_TRUE(Contains(run.stdoutText, "spec.txt: 2 errors, 0 warnings"));
  EXPECT_EQ(FolderFiles(run.dir), run.before);

  // A map name cut at a slash cannot be opened; the warning gives the line that cut it.
  const CaseRun cut = Check("engine.txt", [](int k, const std::string& l) {
    return k == 1 ? std::string("maps/fuelmap.txt    fuel-map file\n") : l + "\n";
  });
  EXPECT_EQ(cut.exitStatus, 1);
  EXPECT_TRUE(Contains(cut.stdoutText,
                       "engine.txt:1: warning: FuelMapFile 'maps/fuelmap.txt' is read as 'maps': a slash ends an "
                       "unquoted value; write the name between quotes\n"))
      << cut.stdoutText;
  EXPECT_TRUE(Contains(cut.stdoutText, "maps: error: Cannot open map data file [ maps ]")) << cut.stdoutText;
  // Quoted, the same name draws no warning.
  fs::create_directories(dir / "maps");
  fs::rename(dir / "fuelmap.txt", dir / "maps" / "fuelmap.txt");
  std::ofstream(dir / "engine.txt", std::ios::binary | std::ios::in) << "'maps/fuelmap.txt'";
  EXPECT_EQ(RunCase(HDFE_BINARY, dir, {"--check", "spec.txt"}).stdoutText, "spec.txt: 0 errors, 0 warnings\n");
  EXPECT_EQ(FolderFiles(run.dir), run.before);

  // A value outside the range a run accepts is an error at its line, naming its unit.
  const CaseRun ranges = Check("spec.txt", [](int k, const std::string& l) {
    return k == 6 ? std::string("-1 TireRadius\n") : k == 16 ? std::string("0   Kf1\n") : l + "\n";
  });
  EXPECT_EQ(ranges.exitStatus, 1);
  EXPECT_EQ(ranges.stdoutText,
            "spec.txt:6: error: TireRadius is -1 m: it must be greater than 0 m\n"
            "spec.txt:16: error: Kf1 is 0: it must be greater than 0\n"
            "spec.txt: 2 errors, 0 warnings\n");

  // Names are taken from the working directory: from elsewhere they resolve differently.
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir / "truck");
  const CaseRun other = RunCase(HDFE_BINARY, dir, {"--check", "truck/spec.txt"});
  EXPECT_EQ(other.exitStatus, 1);
  EXPECT_TRUE(Contains(other.stdoutText,
                       "truck/spec.txt:3: warning: 'engine.txt' is taken from the working directory, where it does "
                       "not exist; from the spec file's folder it would be truck/engine.txt"))
      << other.stdoutText;
}

// A route runs by distance with its own figures; bad route files and mixed runs are refused
// before anything is written.
TEST(Cli, RoutesByDistance) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-routes-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(Example("truck_T8_175kW_MT6"), dir);
  fs::copy_file(fs::path(HDFE_SOURCE_DIR) / "examples/routes/depot-run.csv", dir / "depot-run.csv");
  std::ofstream(dir / "bad.csv", std::ios::binary) << "distance_m,speed_km_per_h,stop_s\n0,50,0\n100,50,2.5\n";
  std::ofstream(dir / "t.gpx", std::ios::binary)
      << "<gpx><trk><trkseg>\n<trkpt lat=\"50\" lon=\"8\"><ele>100</ele></trkpt>\n"
         "<trkpt lat=\"50.01\" lon=\"8\"><ele>110</ele></trkpt>\n</trkseg></trk></gpx>\n";

  const CaseRun run = RunHdfe({"spec.txt", "--route", "depot-run.csv", "--json", "-"}, dir);
  ASSERT_EQ(run.exitStatus, 0) << run.stderrText;
  EXPECT_EQ(FolderFiles(run.dir), run.before);
  const std::string json = run.stdoutText.substr(run.stdoutText.find('{'), run.stdoutText.rfind('}') + 1 - run.stdoutText.find('{'));
  const nlohmann::json doc = nlohmann::json::parse(json);
  ASSERT_EQ(doc["routes"].size(), 1u);
  EXPECT_EQ(doc["routes"][0]["name"], "depot-run");
  EXPECT_EQ(doc["routes"][0]["stopped_s"], 205.0);
  EXPECT_EQ(doc["routes"][0]["kilometres"]["fuel_l"].size(), 26u);
  EXPECT_EQ(doc["cycles"][0]["name"], "depot-run");
  const CaseRun summary = RunHdfe({"spec.txt", "--route", "depot-run.csv"}, dir);
  EXPECT_TRUE(Contains(summary.stdoutText, "\nROUTE depot-run: 25.500 km in ")) << summary.stdoutText;

  const CaseRun gpx = RunHdfe({"spec.txt", "--route", "t.gpx", "--route-speed", "60", "--json", "-"}, dir);
  ASSERT_EQ(gpx.exitStatus, 0) << gpx.stderrText;
  EXPECT_NEAR(nlohmann::json::parse(gpx.stdoutText)["routes"][0]["length_km"].get<double>(), 1.112, 0.001);

  // A sweep and a manifest drive the route on every row: a row per batch row and route.
  const CaseRun sweep = RunHdfe({"--batch", "--sweep", "spec.txt", "TestMass=10000:20000:10000", "--route",
                                 "depot-run.csv", "--jobs", "1"},
                                dir);
  ASSERT_EQ(sweep.exitStatus, 0) << sweep.stderrText;
  std::ofstream(dir / "m.csv", std::ios::binary) << "id,spec,route,TestMass\nlight,spec.txt,depot-run.csv,10000\n"
                                                    "heavy,spec.txt,depot-run.csv,20000\n";
  const CaseRun manifest = RunHdfe({"--batch", "m.csv", "--jobs", "1"}, dir);
  ASSERT_EQ(manifest.exitStatus, 0) << manifest.stderrText;
  for (const CaseRun* batch : {&sweep, &manifest}) {
    std::istringstream lines(batch->stdoutText);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 3u) << batch->stdoutText;
    EXPECT_TRUE(Contains(rows[1], ",ok,,T8,depot-run,")) << rows[1];
    // The heavier row burns more: its km/l, the first figure, is lower.
    const auto economy = [](const std::string& row) {
      return std::stod(row.substr(row.find("depot-run,,") + 11));
    };
    EXPECT_GT(economy(rows[1]), economy(rows[2]));
  }

  const CaseRun bad = RunHdfe({"spec.txt", "--route", "bad.csv", "--json", "out.json"}, dir);
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_TRUE(Contains(bad.stderrText, "bad.csv:3:")) << bad.stderrText;
  EXPECT_EQ(FolderFiles(bad.dir), bad.before);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"spec.txt", "--route", "depot-run.csv", "--cycle", "hd-udds"},
        std::vector<std::string>{"spec.txt", "--route-speed", "50"},
        std::vector<std::string>{"spec.txt", "r.txt", "--route", "depot-run.csv"},
        std::vector<std::string>{"spec.txt", "--route", "t.gpx", "--route-speed", "fast"}}) {
    const CaseRun refused = RunHdfe(args, dir);
    EXPECT_EQ(refused.exitStatus, 2) << args.back() << ": " << refused.stderrText;
    EXPECT_EQ(FolderFiles(refused.dir), refused.before);
  }
  fs::remove_all(dir);
}

}  // namespace

}  // namespace hdfe
