#include "run/classification.h"
#include "io/readspec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "inputfiles.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// A valid spec file, one value per line with comments after the values; `changes` replaces
// lines by index.
std::vector<std::string> SpecLines(
    std::initializer_list<std::pair<int, const char*>> changes = {}) {
  const char* const base[] = {"'Truck A'  vehicle name",
                              "t5",
                              "engine.txt",
                              "gearbox.txt",
                              "4.3",
                              "0.4",
                              "3.0",
                              "0",
                              "0.008",
                              "0.03",
                              "0",
                              "10",
                              "0",
                              "7",
                              "2",
                              "1.01",
                              "0.99"};
  std::vector<std::string> lines(std::begin(base), std::end(base));
  for (const auto& [index, text] : changes) lines[index] = std::string(text);
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class ReadSpec : public InputFiles {
 protected:
  void Read(const std::vector<std::string>& lines) {
    values = values_for_run(read_spec(Write("spec.txt", Join(lines))));
  }
  SpecValues values;
};

TEST_F(ReadSpec, ReadsAllValuesAndAppliesTheRules) {
  Read(SpecLines());
  EXPECT_EQ(values.vehicle_name, "Truck A");
  EXPECT_EQ(values.category_code, "t5");
  EXPECT_EQ(values.engine_file, "engine.txt");
  EXPECT_EQ(values.transmission_file, "gearbox.txt");
  EXPECT_EQ(values.final_ratio, 4.3);
  EXPECT_EQ(values.tire_radius_m, 0.4);
  EXPECT_EQ(values.flat_road_tire_radius_m, 3.0);
  EXPECT_EQ(values.traces, 0);
  EXPECT_EQ(values.roll_addend, 0.004);  // halved by FlatRoadTireRadius 3
  EXPECT_EQ(values.air_coefficient, 0.03);
  EXPECT_EQ(values.stop_delay_s, 999);
  EXPECT_EQ(values.start_idle_time_s, 999);
  EXPECT_EQ(values.restart_lead_s, 2);
  EXPECT_EQ(values.kf1, 1.01);
  EXPECT_EQ(values.kf2, 0.99);
}

TEST_F(ReadSpec, OnlyZeroSwitchesIdleStopOff) {
  Read(SpecLines({{10, "2"}, {12, "1"}}));
  EXPECT_EQ(values.stop_delay_s, 10);
  EXPECT_EQ(values.start_idle_time_s, 7);
}

TEST_F(ReadSpec, RollAddendScaling) {
  Read(SpecLines({{6, "0"}}));
  EXPECT_EQ(values.roll_addend, 0.008);
  Read(SpecLines({{6, "0.4209"}}));
  EXPECT_EQ(values.roll_addend, 0.008 * std::sqrt(1.0 / (0.4209 + 1.0)));
  Read(SpecLines({{6, "0.4209"}, {8, "0"}}));
  EXPECT_EQ(values.roll_addend, 0.0);
}

TEST_F(ReadSpec, BlankLinesAndUnquotedNames) {
  std::vector<std::string> lines = SpecLines({{0, "Truck A"}});
  lines.insert(lines.begin() + 5, "   ");
  Read(lines);
  EXPECT_EQ(values.vehicle_name, "Truck");
  EXPECT_EQ(values.tire_radius_m, 0.4);
  EXPECT_EQ(values.kf2, 0.99);
}

TEST_F(ReadSpec, Failures) {
  ExpectStop(StopOf([&] { read_spec(Missing() + "   "); }),
             "Cannot open spec-file : " + Missing(), ErrorKind::MissingFile);

  ExpectStop(StopOf([&] { Read(SpecLines({{7, "1.0"}})); }), "Failed to read spec_data file", ErrorKind::BadValue);

  std::vector<std::string> lines = SpecLines();
  lines.pop_back();
  const std::string name = (dir / "spec.txt").string();
  ExpectStop(StopOf([&] { Read(lines); }),
             "End of file reached in [ " + name + " ] before all values were read", ErrorKind::EndOfFile);

  // A name the field would cut is refused; a cut category code is left to the category check.
  const std::string tooLong = "'" + std::string(1000, 'x') + " " + std::string(30, 'y') + "'";
  ExpectStop(StopOf([&] { Read(SpecLines({{0, tooLong.c_str()}})); }),
             "Name too long: VehicleName in [ " + name + " ] has more than 1024 characters", ErrorKind::Limit);
  ExpectStop(StopOf([&] { Read(SpecLines({{3, tooLong.c_str()}})); }),
             "Name too long: TransmissionFile in [ " + name + " ] has more than 1024 characters", ErrorKind::Limit);
  Read(SpecLines({{1, tooLong.c_str()}}));
  EXPECT_EQ(values.category_code, tooLong.substr(1, 1024));
}

}  // namespace

}  // namespace hdfe
