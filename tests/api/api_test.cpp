// The library: figures against the approved results files, threads, name resolution,
// edits and error kinds.
#include "hdfe/hdfe.h"
#include "hdfe/tables.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "hdfe/bytetext.h"
#include "hdfe/check.h"
#include "hdfe/report.h"
#include "hdfe/values.h"
#include "hdfe/tables.h"
#include "io/digest.h"
#include "io/fields.h"
#include "run/plausibility.h"

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
    const double factor = r.classification.transmission.type == TransmissionType::TorqueConverter ? 0.96 : 1.0;
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

  // The trace table, its CSV and the JSON's metrics follow their tables.
  const std::span<const TraceColumnInfo> columns = trace_column_table();
  const TraceTable table = trace_table(r);
  EXPECT_EQ(table.cycles, (std::vector<std::string>{"URBAN", "HIGHWAY"}));
  EXPECT_EQ(table.rows, (std::vector<int64_t>{1830, 3120}));
  ASSERT_EQ(table.columns.size(), columns.size());
  std::string header = "cycle";
  for (std::size_t c = 0; c < columns.size(); ++c) {
    header += "," + std::string(columns[c].name);
    ASSERT_EQ(table.columns[c].size(), 4950u) << columns[c].name;
    if (columns[c].whole_number) {
      for (const double value : table.columns[c]) ASSERT_EQ(value, std::trunc(value)) << columns[c].name;
    }
    if (columns[c].name == "cumulative_fuel_l") {
      EXPECT_EQ(table.columns[c][1829], r.cycle("URBAN").fuel_l);
      EXPECT_EQ(table.columns[c].back(), r.cycle("HIGHWAY").fuel_l);
    }
    if (columns[c].name == "distance_km") {
      EXPECT_EQ(table.columns[c].back(), r.cycle("HIGHWAY").distance_km);
    }
  }
  // Row for row, each value in the shortest form that reads back the same.
  std::string csv = header + "\n";
  for (std::size_t k = 0; k < 4950; ++k) {
    csv += k < 1830 ? "URBAN" : "HIGHWAY";
    for (const std::vector<double>& column : table.columns) {
      char text[32];
      csv += ',';
      csv.append(text, std::to_chars(text, text + sizeof text, column[k]).ptr);
    }
    csv += '\n';
  }
  EXPECT_EQ(trace_csv(r), csv);
  EXPECT_EQ(header, TraceCsvHeader);
  // The engine torque splits into the engine's own and the brakes' part, which slowing down
  // in gear uses; in neutral the engine's own is the whole.
  int braked = 0;
  for (const CycleRun& cycle : r.traces) {
    const CycleTrace& t = cycle.trace;
    ASSERT_EQ(t.engine_own_torque_nm.size(), t.engine_torque_nm.size());
    ASSERT_EQ(t.braking_torque_nm.size(), t.engine_torque_nm.size());
    for (std::size_t k = 0; k < t.engine_torque_nm.size(); ++k) {
      EXPECT_LE(t.braking_torque_nm[k], 0.0) << k;
      EXPECT_NEAR(t.engine_own_torque_nm[k] + t.braking_torque_nm[k], t.engine_torque_nm[k], 1e-9) << k;
      if (t.gear[k] == 0) {
        EXPECT_EQ(t.braking_torque_nm[k], 0.0) << k;
      }
      braked += t.braking_torque_nm[k] < 0.0 ? 1 : 0;
    }
  }
  EXPECT_GT(braked, 50);

  Vehicle named = load_vehicle(ExampleSpec("truck_T8_175kW_MT6"));
  // A path with bytes that are not UTF-8 (a Latin-1 name) is stored so that it still names the file.
  const std::string latin1 = "/data/caf\xE9 \\x41/spec.txt";
  named.files[0].name = "caf\xE9";
  named.files[0].path = latin1;
  const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(result_json(named, r));
  EXPECT_EQ(doc["inputs"][0]["path"], "/data/caf\\xE9 \\\\x41/spec.txt");
  EXPECT_EQ(unescape_bytes(doc["inputs"][0]["path"].get<std::string>()), latin1);
  EXPECT_EQ(doc["inputs"][0]["name"], "caf\\xE9");
  for (const nlohmann::ordered_json& cycle : doc["cycles"]) {
    const CycleMetrics& m = r.cycle(cycle["name"].get<std::string>()).metrics;
    std::vector<std::string> keys;
    for (const auto& [key, value] : cycle["metrics"].items()) keys.push_back(key);
    ASSERT_EQ(keys.size(), cycle_metric_table().size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const MetricInfo& metric = cycle_metric_table()[k];
      EXPECT_EQ(keys[k], metric.name);
      std::visit([&](auto member) { EXPECT_EQ(cycle["metrics"][keys[k]], m.*member) << keys[k]; }, metric.member);
    }
  }
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
  // Each file's digest is of the bytes its reader read.
  for (const InputFile& f : v.files) {
    std::ifstream in(f.path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(f.sha256, sha256_hex(bytes)) << f.path;
  }

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

// Published SHA-256 digests, and files whose sizes fall on and around the padding's and
// the reading block's boundaries, digested whole and from the file.
TEST(Api, Sha256Digests) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256_hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
                       "nopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(sha256_hex(std::string(1'000'000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  const fs::path path = fs::temp_directory_path() / ("hdfe_digest_" + std::to_string(::getpid()));
  for (const std::size_t size : {55, 56, 63, 64, 65, 119, 120, 65535, 65536, 65537, 200'000}) {
    std::string bytes(size, '\0');
    for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<char>(k * 131 % 251);
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EQ(file_sha256(path), sha256_hex(bytes)) << size;
    EXPECT_NE(sha256_hex(bytes), sha256_hex(bytes.substr(1))) << size;
  }
  fs::remove(path);
  EXPECT_EQ(file_sha256(path), "");
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

// Fuel per 100 km and CO2 follow from the final figure in one stated order; the engineering
// values change the run only where they are set, and mark it.
TEST(Api, EngineeringValuesAndTheFiguresOfEveryRun) {
  const Vehicle standard = load_vehicle(ExampleSpec("bus_BR4_220kW_AT6"));
  const Result base = run(standard);
  EXPECT_FALSE(base.engineering);
  const double payload = (77 * 55.0) * 0.35;  // BR4: crew 77, load factor 0.35
  const double converter[] = {0.91, 0.96, 0.91};
  for (std::size_t k = 0; k < base.cycles.size(); ++k) {
    const CycleFigures& f = base.cycles[k];
    SCOPED_TRACE(f.name);
    EXPECT_EQ(f.cycle, k == 1 ? "HIGHWAY" : "URBAN");
    EXPECT_EQ(f.phase, "");
    EXPECT_EQ(f.converter_factor, converter[k]);  // a torque-converter automatic
    EXPECT_EQ(f.fuel_consumption_l_per_100km, 100.0 / f.fuel_economy_km_per_l);
    EXPECT_EQ(f.co2_g_per_km, ((1.0 / f.fuel_economy_km_per_l) * 2.62) * 1000.0);
    EXPECT_EQ(f.payload_kg, payload);
    ASSERT_TRUE(f.co2_g_per_t_km.has_value());
    EXPECT_EQ(*f.co2_g_per_t_km, f.co2_g_per_km / (payload / 1000.0));
  }
  EXPECT_EQ(run(load_vehicle(ExampleSpec("truck_T8_175kW_MT6"))).cycle("URBAN").converter_factor, 1.0);

  // The standard test weight given as TestMass runs bit for bit as the standard vehicle.
  Vehicle v = standard;
  v.values.test_mass_kg = base.classification.spec.test_weight_kg;
  const Result same = run(v);
  EXPECT_TRUE(same.engineering);
  EXPECT_EQ(Bits(same), Bits(base));
  EXPECT_EQ(same.classification.values.test_mass_kg, v.values.test_mass_kg);
  // ... and then carries the test mass above the empty bus.
  EXPECT_EQ(same.cycle("URBAN").payload_kg, base.classification.spec.test_weight_kg - 8654.0);

  // The CO2 of another fuel changes CO2 alone; a payload of 0 gives no g/t·km.
  v = standard;
  v.values.co2_kg_per_l = 2.0;
  v.values.payload_kg = 0.0;
  v.values.test_mass_kg = base.classification.spec.test_weight_kg;
  const Result fuel = run(v);
  EXPECT_EQ(Bits(fuel), Bits(base));
  EXPECT_EQ(fuel.cycle("HIGHWAY").co2_g_per_km, ((1.0 / base.cycle("HIGHWAY").fuel_economy_km_per_l) * 2.0) * 1000.0);
  EXPECT_FALSE(fuel.cycle("HIGHWAY").co2_g_per_t_km.has_value());
  EXPECT_EQ(fuel.cycle("HIGHWAY").payload_kg, 0.0);

  // A drag area and rolling resistance of the user's: less drag, less fuel.
  v = standard;
  v.values.cda_m2 = 3.0;
  v.values.rolling_resistance = 0.004;
  const Result slippery = run(v);
  EXPECT_EQ(slippery.classification.spec.mu_roll, 0.004 * 9.8);
  EXPECT_LT(slippery.cycle("HIGHWAY").fuel_l, base.cycle("HIGHWAY").fuel_l);
  EXPECT_LT(slippery.cycle("HIGHWAY").energy.air_drag_kwh, base.cycle("HIGHWAY").energy.air_drag_kwh);

  const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(result_json(v, slippery));
  EXPECT_EQ(doc["engineering"], true);
  EXPECT_EQ(doc["vehicle"]["CdA"], 3.0);
  EXPECT_TRUE(doc["vehicle"]["TestMass"].is_null());
  EXPECT_EQ(doc["cycles"][1]["energy"]["air_drag_kwh"], slippery.cycle("HIGHWAY").energy.air_drag_kwh);

  // Without the audit the figures are the same bits and the audit's terms stay 0.
  RunOptions unaudited;
  unaudited.energy_audit = false;
  const Result quick = run(v, unaudited);
  EXPECT_EQ(Bits(quick), Bits(slippery));
  for (const CycleFigures& f : quick.cycles) {
    for (const EnergyTermInfo& term : energy_audit_table()) EXPECT_EQ(f.energy.*term.member, 0.0) << f.name;
  }
}

// A list or curve edited in memory runs as the same edit made in the file would, or stops
// with an Error: never a silent mix of the two.
TEST(Api, EditsInMemoryEqualEditedFilesOrStop) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-api-edits-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(ExampleSpec("tractor_TT1_325kW_AMT12").parent_path(), dir);
  Vehicle edited = load_vehicle(dir / "spec.txt");
  edited.transmission.aux_ratios = {1.0, 0.78};
  {
    std::ifstream in(dir / "transmission.txt");
    std::ostringstream text;
    text << in.rdbuf();
    std::string t = text.str();
    const std::string one = "1   AuxRatioCount\n1.0   aux ratio 1\n";
    const auto at = t.find(one);
    ASSERT_NE(at, std::string::npos) << t;
    t.replace(at, one.size(), "2   AuxRatioCount\n1.0\n0.78\n");
    std::ofstream(dir / "transmission.txt", std::ios::trunc) << t;
  }
  EXPECT_EQ(Bits(run(edited)), Bits(run(load_vehicle(dir / "spec.txt"))));

  const auto stops = [&](auto edit, const char* expected) {
    Vehicle v = load_vehicle(dir / "spec.txt");
    edit(v);
    try {
      run(v);
      ADD_FAILURE() << "no error for " << expected;
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::VehicleCheck);
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  };
  stops([](Vehicle& v) { v.full_load.torques_nm.resize(3); }, "speeds and 3 torques");
  stops([](Vehicle& v) { std::swap(v.motoring.speeds_rpm[0], v.motoring.speeds_rpm[1]); }, "sorted by speed");
  stops([](Vehicle& v) { v.fuel_map.fuel_rates_l_per_h.pop_back(); }, "fuel rates: every point needs both");
  stops([](Vehicle& v) { v.fuel_map.torques_nm[2] = std::nan(""); }, "point 3 is not a pair of finite numbers");
  fs::remove_all(dir);
}

// A spec number's table range is the one the run accepts: at the edge of its range the run
// refuses the vehicle and --check reports an error at the value's line; just inside, both
// accept it. An engineering value is in no file: the run alone refuses it, by name, and when
// it is not finite; outside its usual range it warns without naming a file.
TEST(Api, SpecValueRangesAreWhatTheRunAndTheCheckAccept) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-api-ranges-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(ExampleSpec("truck_T8_175kW_MT6").parent_path(), dir);
  std::ifstream in(dir / "spec.txt", std::ios::binary);
  const std::string spec{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // --check takes the names inside the files from the working directory, as a run does.
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const std::span<const SpecValueInfo> table = spec_value_table();
  std::size_t engineering = 0;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const SpecValueInfo& info = table[k];
    const bool inFile = info.kind != ValueKind::OptionalReal;
    // Values just outside and just inside the range.
    std::vector<std::pair<double, bool>> values;
    if (info.above) {
      values.emplace_back(*info.above, false);
      values.emplace_back(!inFile && info.usual_min ? *info.usual_min : *info.above + 0.5, true);
    }
    if (info.min) {
      values.emplace_back(*info.min - 0.5, false);
      values.emplace_back(*info.min, true);
    }
    if (info.max) {
      values.emplace_back(*info.max + 0.5, false);
      values.emplace_back(*info.max, true);
    }
    if (!inFile) {
      ++engineering;
      values.emplace_back(INFINITY, false);
      values.emplace_back(NAN, false);
    }
    if (values.empty()) continue;
    SCOPED_TRACE(std::string(info.file_name));
    for (const auto& [value, inside] : values) {
      SCOPED_TRACE(value);
      Vehicle v = load_vehicle(dir / "spec.txt");
      set_spec_value(v.values, info, value);
      if (inside) {
        EXPECT_NO_THROW(run(v));
      } else if (inFile) {
        EXPECT_THROW(run(v), Error);
      } else {
        try {
          run(v);
          ADD_FAILURE() << "run accepted it";
        } catch (const Error& e) {
          EXPECT_EQ(e.kind(), ErrorKind::VehicleCheck);
          EXPECT_EQ(e.message().rfind(std::string(info.file_name) + " is ", 0), 0u) << e.message();
        }
      }
      if (!inFile) continue;
      // The same value on the value's line (one value per line, in table order).
      std::istringstream lines(spec);
      std::string edited, line;
      for (std::size_t n = 0; std::getline(lines, line); ++n) edited += (n == k ? std::to_string(value) : line) + "\n";
      std::ofstream(dir / "edited.txt", std::ios::binary) << edited;
      const std::vector<CheckFinding> findings = check_findings("edited.txt");
      std::size_t errors = 0;
      for (const CheckFinding& f : findings) errors += f.severity == CheckFinding::Severity::Error ? 1 : 0;
      EXPECT_EQ(errors, inside ? 0u : 1u);
      if (!inside && !findings.empty()) {
        EXPECT_EQ(findings.front().line, static_cast<int64_t>(k + 1));
        EXPECT_EQ(findings.front().message.rfind(std::string(info.file_name) + " is ", 0), 0u) << findings.front().message;
      }
    }
  }
  EXPECT_EQ(engineering, 6u);
  Vehicle heavy = load_vehicle(dir / "spec.txt");
  heavy.values.test_mass_kg = 90000.0;
  // The truck cannot follow the cycles at 90 t, and says so after the input warning.
  const Result heavyRun = run(heavy);
  ASSERT_FALSE(heavyRun.warnings.empty());
  EXPECT_EQ(heavyRun.warnings.front().kind, RunWarning::Kind::InputWarning);
  EXPECT_EQ(heavyRun.warnings.front().message, "TestMass is 90000 kg, usually from 1000 to 80000 kg: heavy-duty "
                                               "vehicles weigh from about 1 t to 80 t; it is run as given");
  fs::current_path(before);
  fs::remove_all(dir);
}

// A vehicle stored with its input text as bytes runs with the same warnings; damaged bytes stop.
TEST(Api, InputTextRoundTripsAsBytes) {
  Vehicle v = load_vehicle(ExampleSpec("truck_T8_175kW_MT6"));
  v.engine.idle_speed_rpm += 10.0;  // the map's idle line no longer at Nidle: a warning with its line
  const std::string bytes = input_text_bytes(v);
  ASSERT_FALSE(bytes.empty());
  Vehicle stored = v;
  stored.text.reset();
  set_input_text(stored, bytes);
  EXPECT_EQ(input_text_bytes(stored), bytes);
  const auto messages = [](const Result& r) {
    std::vector<std::string> out;
    for (const RunWarning& w : r.warnings) out.push_back(w.message);
    return out;
  };
  const std::vector<std::string> warned = messages(run(v));
  EXPECT_FALSE(warned.empty());
  EXPECT_EQ(messages(run(stored)), warned);
  for (const std::size_t cut : {std::size_t{5}, bytes.size() / 2, bytes.size() - 1}) {
    EXPECT_THROW(set_input_text(stored, std::string_view(bytes).substr(0, cut)), Error) << cut;
  }
  set_input_text(stored, "");
  EXPECT_EQ(stored.text, nullptr);
}

// A load checks the text of the bytes its readers read; a batch checks the lines it reads of
// each file (file_lines). Both give the same lines, warnings and idle line, for every example
// and for files with a byte-order mark, CR LF line ends and each kind of text warning.
TEST(Api, InputTextOfTheBytesReadIsThatOfTheFilesLines) {
  const auto fromLines = [](const Vehicle& v) {
    Vehicle copy = v;
    copy.text = read_input_text(v, [](const std::string& path) {
      std::optional<std::vector<std::string>> lines = file_lines(path);
      return lines ? std::make_shared<const std::vector<std::string>>(std::move(*lines)) : nullptr;
    });
    return input_text_bytes(copy);
  };
  for (const char* name : Examples) {
    const Vehicle v = load_vehicle(ExampleSpec(name));
    EXPECT_EQ(input_text_bytes(v), fromLines(v)) << name;
  }
  const fs::path dir = fs::temp_directory_path() / ("hdfe-api-text-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(ExampleSpec("truck_T8_175kW_MT6").parent_path(), dir);
  const auto edit = [&](const char* file, const std::function<std::string(int, const std::string&)>& line) {
    std::ifstream in(dir / file, std::ios::binary);
    std::string text, l;
    for (int k = 1; std::getline(in, l); ++k) text += line(k, l);
    in.close();
    std::ofstream(dir / file, std::ios::binary) << text;
  };
  edit("spec.txt", [](int k, const std::string& l) {
    return (k == 1 ? "\xEF\xBB\xBF" : "") + (k == 5 ? std::string("4,18   FinalRatio") : l) + "\r\n";
  });
  edit("fullload.txt", [](int k, const std::string& l) {
    return k == 1 ? "\xEF\xBB\xBF" + l + "\n" : k == 2 ? std::string() : l + "\n";
  });
  // Blank lines before the idle line, a line of zeros, and a last line without its LF.
  edit("fuelmap.txt", [](int k, const std::string& l) {
    return k == 1 ? l + "\n \t\n\r\n" : k == 10 ? "// measured\n" + l + "\n" : l + "\n";
  });
  fs::resize_file(dir / "fuelmap.txt", fs::file_size(dir / "fuelmap.txt") - 1);
  edit("motoring.txt", [](int k, const std::string& l) {
    return k == 5 ? ",\r\n" + l + "\r" : k == 7 ? "\t/\r\r\n" : l + "\n";
  });
  const Vehicle v = load_vehicle(dir / "spec.txt");
  ASSERT_NE(v.text, nullptr);
  EXPECT_GE(v.text->findings.size(), 7u);
  ASSERT_TRUE(v.text->map_idle.has_value());
  EXPECT_EQ(v.text->map_idle->line, 5);
  EXPECT_EQ(input_text_bytes(v), fromLines(v));
  // Both header lines of a data file read as numbers.
  edit("motoring.txt", [](int k, const std::string& l) { return k <= 2 ? "600 -100\n" : l + "\n"; });
  EXPECT_EQ(input_text_bytes(load_vehicle(dir / "spec.txt")), fromLines(load_vehicle(dir / "spec.txt")));
  fs::remove_all(dir);
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
