#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "hdfe/route.h"
#include "inputfiles.h"

namespace hdfe {

namespace {

class ReadRoute : public InputFiles {};

TEST_F(ReadRoute, CsvWithGradesOrElevationsAndGpxTracks) {
  const Route r = read_route_file(Write("depot.csv",
                                        "# a route\r\n"
                                        "distance_m, speed_km_per_h ,grade_percent,stop_s\r\n"
                                        "0,50,0,30\n"
                                        "3000,80,-1,60\n"
                                        "5000,80,2,0\n"));
  EXPECT_EQ(r.name, "depot");
  EXPECT_EQ(r.distance_m, (std::vector<double>{0.0, 3000.0, 5000.0}));
  EXPECT_EQ(r.stop_s, (std::vector<double>{30.0, 60.0, 0.0}));
  EXPECT_DOUBLE_EQ(r.elevation_m[2], -20.0);  // 2 km at -1 %
  const Route e = read_route_file(Write("hill.csv", "distance_m,speed_km_per_h,elevation_m\n0,60,100\n500,60,110\n"));
  EXPECT_DOUBLE_EQ(e.grade_percent[0], 2.0);
  EXPECT_TRUE(e.stop_s.empty());
  // One speed for a file without a speed column.
  RouteReadOptions limit;
  limit.speed_km_per_h = 70.0;
  EXPECT_EQ(read_route_file(Write("flat.csv", "distance_m\n0\n100\n"), limit).speed_km_per_h,
            (std::vector<double>{70.0, 70.0}));

  // A GPX track: great-circle distances between its points (0.001 degree of latitude is
  // 111.19 m), repeated points dropped, elevations smoothed over 100 m by default.
  const std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">\n<trk><trkseg>\n"
      "<trkpt lat=\"50.000\" lon=\"8.0\"><ele>100</ele></trkpt>\n"
      "<trkpt lat=\"50.001\" lon=\"8.0\"><ele>102</ele></trkpt>\n"
      "<trkpt lat=\"50.001\" lon=\"8.0\"><ele>102</ele></trkpt>\n"
      "<trkpt lat=\"50.002\" lon=\"8.0\"><ele>104</ele></trkpt>\n"
      "</trkseg></trk>\n</gpx>\n";
  const Route g = read_route_file(Write("track.gpx", gpx), limit);
  ASSERT_EQ(g.distance_m.size(), 3u);
  EXPECT_NEAR(g.distance_m[1], 111.19, 0.01);
  EXPECT_NEAR(g.distance_m[2], 2 * 111.19, 0.02);
  EXPECT_NEAR(g.grade_percent[0], 2.0 / 111.19 * 100.0, 1e-3);  // no other point within 50 m
  RouteReadOptions wide = limit;
  wide.elevation_window_m = 1000.0;
  EXPECT_NEAR(read_route_file(Write("track.gpx", gpx), wide).grade_percent[0], 0.0, 1e-9);  // all points averaged
}

TEST_F(ReadRoute, BadFilesStopAtTheirLine) {
  struct Case {
    const char* name;
    const char* text;
    int64_t line;
    const char* says;
  };
  const Case cases[] = {
      {"r.csv", "distance_m,speed_km_per_h,wind\n0,50,0\n", 1, "unknown column"},
      {"r.csv", "speed_km_per_h\n50\n", 1, "no distance_m"},
      {"r.csv", "distance_m,grade_percent\n0,0\n", 1, "no speed_km_per_h"},
      {"r.csv", "distance_m,speed_km_per_h,grade_percent,elevation_m\n", 1, "not both"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n100,fast\n", 3, "not a number"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n100,nan\n", 3, "not a finite"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n100,0\n", 3, "above 0"},
      {"r.csv", "distance_m,speed_km_per_h\n10,50\n100,50\n", 2, "start at 0"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n100,50\n100,50\n", 4, "not increase"},
      {"r.csv", "distance_m,speed_km_per_h,grade_percent\n0,50,31\n100,50,0\n", 2, "±30"},
      {"r.csv", "distance_m,speed_km_per_h,stop_s\n0,50,1.5\n100,50,0\n", 2, "whole number"},
      {"r.csv", "distance_m,speed_km_per_h,elevation_m\n0,50,0\n10,50,5\n", 3, "beyond ±30"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n", 2, "two rows"},
      {"r.csv", "distance_m,speed_km_per_h\n0,50\n100\n", 3, "fields"},
      {"t.gpx", "<gpx><trk><trkseg>\n<trkpt lat=\"1\" lon=\"1\"></trkpt>\n</trkseg></trk></gpx>", 2, "elevation"},
      {"t.gpx", "<gpx><trk><trkseg>\n<trkpt lat=\"1\" lon=\"1\"><ele>x</ele>\n</trkpt></trkseg></trk></gpx>", 2,
       "not a number"},
      {"t.gpx", "<gpx>\n<trk><trkseg>\n<trkpt lat=\"1\"", 3, "not a GPX file"},
      {"t.gpx", "<gpx><trk><trkseg>\n<trkpt lat=\"1\" lon=\"1\"><ele>1</ele></trkpt>\n</trkseg></trk></gpx>", 2,
       "two distinct"},
  };
  RouteReadOptions limit;
  limit.speed_km_per_h = 50.0;
  for (const Case& c : cases) {
    const std::string path = Write(c.name, c.text);
    try {
      read_route_file(path, std::string(c.name).ends_with(".gpx") ? limit : RouteReadOptions{});
      ADD_FAILURE() << "read: " << c.text;
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::BadValue) << c.text;
      EXPECT_EQ(e.file(), path) << c.text;
      EXPECT_EQ(e.line(), c.line) << c.text << " -> " << e.message();
      EXPECT_NE(e.message().find(c.says), std::string::npos) << c.text << " -> " << e.message();
    }
  }
  // A GPX track needs a speed limit given with it.
  EXPECT_THROW(read_route_file(Write("t.gpx", "<gpx/>")), Error);
  EXPECT_THROW(read_route_file(Missing()), Error);
}

}  // namespace

}  // namespace hdfe
