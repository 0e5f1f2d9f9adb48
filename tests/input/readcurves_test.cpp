#include "io/readcurves.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "inputfiles.h"
#include "run/plausibility.h"

namespace hdfe {

namespace {

class ReadCurves : public InputFiles {
 protected:
  std::string EndOfFile(const std::string& name) {
    return "End of file reached in [ " + name + " ] before all values were read";
  }
  TorqueCurve curve;
  FuelMap map;
};

// The lines a file's warnings are read from are getline's lines: split at every LF, a last
// line without one kept, none after a final LF, one CR at a line's end dropped; any byte
// inside a line kept, and files longer than one block of reading.
TEST_F(ReadCurves, FileLinesAreTheLinesGetlineGives) {
  std::string long_file;
  for (int k = 0; k < 3000; ++k) long_file += std::to_string(k) + (k % 7 == 0 ? " x\r\n" : "\n");
  for (const std::string& text : {std::string(""), std::string("\n"), std::string("a"), std::string("a\n"),
                                 std::string("a\r\n\r\nb"), std::string("\r"), std::string("a\r\r\n\rb\r"),
                                 std::string("x\0y\n\n\n", 6), long_file}) {
    std::vector<std::string> expected;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      expected.push_back(line);
    }
    EXPECT_EQ(file_lines(Write("lines.txt", text)), expected) << text.size();
  }
  EXPECT_FALSE(file_lines(Missing()));
  EXPECT_FALSE(file_lines(dir.string()));  // a folder
}

TEST_F(ReadCurves, TorqueRecords) {
  // Blank header lines are headers; blank data lines are skipped; a one-number line is
  // completed from the next; a record cut short by the end of the file is not counted.
  curve = read_torque_curve(Write("trq.txt", "\n\r\n600 300 extra\n\n800\n400\r\n1000"));
  EXPECT_EQ(curve.point_count(), 2);
  EXPECT_EQ(curve.speeds_rpm, (std::vector<double>{600, 800}));
  EXPECT_EQ(curve.torques_nm, (std::vector<double>{300, 400}));

  curve = read_torque_curve(Write("empty.txt", "h1\nh2\n"));
  EXPECT_EQ(curve.point_count(), 0);
  EXPECT_TRUE(curve.speeds_rpm.empty());
}

// A file larger than WholeInputBytes is read record by record as it goes, to the same points
// and the same stops.
TEST_F(ReadCurves, LargeFilesAreReadRecordByRecord) {
  const std::string header(WholeInputBytes, 'x');
  const std::string tail = "h2\n600 300\n800 400\r\n";
  const TorqueCurve whole = read_torque_curve(Write("small.txt", "h1\n" + tail));
  InputBytes files;
  const TorqueCurve streamed = read_torque_curve(Write("large.txt", header + "\n" + tail), &files);
  EXPECT_EQ(whole.speeds_rpm, (std::vector<double>{600, 800}));
  EXPECT_EQ(streamed.speeds_rpm, whole.speeds_rpm);
  EXPECT_EQ(streamed.torques_nm, whole.torques_nm);
  const std::string bad = Write("bad.txt", header + "\nh\n600 300\n800 abc\n");
  const Error stop = StopOf([&] { read_torque_curve(bad); });
  EXPECT_EQ(std::string(stop.what()), "Failed to read torque data. Data No.= 2 in [ " + bad + " ]");
  EXPECT_EQ(stop.line(), 4);
}

TEST_F(ReadCurves, TorqueFailures) {
  ExpectStop(StopOf([&] { read_torque_curve(Missing()); }),
             "Cannot open torque data file [ " + Missing() + " ]", ErrorKind::MissingFile);
  const std::string bad = Write("bad.txt", "h\nh\n600 300\n800 400\n1000 abc\n");
  ExpectStop(StopOf([&] { read_torque_curve(bad); }),
             "Failed to read torque data. Data No.= 3 in [ " + bad + " ]", ErrorKind::BadValue);
  const std::string one_line = Write("short.txt", "header only\n");
  ExpectStop(StopOf([&] { read_torque_curve(one_line); }), EndOfFile(one_line), ErrorKind::EndOfFile);
  const std::string empty = Write("none.txt", "");
  ExpectStop(StopOf([&] { read_torque_curve(empty); }), EndOfFile(empty), ErrorKind::EndOfFile);
}

TEST_F(ReadCurves, PointsBeyondTheLimitAreRefused) {
  // A slash alone is a point of zeros: the cheapest way to a file of many points.
  std::string points;
  for (int32_t k = 0; k < MaxCurvePoints; ++k) points += "/\n";
  EXPECT_EQ(read_torque_curve(Write("most.txt", "h\nh\n" + points)).point_count(), MaxCurvePoints);
  const std::string curveName = Write("trq.txt", "h\nh\n" + points + "1 2\n");
  ExpectStop(StopOf([&] { read_torque_curve(curveName); }),
             "Torque data file [ " + curveName + " ] holds more than 1000000 points, the most the program takes", ErrorKind::Limit);
  static_assert(MaxMapPoints == MaxCurvePoints);
  const std::string mapName = Write("map.txt", "h\nh\n600 0 1\n" + points + "1 2 3\n");
  ExpectStop(StopOf([&] { read_fuel_map(mapName); }),
             "Fuel map file [ " + mapName + " ] holds more than 1000000 points, the most the program takes", ErrorKind::Limit);
}

TEST_F(ReadCurves, MapHeadersSkipBlankLines) {
  map = read_fuel_map(Write("map.txt", "\nheader one\n\n'second header'\n600 0 0.75\n"));
  EXPECT_EQ(map.point_count(), 0);
  EXPECT_EQ(map.idle_fuel_rate_l_per_h, 0.75);
  EXPECT_TRUE(map.speeds_rpm.empty());
}

TEST_F(ReadCurves, MapFailures) {
  ExpectStop(StopOf([&] { read_fuel_map(Missing()); }),
             "Cannot open map data file [ " + Missing() + " ]", ErrorKind::MissingFile);
  const std::string bad_idle = Write("idle.txt", "h\nh\n600 0 x\n");
  ExpectStop(StopOf([&] { read_fuel_map(bad_idle); }),
             "Failed to read fuel map [ " + bad_idle + " ]", ErrorKind::BadValue);
  const std::string bad_point = Write("point.txt", "h\nh\n600 0 1\n800 100 2\n800 abc 3\n");
  ExpectStop(StopOf([&] { read_fuel_map(bad_point); }),
             "Failed to read fuel map [ " + bad_point + " ]", ErrorKind::BadValue);
  const std::string no_idle = Write("noidle.txt", "h\n\nh\n600 0\n");
  ExpectStop(StopOf([&] { read_fuel_map(no_idle); }), EndOfFile(no_idle), ErrorKind::EndOfFile);
}

}  // namespace

}  // namespace hdfe
