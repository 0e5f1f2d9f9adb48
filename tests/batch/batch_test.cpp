// Batch runs: figures against single runs of edited spec files, order and bytes whatever the
// job count, bad rows, manifests, sweeps, the summary CSV and the per-row files.
#include "hdfe/batch.h"
#include "hdfe/bytetext.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "batch/inputcache.h"
#include "batchcommand.h"
#include "hdfe/cycle.h"
#include "hdfe/report.h"
#include "hdfe/values.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const char* const Examples[] = {"tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6", "bus_BR4_220kW_AT6",
                                "lighttruck_T3_130kW_MT6"};

struct Scratch {
  fs::path path;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "hdfe-batch-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

std::string Read(const fs::path& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& name, const std::string& content) { std::ofstream(name, std::ios::binary) << content; }

// A copy of an example's folder.
fs::path CopyExample(const char* example, const fs::path& to) {
  fs::copy(fs::path(HDFE_SOURCE_DIR) / "examples" / example, to, fs::copy_options::recursive);
  return to / "spec.txt";
}

// Replaces the value on the spec file's line of that value (the file order of override_names).
void EditSpec(const fs::path& spec, const std::string& name, const std::string& value) {
  const auto names = override_names();
  const auto line = std::find(names.begin(), names.end(), name) - names.begin();
  std::istringstream in(Read(spec));
  std::string out, text;
  for (long k = 0; std::getline(in, text); ++k) out += (k == line ? value + "   edited" : text) + "\n";
  Write(spec, out);
}

// The cells of a CSV line; a quoted cell (with its commas and doubled quotes) as its text.
std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t k = 0; k < line.size(); ++k) {
    const char c = line[k];
    if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
      cells.back() += '"';
      ++k;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

// The summary table as one map per row, by column name.
std::vector<std::map<std::string, std::string>> Table(const std::string& csv) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = Split(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = Split(line);
    EXPECT_EQ(cells.size(), header.size()) << line;
    std::map<std::string, std::string> row;
    for (std::size_t k = 0; k < cells.size() && k < header.size(); ++k) row[header[k]] = cells[k];
    rows.push_back(row);
  }
  return rows;
}

double Number(const std::string& text) {
  double value = -1.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Runs `body` with the program's standard input read from the file `name`.
int WithStandardInput(const fs::path& name, const std::function<int()>& body) {
  const int saved = ::dup(STDIN_FILENO);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  ::dup2(fd, STDIN_FILENO);
  ::close(fd);
  std::clearerr(stdin);
  const int status = body();
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  std::clearerr(stdin);
  return status;
}

int RunBatch(const fs::path& manifest, int jobs, const fs::path& summary, std::optional<fs::path> out = {}) {
  CommandLine c;
  c.batch = true;
  c.manifest = manifest.string();
  c.jobs = jobs;
  c.summary_csv = summary.string();
  if (out) c.out_dir = out->string();
  return run_batch_command(c);
}

// Every figure of a summary row equals the run's, exactly.
void ExpectFigures(const std::map<std::string, std::string>& row, const Result& r) {
  const CycleFigures& u = r.cycle("URBAN");
  const CycleFigures& h = r.cycle("HIGHWAY");
  const CycleFigures& m = r.cycle("MID-TOWN");
  const std::pair<const char*, double> figures[] = {
      {"urban_km_per_l", u.fuel_economy_km_per_l}, {"highway_km_per_l", h.fuel_economy_km_per_l},
      {"average_km_per_l", r.average_fuel_economy_km_per_l}, {"midtown_km_per_l", m.fuel_economy_km_per_l},
      {"urban_speed_km_per_h", u.average_speed_km_per_h}, {"highway_speed_km_per_h", h.average_speed_km_per_h},
      {"midtown_speed_km_per_h", m.average_speed_km_per_h}, {"urban_fuel_l", u.fuel_l}, {"highway_fuel_l", h.fuel_l},
      {"urban_seconds_below_target", u.metrics.seconds_below_target},
      {"urban_largest_shortfall_km_per_h", u.metrics.largest_shortfall_km_per_h},
      {"highway_largest_shortfall_second", h.metrics.largest_shortfall_second},
      {"highway_distance_percent_of_target", h.metrics.distance_percent_of_target},
      {"highway_seconds_at_full_load", h.metrics.seconds_at_full_load}};
  for (const auto& [column, value] : figures) EXPECT_EQ(Number(row.at(column)), value) << row.at("id") << " " << column;
}

TEST(BatchCommand, ManifestRowsEqualSingleRunsOfEditedSpecsWhateverTheJobCount) {
  Scratch s;
  for (const char* example : Examples) CopyExample(example, s.path / example);
  fs::copy_file(s.path / Examples[0] / "engine.txt", s.path / Examples[0] / "engine2.txt");
  // Spec names are taken from the manifest's folder; names inside a spec from the spec's.
  const std::string manifest =
      "\xEF\xBB\xBFid,spec,FinalRatio,TireRadius,IdleStopOn,Kf1,EngineFile\r\n"
      "tractor,tractor_TT1_325kW_AMT12/spec.txt,2.9,,,,engine2.txt\r\n"
      "truck,truck_T8_175kW_MT6/spec.txt,,0.45,1,,\r\n"
      "\r\n"
      "bus,bus_BR4_220kW_AT6/spec.txt,,,,0.98,\r\n"
      "broken,truck_T8_175kW_MT6/spec.txt,,,,,nothere.txt\r\n"
      ",lighttruck_T3_130kW_MT6/spec.txt,,,,,\r\n";
  Write(s.path / "fleet.csv", manifest);
  EXPECT_EQ(RunBatch(s.path / "fleet.csv", 1, s.path / "one.csv"), 1);  // a row failed
  EXPECT_EQ(RunBatch(s.path / "fleet.csv", 2, s.path / "two.csv"), 1);
  const std::string one = Read(s.path / "one.csv");
  ASSERT_FALSE(one.empty());
  EXPECT_EQ(one, Read(s.path / "two.csv"));

  const auto rows = Table(one);
  ASSERT_EQ(rows.size(), 5u);
  const std::map<std::string, std::vector<std::pair<std::string, std::string>>> edits = {
      {"tractor", {{"FinalRatio", "2.9"}, {"EngineFile", "engine2.txt"}}},
      {"truck", {{"TireRadius", "0.45"}, {"IdleStopOn", "1"}}},
      {"bus", {{"Kf1", "0.98"}}},
      {"5", {}}};
  const char* folders[] = {Examples[0], Examples[1], Examples[2], nullptr, Examples[3]};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const auto& row = rows[k];
    if (row.at("id") == "broken") {
      EXPECT_EQ(row.at("status"), "error");
      EXPECT_EQ(row.at("message"), "Cannot open engine file [ " + (s.path / Examples[1] / "nothere.txt").string() + " ]");
      EXPECT_EQ(row.at("urban_km_per_l"), "");
      continue;
    }
    EXPECT_EQ(row.at("status"), "ok") << row.at("message");
    const fs::path copy = s.path / ("edited-" + row.at("id"));
    const fs::path spec = CopyExample(folders[k], copy);
    if (row.at("id") == "tractor") fs::copy_file(copy / "engine.txt", copy / "engine2.txt");
    for (const auto& [name, value] : edits.at(row.at("id"))) {
      EXPECT_EQ(row.at(name), value);
      EditSpec(spec, name, value);
    }
    ExpectFigures(row, run(load_vehicle(spec)));
  }
}

TEST(BatchCommand, UsageErrorsComeBeforeAnythingRuns) {
  Scratch s;
  const std::string spec = (fs::path(HDFE_SOURCE_DIR) / "examples" / Examples[0] / "spec.txt").string();
  for (const std::string header : {"spec,FinalRatio,Colour", "id,FinalRatio", "spec,Kf1,Kf1"}) {
    Write(s.path / "m.csv", header + "\n" + spec + ",3,1\n");
    EXPECT_EQ(RunBatch(s.path / "m.csv", 1, s.path / "out.csv"), 2) << header;
    EXPECT_FALSE(fs::exists(s.path / "out.csv")) << header;
  }
  // The summary may not replace the manifest it is read from.
  Write(s.path / "m.csv", "spec\n" + spec + "\n");
  EXPECT_EQ(RunBatch(s.path / "m.csv", 1, s.path / "m.csv"), 2);
  EXPECT_EQ(Read(s.path / "m.csv"), "spec\n" + spec + "\n");
  // The null device takes the summary; other devices are refused.
  EXPECT_EQ(RunBatch(s.path / "m.csv", 1, "/dev/null"), 0);
  EXPECT_EQ(RunBatch(s.path / "m.csv", 1, "/dev/zero"), 1);
}

TEST(BatchCommand, OutFolderHoldsEachRowsFilesAndRefusesCollisionsAndInputs) {
  Scratch s;
  const fs::path spec = CopyExample(Examples[1], s.path / "truck");
  const std::string before = Read(spec);
  Write(s.path / "m.csv",
        "id,spec,TraceFlag\na/b,truck/spec.txt,1\na_b,truck/spec.txt,\nspec,truck/spec.txt,\n"
        "\xE6\x97\xA5\xE6\x9C\xAC,truck/spec.txt,\n\xE4\xB8\xAD\xE5\x9B\xBD,truck/spec.txt,\n"  // two scripts' names
        "\xC3\x89vian,truck/spec.txt,\n\xC3\xA9VIAN,truck/spec.txt,\n");  // the same name but for case
  EXPECT_EQ(RunBatch(s.path / "m.csv", 2, s.path / "sum.csv", s.path / "truck"), 1);
  const auto rows = Table(Read(s.path / "sum.csv"));
  ASSERT_EQ(rows.size(), 7u);
  for (const std::size_t k : {3, 4, 5}) {
    EXPECT_EQ(rows[k].at("status"), "ok") << rows[k].at("message");
    EXPECT_TRUE(fs::exists(s.path / "truck" / (rows[k].at("id") + ".json"))) << rows[k].at("id");
  }
  EXPECT_NE(rows[6].at("message").find("same output files"), std::string::npos);
  EXPECT_EQ(rows[0].at("status"), "ok");
  EXPECT_EQ(rows[1].at("status"), "error");  // a_b would overwrite a/b's files
  EXPECT_NE(rows[1].at("message").find("same output files"), std::string::npos);
  EXPECT_EQ(rows[2].at("status"), "error");  // spec.txt is the row's own spec file
  EXPECT_NE(rows[2].at("message").find("input file"), std::string::npos);
  EXPECT_EQ(Read(spec), before);

  // The results file with its traces is the single run's.
  SpecValues values = load_vehicle(spec).values;
  values.traces = 1;
  RunOptions traces;
  traces.traces = true;
  EXPECT_EQ(Read(s.path / "truck" / "a_b.txt"), results_file(run(load_vehicle(values, spec), traces), "truck/spec.txt"));
  EXPECT_NE(Read(s.path / "truck" / "a_b.json").find("\"average_fuel_economy_km_per_l\""), std::string::npos);
}

// No output of a batch replaces a file the batch has read or another of its outputs, however
// named; and a row that fails leaves no results of an earlier batch under its names.
TEST(BatchCommand, OutputsSpareWhatTheBatchReadsAndFailedRowsLeaveNoFiles) {
  Scratch s;
  CopyExample(Examples[1], s.path / "truck");
  CopyExample(Examples[3], s.path / "light");
  fs::create_directories(s.path / "runs");
  const fs::path engine = s.path / "truck" / "engine.txt";
  const std::string engineBytes = Read(engine);
  const auto rowsOf = [&](const fs::path& summary) { return Table(Read(summary)); };

  // A row whose files would replace an input an earlier row read; a summary that is an input.
  Write(s.path / "m.csv", "id,spec\nfirst,truck/spec.txt\nengine,light/spec.txt\n");
  EXPECT_EQ(RunBatch(s.path / "m.csv", 1, s.path / "sum.csv", s.path / "truck"), 1);
  auto rows = rowsOf(s.path / "sum.csv");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("status"), "ok");
  EXPECT_NE(rows[1].at("message").find("engine.txt ]: it is an input file of the batch"), std::string::npos);
  EXPECT_EQ(RunBatch(s.path / "m.csv", 2, s.path / "truck" / "." / "engine.txt"), 1);
  EXPECT_EQ(Read(engine), engineBytes);

  // Nor an input a later row has still to read: the files of every row are named first, for
  // a manifest file and for a sweep that names another engine file.
  Write(s.path / "later.csv", "id,spec\nengine,light/spec.txt\nlater,truck/spec.txt\n");
  for (const int jobs : {1, 2}) {
    EXPECT_EQ(RunBatch(s.path / "later.csv", jobs, s.path / "sum.csv", s.path / "truck"), 1);
    rows = rowsOf(s.path / "sum.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[0].at("message").find("engine.txt ]: it is an input file of the batch"), std::string::npos);
    EXPECT_EQ(rows[1].at("status"), "ok") << rows[1].at("message");
    EXPECT_EQ(Read(engine), engineBytes);
  }
  CommandLine sweep;
  sweep.batch = true;
  sweep.sweep_spec = (s.path / "light" / "spec.txt").string();
  sweep.summary_csv = (s.path / "sum.csv").string();
  sweep.out_dir = (s.path / "truck").string();
  const std::string motoringBytes = Read(s.path / "truck" / "motoring.txt");
  Write(s.path / "truck" / "1.txt", motoringBytes);  // row 1's name; row 2 reads it as its engine file
  sweep.sweeps = {"EngineFile=engine.txt,'" + (s.path / "truck" / "1.txt").string() + "'"};
  EXPECT_EQ(run_batch_command(sweep), 1);
  EXPECT_NE(rowsOf(s.path / "sum.csv")[0].at("message").find("1.txt ]: it is an input file"), std::string::npos);
  EXPECT_EQ(Read(s.path / "truck" / "1.txt"), motoringBytes);
  fs::remove(s.path / "truck" / "1.txt");

  // A manifest on standard input cannot be read ahead: a row replaces only this program's files.
  Write(s.path / "piped.csv", "id,spec\nengine," + (s.path / "light" / "spec.txt").string() + "\nfirst," +
                                  (s.path / "truck" / "spec.txt").string() + "\n");
  CommandLine piped;
  piped.batch = true;
  piped.manifest = "-";
  piped.summary_csv = (s.path / "sum.csv").string();
  piped.out_dir = (s.path / "truck").string();
  EXPECT_EQ(WithStandardInput(s.path / "piped.csv", [&] { return run_batch_command(piped); }), 1);
  rows = rowsOf(s.path / "sum.csv");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0].at("message").find("no results file or JSON of this program"), std::string::npos);
  EXPECT_EQ(rows[1].at("status"), "ok");  // first.txt and first.json are this program's: replaced
  EXPECT_EQ(Read(engine), engineBytes);

  // A manifest in the output folder, and a summary under a row's name.
  Write(s.path / "runs" / "x.txt", "id,spec\nx,../truck/spec.txt\nr1,../truck/spec.txt\n");
  const std::string manifest = Read(s.path / "runs" / "x.txt");
  EXPECT_EQ(RunBatch(s.path / "runs" / "x.txt", 2, s.path / "runs" / "r1.json", s.path / "runs"), 1);
  EXPECT_EQ(Read(s.path / "runs" / "x.txt"), manifest);
  rows = rowsOf(s.path / "runs" / "r1.json");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0].at("message").find("input file of the batch"), std::string::npos);
  EXPECT_NE(rows[1].at("message").find("it is also the batch summary"), std::string::npos);
  EXPECT_FALSE(fs::exists(s.path / "runs" / "r1.txt"));  // the failed row's results file is gone too

  // A re-run in which a row fails removes that row's earlier files, and only files this
  // program writes.
  Write(s.path / "again.csv", "id,spec,FinalRatio\nt,truck/spec.txt,\nmine,truck/spec.txt,\n");
  EXPECT_EQ(RunBatch(s.path / "again.csv", 2, s.path / "sum.csv", s.path / "runs"), 0);
  ASSERT_TRUE(fs::exists(s.path / "runs" / "t.txt") && fs::exists(s.path / "runs" / "t.json"));
  Write(s.path / "runs" / "mine.json", "{\"notes\": 1}\n");
  Write(s.path / "again.csv", "id,spec,FinalRatio\nt,truck/spec.txt,x\nmine,truck/spec.txt,x\n");
  EXPECT_EQ(RunBatch(s.path / "again.csv", 2, s.path / "sum.csv", s.path / "runs"), 1);
  EXPECT_FALSE(fs::exists(s.path / "runs" / "t.txt"));
  EXPECT_FALSE(fs::exists(s.path / "runs" / "t.json"));
  EXPECT_FALSE(fs::exists(s.path / "runs" / "mine.txt"));
  EXPECT_EQ(Read(s.path / "runs" / "mine.json"), "{\"notes\": 1}\n");
}

// Rows that run cycles: a summary row per batch row and cycle, whose figures are those of
// run_cycles on the edited vehicle, a failed row as one row, and --out files without a
// results file.
TEST(BatchCommand, CycleRowsGiveARowPerCycleWithTheRunsFigures) {
  Scratch s;
  const fs::path spec = CopyExample(Examples[1], s.path / "truck");
  fs::create_directories(s.path / "routes");
  Write(s.path / "routes" / "yard.csv", "time_s,speed_km_per_h,phase\n0,0,in\n1,5,in\n2,10,in\n3,10,out\n4,5,out\n5,0,out\n");
  Write(s.path / "m.csv",
        "id,spec,cycle,TestMass,FinalRatio\n"
        "lib,truck/spec.txt,HD-UDDS,,\n"
        "file,truck/spec.txt,routes/yard.csv,20000,3.9\n"
        "std,truck/spec.txt,,,\n"
        "bad,truck/spec.txt,routes/none.csv,,\n");
  EXPECT_EQ(RunBatch(s.path / "m.csv", 2, s.path / "sum.csv", s.path / "out"), 1);
  const std::string csv = Read(s.path / "sum.csv");
  std::string names;
  for (const CycleSummaryColumnInfo& c : cycle_summary_column_table()) names += (names.empty() ? "" : ",") + std::string(c.name);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), names + ",TestMass,FinalRatio");
  // Every figure equals the run's, exactly: a row per cycle (and phase) of each run, in order.
  SpecValues values = load_vehicle(spec).values;
  apply_override(values, "TestMass", "20000");
  apply_override(values, "FinalRatio", "3.9");
  const Cycle yard = read_cycle_file(s.path / "routes" / "yard.csv");
  const std::vector<std::pair<std::string, Result>> runs{
      {"lib", run_cycles(load_vehicle(spec), std::vector<Cycle>{library_cycle("hd-udds")})},
      {"file", run_cycles(load_vehicle(values, spec), {&yard, 1})},
      {"std", run(load_vehicle(spec))}};
  const auto rows = Table(csv);
  std::size_t k = 0;
  for (const auto& [id, result] : runs) {
    for (const CycleFigures& f : result.cycles) {
      ASSERT_LT(k, rows.size());
      const auto& row = rows[k++];
      EXPECT_EQ(row.at("id"), id);
      EXPECT_EQ(row.at("status"), "ok") << row.at("message");
      EXPECT_EQ(row.at("cycle"), f.name);
      EXPECT_EQ(row.at("phase"), f.phase);
      EXPECT_EQ(row.at("TestMass"), id == "file" ? "20000" : "");
      EXPECT_EQ(Number(row.at("fuel_economy_km_per_l")), f.fuel_economy_km_per_l) << f.name;
      EXPECT_EQ(Number(row.at("fuel_l")), f.fuel_l) << f.name;
      EXPECT_EQ(Number(row.at("seconds")), f.seconds) << f.name;
      EXPECT_EQ(Number(row.at("distance_percent_of_target")), f.metrics.distance_percent_of_target) << f.name;
      EXPECT_EQ(Number(row.at("energy_engine_positive_kwh")), f.energy.engine_positive_kwh) << f.name;
      EXPECT_EQ(row.at("transient_correction"), f.transient_correction ? "true" : "false") << f.name;
    }
  }
  EXPECT_EQ(rows[0].at("cycle"), "hd-udds");
  EXPECT_EQ(rows[1].at("cycle"), "yard");
  ASSERT_EQ(rows.size(), k + 1);
  EXPECT_EQ(rows[k].at("id"), "bad");
  EXPECT_EQ(rows[k].at("status"), "error");
  EXPECT_EQ(rows[k].at("cycle"), "");
  EXPECT_NE(rows[k].at("message").find("cannot open the cycle file " + (s.path / "routes/none.csv").string()),
            std::string::npos);
  EXPECT_EQ(rows[k].at("fuel_l"), "");
  EXPECT_EQ(rows[k].at("energy_braking_kwh"), "");

  // --out: each row's JSON; a results file only for the standard row.
  EXPECT_TRUE(fs::exists(s.path / "out" / "lib.json"));
  EXPECT_FALSE(fs::exists(s.path / "out" / "lib.txt"));
  EXPECT_FALSE(fs::exists(s.path / "out" / "file.txt"));
  EXPECT_TRUE(fs::exists(s.path / "out" / "std.txt"));
  // A results file an earlier batch wrote under a row's name is removed once the row runs cycles.
  Write(s.path / "again.csv", "id,spec,cycle\nstd,truck/spec.txt,cbd-bus\n");
  EXPECT_EQ(RunBatch(s.path / "again.csv", 1, s.path / "sum2.csv", s.path / "out"), 0);
  EXPECT_FALSE(fs::exists(s.path / "out" / "std.txt"));
  EXPECT_NE(Read(s.path / "out" / "std.json").find("\"name\": \"cbd-bus\""), std::string::npos);
}

// --cycle runs every row of a manifest or sweep over the cycles given; with a manifest's own
// cycle column it is a usage error; a cycle file is an input no row's output may replace.
TEST(BatchCommand, CycleOptionAppliesToEveryRow) {
  Scratch s;
  CopyExample(Examples[3], s.path / "light");
  CommandLine sweep;
  sweep.batch = true;
  sweep.sweep_spec = (s.path / "light" / "spec.txt").string();
  sweep.sweeps = {"TestMass=5000:7000:1000"};
  sweep.cycles = {"cbd-bus", "URBAN"};
  sweep.summary_csv = (s.path / "sweep.csv").string();
  EXPECT_EQ(run_batch_command(sweep), 0);
  const auto rows = Table(Read(s.path / "sweep.csv"));
  ASSERT_EQ(rows.size(), 6u);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    EXPECT_EQ(rows[k].at("id"), std::to_string(k / 2 + 1));
    EXPECT_EQ(rows[k].at("cycle"), k % 2 == 0 ? "cbd-bus" : "URBAN");
    EXPECT_EQ(rows[k].at("TestMass"), std::to_string(5000 + 1000 * (k / 2)));
  }

  Write(s.path / "m.csv", "id,spec,cycle\nx,light/spec.txt,URBAN\n");
  CommandLine both;
  both.batch = true;
  both.manifest = (s.path / "m.csv").string();
  both.cycles = {"URBAN"};
  both.summary_csv = (s.path / "both.csv").string();
  EXPECT_EQ(run_batch_command(both), 2);
  EXPECT_FALSE(fs::exists(s.path / "both.csv"));

  // Two cycles of one name fail the row: its summary rows could not be told apart.
  sweep.cycles = {"cbd-bus", "CBD-BUS"};
  EXPECT_EQ(run_batch_command(sweep), 1);
  const auto same = Table(Read(s.path / "sweep.csv"));
  ASSERT_EQ(same.size(), 3u);
  EXPECT_EQ(same[0].at("message"), "two of the row's cycles are named cbd-bus");

  // The cycle file x.json is read by the row whose id x names the same file in the output folder.
  fs::create_directories(s.path / "out");
  Write(s.path / "out" / "x.json", "time_s,speed_km_per_h\n0,0\n1,10\n2,0\n");
  Write(s.path / "m.csv", "id,spec\nx,light/spec.txt\n");
  both.cycles = {(s.path / "out" / "x.json").string()};
  both.out_dir = (s.path / "out").string();
  EXPECT_EQ(run_batch_command(both), 1);
  const auto refused = Table(Read(s.path / "both.csv"));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].at("message").find("x.json ]: it is an input file of the batch"), std::string::npos)
      << refused[0].at("message");
  EXPECT_EQ(Read(s.path / "out" / "x.json"), "time_s,speed_km_per_h\n0,0\n1,10\n2,0\n");
}

// The per-cycle summary's header and cells follow its column table: a figure's switch is
// true or false, a figure that is none is empty, and a failed row has no figures.
TEST(Summary, PerCycleCellsFollowTheColumnTable) {
  const std::span<const CycleSummaryColumnInfo> table = cycle_summary_column_table();
  ASSERT_EQ(table.size(), 7 + cycle_figure_table().size() + cycle_metric_table().size() + energy_audit_table().size() + 1);
  EXPECT_EQ(table[5].name, "cycle");
  EXPECT_EQ(table[7].name, cycle_figure_table()[0].name);
  EXPECT_EQ(table[table.size() - 2].name, "energy_residual_kwh");
  EXPECT_EQ(table.back().name, "warnings");
  const std::vector<std::string> overrides{"TestMass"};
  EXPECT_EQ(cycle_summary_csv_header(overrides).rfind("id,spec,status,message,category,cycle,phase,", 0), 0u);

  BatchRow batchRow{"r", "s.txt", "s.txt", {{"TestMass", "2e4"}}, "", nullptr, {"hd-udds"}, ""};
  Result result;
  result.classification.values.category_code = "T8";
  CycleFigures f;
  f.name = "hd-udds/creep";
  f.cycle = "hd-udds";
  f.phase = "creep";
  f.fuel_l = 0.25;
  f.seconds = 7;
  f.transient_correction = true;
  f.energy.braking_kwh = 1.5;
  f.metrics.seconds_below_target = 3;
  result.cycles = {f};
  result.warnings = {{RunWarning::Kind::InputWarning, "", 0, "spec.txt:9: odd"},
                     {RunWarning::Kind::CycleMissed, "hd-udds", 0, "missed"},
                     {RunWarning::Kind::CycleMissed, "wvu-city", 0, "other"}};
  const std::vector<CycleSummaryRow> rows = cycle_summary_rows(batchRow, result);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].warnings, "spec.txt:9: odd | missed");
  const std::string line = cycle_summary_csv_line(rows[0]);
  const std::vector<std::string> cells = Split(line.substr(0, line.size() - 1));
  ASSERT_EQ(cells.size(), table.size() + 1);
  std::map<std::string, std::string> cell;
  for (std::size_t k = 0; k < table.size(); ++k) cell[std::string(table[k].name)] = cells[k];
  EXPECT_EQ(cell["status"], "ok");
  EXPECT_EQ(cell["category"], "T8");
  EXPECT_EQ(cell["cycle"], "hd-udds/creep");
  EXPECT_EQ(cell["phase"], "creep");
  EXPECT_EQ(cell["fuel_l"], "0.25");
  EXPECT_EQ(cell["seconds"], "7");
  EXPECT_EQ(cell["transient_correction"], "true");
  EXPECT_EQ(cell["co2_g_per_t_km"], "");
  EXPECT_EQ(cell["seconds_below_target"], "3");
  EXPECT_EQ(cell["energy_braking_kwh"], "1.5");
  EXPECT_EQ(cells.back(), "2e4");

  const std::string failed = cycle_summary_csv_line(cycle_error_row(batchRow, " Cannot open x"));
  EXPECT_EQ(failed, "r,s.txt,error,Cannot open x,,," + std::string(table.size() - 6, ',') + "2e4\n");
}

TEST(Sweep, RangesListsAndTheirProduct) {
  EXPECT_EQ(sweep_values("2.2:2.3:0.02"), (std::vector<std::string>{"2.20", "2.22", "2.24", "2.26", "2.28", "2.30"}));
  // The stop is reached within half a step, without the drift of summed steps.
  EXPECT_EQ(sweep_values("0:1.2:0.3"), (std::vector<std::string>{"0.0", "0.3", "0.6", "0.9", "1.2"}));
  EXPECT_EQ(sweep_values("0:1:0.3"), (std::vector<std::string>{"0.0", "0.3", "0.6", "0.9"}));
  EXPECT_EQ(sweep_values("1:-1:-1"), (std::vector<std::string>{"1", "0", "-1"}));
  EXPECT_EQ(sweep_values("0.47, 0.49,0.51"), (std::vector<std::string>{"0.47", "0.49", "0.51"}));
  EXPECT_EQ(sweep_values("5:5:1"), (std::vector<std::string>{"5"}));
  EXPECT_EQ(sweep_values("1e-1:3e-1:1e-1").size(), 3u);
  for (const char* bad : {"1:2:0", "2:1:0.5", "1:2", "a:2:1", "1,,2", "1:2:nan"}) {
    EXPECT_THROW(sweep_values(bad), Error) << bad;
  }

  const std::vector<std::string> assignments{"FinalRatio=2,3", "IdleStopOn=0,1"};
  const Sweep sweep("spec.txt", assignments);
  ASSERT_EQ(sweep.size(), 4u);
  EXPECT_EQ(sweep.override_columns(), (std::vector<std::string>{"FinalRatio", "IdleStopOn"}));
  const BatchRow third = sweep.row(2);
  EXPECT_EQ(third.id, "3");
  EXPECT_EQ(third.overrides[0].value, "3");
  EXPECT_EQ(third.overrides[1].value, "0");  // the last name varies fastest
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"Colour=1,2"},
                                             std::vector<std::string>{"Kf1=1", "Kf1=2"},
                                             std::vector<std::string>{"Kf1=0:999999:1", "Kf2=0:999999:1", "FinalRatio=0:999999:1"},
                                             std::vector<std::string>{"Kf1=1:1000:1", "Kf2=1:10000:1", "FinalRatio=1,2"}}) {
    EXPECT_THROW(Sweep("spec.txt", bad), Error);
  }
  // The product is limited, not each range: 10^7 rows is the most.
  EXPECT_EQ(Sweep("spec.txt", std::vector<std::string>{"Kf1=1:1000:1", "Kf2=1:10000:1"}).size(), 10'000'000u);
}

TEST(Manifest, QuotedCellsBadRowsAndDefaults) {
  // A byte-order mark before a quoted header; line ends LF, CR LF and lone CR.
  std::istringstream in(
      "\xEF\xBB\xBF\"spec\",id,VehicleName\r"
      "\"a,b.txt\",\"x \"\"1\"\"\",\"two\nlines\"\n"
      "c.txt,,\r\n"
      "d.txt,too,many,cells\r"
      "\"e.txt\"junk,,\n"
      ",,\n"
      "f.txt,big," + std::string(65537, 'v') + "\n"
      "g.txt,wide,\"" + std::string(1 << 20, 'w') + "\"\r"
      "\"open");
  ManifestReader reader(in, "m.csv", "base");
  std::vector<BatchRow> rows;
  while (auto row = reader.next()) rows.push_back(*row);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0].spec, fs::path("base/a,b.txt"));
  EXPECT_EQ(rows[0].spec_name, "a,b.txt");
  EXPECT_EQ(rows[0].id, "x \"1\"");
  EXPECT_EQ(rows[0].overrides[0].value, "two\nlines");
  EXPECT_EQ(rows[0].error, "");
  EXPECT_EQ(rows[1].id, "2");  // the row number
  EXPECT_EQ(rows[1].error, "");
  EXPECT_EQ(rows[2].error, "m.csv line 5: 4 cells where the header has 3");
  EXPECT_NE(rows[3].error.find("text after a quoted cell"), std::string::npos);
  EXPECT_NE(rows[4].error.find("no spec file"), std::string::npos);
  EXPECT_EQ(rows[5].error, "m.csv line 8: a cell is longer than 65536 bytes");
  EXPECT_EQ(rows[6].error, "m.csv line 9: a line is longer than 1048576 bytes");
  EXPECT_LE(rows[5].overrides[0].value.size() + rows[6].overrides[0].value.size(), 2u << 20);
  EXPECT_NE(rows[7].error.find("not closed"), std::string::npos);

  // A cycle column: a library name as written, a file from the base folder, empty for none.
  std::istringstream cycles("spec,cycle\na.txt,Hd-Udds\na.txt,r/route.csv\na.txt,/abs.csv\na.txt,\n");
  ManifestReader withCycles(cycles, "c.csv", "base");
  EXPECT_TRUE(withCycles.cycle_column());
  EXPECT_FALSE(reader.cycle_column());
  EXPECT_TRUE(withCycles.override_columns().empty());
  const std::vector<std::vector<std::string>> expected{{"Hd-Udds"}, {"base/r/route.csv"}, {"/abs.csv"}, {}};
  for (const auto& names : expected) EXPECT_EQ(withCycles.next()->cycles, names);

  const std::pair<std::string, std::string> headers[] = {
      {"spec,finalratio", "unknown column 'finalratio' (not id, spec, cycle, route or a spec-file value; did you mean FinalRatio?)"},
      {"Spec,Kf1", "did you mean spec?"},
      {"spec,Cycles", "did you mean cycle?"},
      {"spec,Colour", "(not id, spec, cycle, route or a spec-file value)"},
      {"spec,,Kf1", "header has no name for column 2"},
      {"spec,Kf1,Kf1", "names the column 'Kf1' twice"}};
  for (const auto& [header, message] : headers) {
    std::istringstream text(header + "\n");
    try {
      ManifestReader refused(text, "m.csv");
      ADD_FAILURE() << header;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

TEST(Summary, CsvCellsAndRows) {
  EXPECT_EQ(csv_cell("plain"), "plain");
  EXPECT_EQ(csv_cell("a,b"), "\"a,b\"");
  EXPECT_EQ(csv_cell("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csv_cell("two\nlines"), "\"two\nlines\"");
  // Valid UTF-8 and backslashes are kept; other bytes and NUL are escaped, reversibly.
  EXPECT_EQ(csv_cell("\xE6\x97\xA5 C:\\dir\\x"), "\xE6\x97\xA5 C:\\dir\\x");
  EXPECT_EQ(csv_cell(std::string("a\0b\x8E\x80", 5)), "a\\x00b\\x8E\\x80");
  // ASCII alone too: a NUL, and a backslash that would read as an escape.
  EXPECT_EQ(csv_cell(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(csv_cell("C:\\x41"), "C:\\\\x41");
  EXPECT_EQ(escape_bytes("\xE6\x97"), "\\xE6\\x97");  // a cut sequence
  EXPECT_EQ(escape_bytes("\xED\xA0\x80\xC0\xAF"), "\\xED\\xA0\\x80\\xC0\\xAF");  // surrogate, overlong
  EXPECT_EQ(escape_bytes("\\x41"), "\\\\x41");  // only a backslash that would read as an escape is doubled
  for (const std::string text : {"\\x41", "\\\\x4g\\", "\\\xFF", "\\\\\xFF\\x41\\", "\xF0\x9F\x98\x80\xF4\x90", "\\\\x00"}) {
    const std::string escaped = escape_bytes(text);
    EXPECT_EQ(unescape_bytes(escaped), text) << escaped;
    for (std::size_t k = 0; k < escaped.size(); k += utf8_sequence_length(escaped, k)) {
      ASSERT_NE(utf8_sequence_length(escaped, k), 0u) << escaped;
    }
  }
  // Formula-like text gets a leading apostrophe; numbers, and plain text, stay as they are.
  EXPECT_EQ(csv_cell("=1+2"), "'=1+2");
  EXPECT_EQ(csv_cell("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(csv_cell("+cmd|x"), "'+cmd|x");
  EXPECT_EQ(csv_cell("-x,y"), "\"'-x,y\"");
  EXPECT_EQ(csv_cell("''=x"), "'''=x");  // one more apostrophe, taken off again on reading
  for (const char* kept : {"-0.01", "+2.5", "-1e-3", "'-0.01", "'quoted", "a=b"}) EXPECT_EQ(csv_cell(kept), kept);
  const std::vector<std::string> columns{"FinalRatio"};
  const std::string header = summary_csv_header(columns);
  BatchRow row{"r,1", "x.txt", "x.txt", {{"FinalRatio", "3"}}, "", nullptr, {}, ""};
  const std::string line = summary_csv_line(error_row(row, "  Cannot open spec-file : x.txt"));
  EXPECT_EQ(line, "\"r,1\",x.txt,error,Cannot open spec-file : x.txt" + std::string(22, ',') + "3\n");
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), std::count(line.begin(), line.end(), ',') - 1);
}

// The summary's header names the table's columns, and every cell written is the value the
// table's member holds, in the table's order.
TEST(Summary, HeaderAndCellsFollowTheColumnTable) {
  const std::span<const SummaryColumnInfo> table = summary_column_table();
  std::string names;
  for (const SummaryColumnInfo& c : table) names += (names.empty() ? "" : ",") + std::string(c.name);
  EXPECT_EQ(summary_csv_header({}), names + "\n");
  // Columns added later come last, so that earlier ones keep their places.
  EXPECT_EQ(table.size(), 25u);
  EXPECT_EQ(table[23].name, "highway_seconds_at_full_load");
  EXPECT_EQ(table.back().name, "warnings");

  SummaryRow row;
  std::vector<std::string> expected;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const SummaryColumnInfo& c = table[k];
    SummaryCell cell;
    switch (c.kind) {
      case SummaryKind::Text: cell = "t" + std::to_string(k); expected.push_back("t" + std::to_string(k)); break;
      case SummaryKind::Bool: cell = true; expected.push_back("ok"); break;
      case SummaryKind::Number: cell = k + 0.25; expected.push_back(std::to_string(k) + ".25"); break;
      case SummaryKind::Whole: cell = static_cast<int32_t>(k); expected.push_back(std::to_string(k)); break;
    }
    set_summary_cell(row, c, cell);
    EXPECT_EQ(get_summary_cell(row, c), cell) << c.name;
    EXPECT_THROW(set_summary_cell(row, c, c.kind == SummaryKind::Text ? SummaryCell(1.0) : SummaryCell("x")),
                 std::invalid_argument);
  }
  std::string joined;
  for (const std::string& cell : expected) joined += (joined.empty() ? "" : ",") + cell;
  EXPECT_EQ(summary_csv_line(row), joined + "\n");
}

TEST(Overrides, ReadLikeSpecValuesOneValuePerCell) {
  SpecValues v;
  apply_override(v, "FinalRatio", " 2.5 ");
  apply_override(v, "Kf2", "1.05D0");
  apply_override(v, "IdleStopOn", "1");
  apply_override(v, "EngineFile", "'my engine.txt'");
  EXPECT_EQ(v.final_ratio, 2.5);
  EXPECT_EQ(v.kf2, 1.05);
  EXPECT_EQ(v.idle_stop_on, 1);
  EXPECT_EQ(v.engine_file, "my engine.txt");
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"FinalRatio", "2.5x"}, {"FinalRatio", "2 3"}, {"FinalRatio", "/"}, {"FinalRatio", "2*3"},
           {"IdleStopOn", "1.5"}, {"Kf1", ""}, {"EngineFile", "a b.txt"}}) {
    EXPECT_THROW(apply_override(v, name, text), Error) << name << "=" << text;
  }
  EXPECT_EQ(v.final_ratio, 2.5);  // a failed override leaves the values as they were
  try {
    apply_override(v, "Colour", "red");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Usage);
  }
}

// Every spec value reads back as set, through the table and through an override of its
// file name (the member name is no override column).
TEST(Overrides, EveryValueOfTheTableRoundTrips) {
  for (const SpecValueInfo& info : spec_value_table()) {
    SCOPED_TRACE(std::string(info.file_name));
    EXPECT_EQ(find_spec_value(info.file_name), &info);
    EXPECT_EQ(find_spec_value(info.name), &info);
    SpecValues v;
    const auto [given, text] = [&]() -> std::pair<SpecValue, std::string> {
      switch (info.kind) {
        case ValueKind::Text: return {std::string("name.txt"), "name.txt"};
        case ValueKind::Real: return {2.75, "2.75"};
        case ValueKind::Integer: return {int32_t{7}, "7"};
        case ValueKind::OptionalReal: return {std::optional<double>(2.75), "2.75"};
        case ValueKind::Switch: break;
      }
      return {true, "1"};
    }();
    set_spec_value(v, info, given);
    EXPECT_EQ(get_spec_value(v, info), given);
    SpecValues fromText;
    if (info.kind == ValueKind::Switch) set_spec_value(fromText, info, false);
    apply_override(fromText, info.file_name, text);
    EXPECT_EQ(get_spec_value(fromText, info), given);
    EXPECT_THROW(apply_override(fromText, info.name, text), Error);
    EXPECT_THROW(set_spec_value(v, info, info.kind == ValueKind::Text ? SpecValue(1.0) : SpecValue("x")), Error);
  }
}

TEST(RunBatch, HandsRowsBackInOrderAndStopsWhenTheConsumerFails) {
  const fs::path spec = fs::path(HDFE_SOURCE_DIR) / "examples" / Examples[3] / "spec.txt";
  const std::vector<std::string> assignments{"FinalRatio=4:6:0.25"};
  const Sweep sweep(spec, assignments);
  std::size_t next = 0;
  std::vector<std::size_t> order;
  BatchOptions options;
  options.jobs = 3;
  options.window = 2;
  run_batch([&]() -> std::optional<BatchRow> { return next < sweep.size() ? std::optional(sweep.row(next++)) : std::nullopt; },
            options, [&](BatchOutcome& o) { order.push_back(o.index); });
  ASSERT_EQ(order.size(), sweep.size());
  for (std::size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], k);

  next = 0;
  EXPECT_THROW(run_batch([&]() -> std::optional<BatchRow> { return sweep.row(next++ % sweep.size()); }, options,
                         [&](BatchOutcome& o) {
                           if (o.index == 3) throw std::runtime_error("disk full");
                         }),
               std::runtime_error);

  // A job count far above the rows or the cores starts no more workers than either allows.
  const auto threads = [] { return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()); };
  const long before = threads();
  const long cap = std::min<long>(sweep.size(), 4 * std::max(1u, std::thread::hardware_concurrency()));
  for (const unsigned jobs : {2000u, 2147483647u}) {
    next = 0;
    options.jobs = jobs;
    options.window = 0;
    long most = 0;
    run_batch([&]() -> std::optional<BatchRow> { return next < sweep.size() ? std::optional(sweep.row(next++)) : std::nullopt; },
              options, [&](BatchOutcome&) { most = std::max(most, threads() - before); });
    EXPECT_LE(most, cap) << jobs;
  }
}

// The rows of a batch read each file once, and what the text of a vehicle's files gives
// (its warnings and value lines) is worked out once per set of files: every row of the
// same files holds the same, and it is what a plain load finds.
TEST(InputCache, VehiclesOfTheSameFilesShareTheirInputText) {
  Scratch scratch;
  const fs::path a = CopyExample(Examples[0], scratch.path / "a");
  const fs::path b = CopyExample(Examples[0], scratch.path / "b");
  Write(b.parent_path() / "fuelmap.txt", "\xEF\xBB\xBF" + Read(b.parent_path() / "fuelmap.txt"));  // a warning of b's text
  InputCache cache;
  SpecValues edited = cache.spec(a.string());
  edited.final_ratio = 3.0;
  const Vehicle a1 = load_vehicle(cache.spec(a.string()), a, {}, cache);
  const Vehicle a2 = load_vehicle(edited, a, {}, cache);
  const Vehicle b1 = load_vehicle(cache.spec(b.string()), b, {}, cache);
  ASSERT_TRUE(a1.text && b1.text);
  EXPECT_EQ(a1.text, a2.text);
  EXPECT_NE(a1.text, b1.text);
  const auto messages = [](const Vehicle& v) {
    std::vector<std::string> found;
    for (const CheckFinding& f : v.text->findings) found.push_back(f.file + ":" + std::to_string(f.line) + " " + f.message);
    return found;
  };
  EXPECT_EQ(messages(a1), messages(load_vehicle(a)));
  EXPECT_EQ(messages(b1), messages(load_vehicle(b)));
  EXPECT_EQ(messages(b1).size(), messages(a1).size() + 1);
  EXPECT_EQ(b1.text->lines, load_vehicle(b).text->lines);
}

// A row's vehicle is the one loaded before for its spec file and file names, with the row's
// values: what a fresh load of those values gives, failing where loading fails.
TEST(InputCache, RowsOfOneSpecFileCopyTheVehicleLoadedForItsFileNames) {
  Scratch scratch;
  const fs::path spec = CopyExample(Examples[0], scratch.path / "a");
  fs::copy_file(spec.parent_path() / "engine.txt", spec.parent_path() / "engine2.txt");
  InputCache cache;
  const auto files = [](const Vehicle& v) {
    std::vector<std::string> out;
    for (const InputFile& f : v.files) out.push_back(f.role + " " + f.name + " " + f.path.string() + " " + f.sha256);
    return out;
  };
  const auto expectLoaded = [&](const SpecValues& values, const LoadOptions& options) {
    const Vehicle fresh = load_vehicle(values, spec, options);
    const Vehicle v = cache.vehicle(values, spec, options);
    EXPECT_EQ(v.values.final_ratio, values.final_ratio);
    EXPECT_EQ(v.values.engine_file, values.engine_file);
    EXPECT_EQ(files(v), files(fresh));
    EXPECT_EQ(v.fuel_map.fuel_rates_l_per_h, fresh.fuel_map.fuel_rates_l_per_h);
    EXPECT_EQ(v.full_load.torques_nm, fresh.full_load.torques_nm);
    ASSERT_TRUE(v.text);
    EXPECT_EQ(v.text->lines, fresh.text->lines);
    EXPECT_EQ(run(v).average_fuel_economy_km_per_l, run(fresh).average_fuel_economy_km_per_l);
  };
  SpecValues values = cache.spec(spec.string());
  // The first row with a category that does not exist loads nothing for the others.
  values.category_code = "ZZ9";
  EXPECT_THROW(cache.vehicle(values, spec, {}), Error);
  values.category_code = "TT1";
  for (const double ratio : {2.4, 3.1}) {
    values.final_ratio = ratio;
    expectLoaded(values, {});
  }
  LoadOptions noDigests;
  noDigests.digests = false;
  expectLoaded(values, noDigests);
  values.engine_file = "engine2.txt";
  expectLoaded(values, {});
  // A kept vehicle is still checked as loading checks it.
  values.category_code = "ZZ9";
  std::string loadError, cacheError;
  try {
    load_vehicle(values, spec);
  } catch (const Error& e) {
    loadError = e.what();
  }
  try {
    cache.vehicle(values, spec, {});
  } catch (const Error& e) {
    cacheError = e.what();
  }
  EXPECT_FALSE(loadError.empty());
  EXPECT_EQ(cacheError, loadError);
}

}  // namespace

}  // namespace hdfe
