// The library: figures against the approved results files, threads, name resolution,
// edits and error kinds.
#include "hdfe/hdfe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "io/fields.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const char* const Examples[] = {"tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6", "bus_BR4_220kW_AT6",
                                "lighttruck_T3_130kW_MT6"};

fs::path ExampleSpec(const char* name) { return fs::path(HDFE_SOURCE_DIR) / "examples" / name / "spec.txt"; }

// The fuel-economy fields (F8.4) of an approved results file, in file order: URBAN three,
// HIGHWAY two, AVERAGE, MID-TOWN three.
std::vector<std::string> ApprovedEconomies(const char* name) {
  std::ifstream in(fs::path(HDFE_SOURCE_DIR) / "tests/e2e/approved" / name / "result.txt", std::ios::binary);
  std::vector<std::string> fields;
  std::string line;
  while (std::getline(in, line) && fields.size() < 9) {
    const auto at = line.find("FC(km/l)\t");
    if (at != std::string::npos) fields.push_back(line.substr(at + 9, 8));
  }
  return fields;
}

std::vector<std::string> Economies(const Result& r) {
  const CycleFigures& u = r.cycle("URBAN");
  const CycleFigures& h = r.cycle("HIGHWAY");
  const CycleFigures& m = r.cycle("MID-TOWN");
  std::vector<std::string> fields;
  for (const double value :
       {u.fuel_economy_before_transient_km_per_l, u.fuel_economy_after_transient_km_per_l, u.fuel_economy_km_per_l,
        h.fuel_economy_before_transient_km_per_l, h.fuel_economy_km_per_l, r.average_fuel_economy_km_per_l,
        m.fuel_economy_before_transient_km_per_l, m.fuel_economy_after_transient_km_per_l, m.fuel_economy_km_per_l}) {
    fields.push_back(format_f(value, 8, 4));
  }
  return fields;
}

// Every figure of the run, bit for bit, for comparing runs.
std::vector<uint64_t> Bits(const Result& r) {
  std::vector<uint64_t> bits;
  const auto add = [&](double v) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    bits.push_back(b);
  };
  for (const CycleFigures& f : r.cycles) {
    for (const double v : {f.average_speed_km_per_h, f.distance_km, f.fuel_l, f.fuel_economy_km_per_l,
                           f.metrics.distance_percent_of_target, f.metrics.largest_shortfall_km_per_h}) {
      add(v);
    }
  }
  add(r.average_fuel_economy_km_per_l);
  bits.push_back(r.warnings.size());
  bits.push_back(r.findings.size());
  return bits;
}

TEST(Api, FiguresEqualTheApprovedResultsFiles) {
  for (const char* name : Examples) {
    SCOPED_TRACE(name);
    const Result r = run(load_vehicle(ExampleSpec(name)));
    EXPECT_EQ(Economies(r), ApprovedEconomies(name));
    ASSERT_EQ(r.cycles.size(), 3u);
    EXPECT_EQ(r.cycles[0].name, "URBAN");
    EXPECT_EQ(r.cycles[1].name, "HIGHWAY");
    EXPECT_EQ(r.cycles[2].name, "MID-TOWN");
    // Distance over fuel is the economy before the converter factor.
    const CycleFigures& h = r.cycle("HIGHWAY");
    const double factor = r.classification.transmission.transmission_type == 1 ? 0.96 : 1.0;
    EXPECT_NEAR(h.distance_km / h.fuel_l * factor, h.fuel_economy_before_transient_km_per_l, 1e-9);
    EXPECT_NEAR(r.cycle("URBAN").target_distance_km, 13.892, 0.001);
    EXPECT_TRUE(r.traces.empty());
  }
  EXPECT_THROW(run(load_vehicle(ExampleSpec(Examples[0]))).cycle("SUBURBAN"), std::out_of_range);
}

TEST(Api, TracesWhenAskedFor) {
  RunOptions options;
  options.traces = true;
  const Result r = run(load_vehicle(ExampleSpec("truck_T8_175kW_MT6")), options);
  ASSERT_EQ(r.traces.size(), 2u);
  EXPECT_EQ(r.traces[0].name, "URBAN");
  EXPECT_EQ(r.traces[0].trace.speed_km_per_h.size(), 1830u);
  EXPECT_EQ(r.traces[1].trace.fuel_rate_l_per_h.size(), 3120u);
  double fuel = 0.0;
  for (const double fc : r.traces[1].trace.fuel_rate_l_per_h) fuel += fc;
  EXPECT_EQ(fuel / 3600.0, r.cycle("HIGHWAY").fuel_l);
}

TEST(Api, ManyThreadsGetTheSameFigures) {
  std::vector<Vehicle> vehicles;
  std::vector<std::vector<uint64_t>> expected;
  for (const char* name : Examples) {
    vehicles.push_back(load_vehicle(ExampleSpec(name)));
    expected.push_back(Bits(run(vehicles.back())));
  }
  constexpr int Rounds = 5;
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < Rounds; ++round) {
        const std::size_t k = (t + static_cast<std::size_t>(round)) % vehicles.size();
        if (Bits(run(vehicles[k])) != expected[k]) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(Api, NamesInsideFilesAreTakenFromTheSpecFolderOrTheGivenBase) {
  const fs::path spec = ExampleSpec("truck_T8_175kW_MT6");
  const Vehicle v = load_vehicle(spec);  // from any working folder
  ASSERT_EQ(v.files.size(), 6u);
  EXPECT_EQ(v.files[0].role, "spec");
  EXPECT_EQ(v.files[2].role, "engine");
  EXPECT_EQ(v.files[2].name, "engine.txt");
  EXPECT_EQ(v.files[2].path, spec.parent_path() / "engine.txt");
  for (const InputFile& f : v.files) EXPECT_TRUE(fs::is_regular_file(f.path)) << f.path;

  // From the working folder, names as written: here they are missing.
  try {
    load_vehicle(spec, LoadOptions{fs::path()});
    ADD_FAILURE() << "loaded from the wrong folder";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::MissingFile);
    EXPECT_EQ(e.file(), "transmission.txt");
    EXPECT_EQ(std::string(e.what()), "Cannot open transmission file [ transmission.txt ]");
  }
}

TEST(Api, EditedValuesTakeEffect) {
  Vehicle v = load_vehicle(ExampleSpec("truck_T8_175kW_MT6"));
  const Result base = run(v);
  v.values.final_ratio *= 1.1;
  const Result shorter = run(v);
  EXPECT_NE(shorter.cycle("HIGHWAY").fuel_economy_km_per_l, base.cycle("HIGHWAY").fuel_economy_km_per_l);
  EXPECT_EQ(shorter.classification.transmission.final_ratio, v.values.final_ratio);

  v = load_vehicle(ExampleSpec("truck_T8_175kW_MT6"));
  v.values.kf1 = 2.0;
  v.values.idle_stop_on = 0;
  v.values.stop_delay_s = 5;
  const Result edited = run(v);
  EXPECT_EQ(edited.classification.values.stop_delay_s, 999);
  EXPECT_EQ(edited.cycle("URBAN").kf, 2.0);
  EXPECT_EQ(edited.cycle("URBAN").fuel_economy_km_per_l,
            2.0 * edited.cycle("URBAN").fuel_economy_after_transient_km_per_l);
}

// Each kind of failure, with the file where there is one.
TEST(Api, ErrorKinds) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-api-errors-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(ExampleSpec("truck_T8_175kW_MT6").parent_path(), dir);
  const auto spec_with = [&](int line, const std::string& text) {
    std::ifstream in(ExampleSpec("truck_T8_175kW_MT6"));
    std::ostringstream out;
    std::string l;
    for (int k = 0; std::getline(in, l); ++k) out << (k == line ? text : l) << "\n";
    const fs::path edited = dir / ("edited" + std::to_string(line) + ".txt");
    std::ofstream(edited) << out.str();
    return edited;
  };
  struct Case {
    fs::path spec;
    ErrorKind kind;
  };
  const Case cases[] = {
      {dir / "none.txt", ErrorKind::MissingFile},
      {spec_with(1, "X99"), ErrorKind::UnknownCategory},
      {spec_with(4, "abc"), ErrorKind::BadValue},
      {spec_with(5, "0"), ErrorKind::VehicleCheck},
  };
  for (const Case& c : cases) {
    try {
      run(load_vehicle(c.spec));
      ADD_FAILURE() << "no error for " << error_kind_name(c.kind);
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      EXPECT_FALSE(e.message().empty());
    }
  }
  std::ofstream(dir / "short.txt") << "'name'\nT8\n";
  try {
    load_vehicle(dir / "short.txt");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EndOfFile);
    EXPECT_EQ(e.file(), (dir / "short.txt").string());
  }
  const std::runtime_error& base = Error(ErrorKind::Interpolation, "a").with_detail("b").with_detail("c");
  EXPECT_STREQ(base.what(), "a; b; c");
  fs::remove_all(dir);
}

}  // namespace

}  // namespace hdfe
