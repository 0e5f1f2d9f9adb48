// Routes from CSV and GPX files.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "hdfe/error.h"
#include "hdfe/route.h"
#include "io/csvrows.h"

namespace hdfe {

namespace {

// Mean radius of the Earth, for the distance between track points [m].
constexpr double EarthRadiusM = 6'371'000.0;

enum class RouteColumn { Distance, Speed, Grade, Elevation, Stop };
constexpr std::string_view RouteColumnNames[] = {"distance_m", "speed_km_per_h", "grade_percent", "elevation_m",
                                                 "stop_s"};

// The route's error at a line of its file, with the checks' message.
template <class Build>
Route checked(const std::string& file, int64_t line, Build build) {
  try {
    return build();
  } catch (const Error& e) {
    if (!e.file().empty()) throw;
    csv_bad(file, line, e.what());
  }
}

Route read_csv_route(const std::filesystem::path& path, std::istream& in, const RouteReadOptions& options) {
  const std::string file = path.string();
  std::vector<RouteColumn> columns;
  std::vector<double> distance, speed, grade, elevation, stop;
  std::vector<int64_t> lines;
  bool speedGiven = false;
  const auto header = [&](std::span<const std::string_view> names, int64_t line) {
    bool distanceGiven = false, gradeGiven = false, elevationGiven = false;
    for (const std::string_view name : names) {
      std::size_t c = 0;
      while (RouteColumnNames[c] != name) ++c;
      columns.push_back(static_cast<RouteColumn>(c));
      distanceGiven |= columns.back() == RouteColumn::Distance;
      speedGiven |= columns.back() == RouteColumn::Speed;
      gradeGiven |= columns.back() == RouteColumn::Grade;
      elevationGiven |= columns.back() == RouteColumn::Elevation;
    }
    if (!distanceGiven) csv_bad(file, line, "no distance_m column");
    if (!speedGiven && !options.speed_km_per_h) csv_bad(file, line, "no speed_km_per_h column");
    if (gradeGiven && elevationGiven) csv_bad(file, line, "give grade_percent or elevation_m, not both");
  };
  const auto row = [&](std::span<const std::string_view> fields, int64_t line) {
    lines.push_back(line);
    for (std::size_t j = 0; j < fields.size(); ++j) {
      const double value = csv_number(file, line, RouteColumnNames[static_cast<std::size_t>(columns[j])], fields[j]);
      switch (columns[j]) {
        case RouteColumn::Distance:
          if (distance.empty() && value != 0.0) csv_bad(file, line, "the distance does not start at 0");
          if (!distance.empty() && !(value > distance.back())) csv_bad(file, line, "the distance does not increase");
          distance.push_back(value);
          break;
        case RouteColumn::Speed:
          if (!(value > 0.0)) csv_bad(file, line, "the speed is not above 0 (stop the vehicle with stop_s)");
          speed.push_back(value);
          break;
        case RouteColumn::Grade:
          if (!(std::fabs(value) <= MaxRouteGradePercent)) csv_bad(file, line, "grade beyond ±30 %");
          grade.push_back(value);
          break;
        case RouteColumn::Elevation: elevation.push_back(value); break;
        case RouteColumn::Stop:
          if (!(value >= 0.0 && value <= MaxRouteStopS && value == std::floor(value))) {
            csv_bad(file, line, "the stop is not a whole number of seconds from 0 to 86400");
          }
          stop.push_back(value);
          break;
      }
    }
  };
  read_csv_rows(in, file, RouteColumnNames, MaxRouteRows, header, row);
  if (distance.size() < 2) csv_bad(file, lines.empty() ? 1 : lines.back(), "a route needs at least two rows");
  if (!speedGiven) speed.assign(distance.size(), *options.speed_km_per_h);
  const int64_t last = lines.back();
  Route route = checked(file, last, [&] {
    return make_route(path.stem().string(), std::move(distance), std::move(speed), std::move(grade),
                      std::move(elevation), std::move(stop), options.elevation_window_m.value_or(0.0));
  });
  route.source = file;
  return route;
}

// The line of a byte offset in text.
int64_t line_at(std::string_view text, std::ptrdiff_t offset) {
  if (offset < 0) return 0;
  const auto end = text.begin() + std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(text.size()));
  return 1 + std::count(text.begin(), end, '\n');
}

double radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }

// Great-circle distance between two points given in degrees [m].
double haversine(double lat1, double lon1, double lat2, double lon2) {
  const double dlat = radians(lat2 - lat1);
  const double dlon = radians(lon2 - lon1);
  const double h = std::sin(dlat / 2.0) * std::sin(dlat / 2.0) +
                   std::cos(radians(lat1)) * std::cos(radians(lat2)) * std::sin(dlon / 2.0) * std::sin(dlon / 2.0);
  return 2.0 * EarthRadiusM * std::asin(std::min(1.0, std::sqrt(h)));
}

Route read_gpx_route(const std::filesystem::path& path, std::istream& in, const RouteReadOptions& options) {
  const std::string file = path.string();
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (!parsed) csv_bad(file, line_at(text, parsed.offset), std::string("not a GPX file: ") + parsed.description());
  const pugi::xml_node gpx = doc.child("gpx");
  if (!gpx) csv_bad(file, 1, "no <gpx> element");
  if (!options.speed_km_per_h) {
    throw Error(ErrorKind::BadValue, file + ": a GPX track gives no speed limits: give one speed for the route (--route-speed)", file);
  }
  std::vector<double> distance, elevation;
  double lat0 = 0.0, lon0 = 0.0;
  int64_t lastLine = 1;
  const auto point = [&](const pugi::xml_node& p) {
    const int64_t line = line_at(text, p.offset_debug());
    lastLine = line;
    const pugi::xml_attribute lat = p.attribute("lat");
    const pugi::xml_attribute lon = p.attribute("lon");
    const pugi::xml_node ele = p.child("ele");
    if (!lat || !lon) csv_bad(file, line, "a track point without lat and lon");
    if (!ele) csv_bad(file, line, "a track point without an elevation (<ele>)");
    const double la = csv_number(file, line, "lat", lat.value());
    const double lo = csv_number(file, line, "lon", lon.value());
    const double e = csv_number(file, line, "ele", ele.child_value());
    if (std::fabs(la) > 90.0 || std::fabs(lo) > 180.0) csv_bad(file, line, "a latitude or longitude out of range");
    if (distance.empty()) {
      distance.push_back(0.0);
      elevation.push_back(e);
    } else {
      const double step = haversine(lat0, lon0, la, lo);
      // A point on the one before it adds nothing.
      if (!(step > 0.0)) return;
      distance.push_back(distance.back() + step);
      elevation.push_back(e);
    }
    if (distance.size() > MaxRouteRows) csv_bad(file, line, "more than " + std::to_string(MaxRouteRows) + " points");
    lat0 = la;
    lon0 = lo;
  };
  for (const pugi::xml_node& trk : gpx.children("trk")) {
    for (const pugi::xml_node& seg : trk.children("trkseg")) {
      for (const pugi::xml_node& p : seg.children("trkpt")) point(p);
    }
  }
  if (distance.empty()) {
    for (const pugi::xml_node& rte : gpx.children("rte")) {
      for (const pugi::xml_node& p : rte.children("rtept")) point(p);
    }
  }
  if (distance.size() < 2) csv_bad(file, lastLine, "a GPX route needs at least two distinct track points");
  std::vector<double> speed(distance.size(), *options.speed_km_per_h);
  Route route = checked(file, lastLine, [&] {
    return make_route(path.stem().string(), std::move(distance), std::move(speed), {}, std::move(elevation), {},
                      options.elevation_window_m.value_or(GpxElevationWindowM));
  });
  route.source = file;
  return route;
}

}  // namespace

Route read_route_file(const std::filesystem::path& path, const RouteReadOptions& options) {
  const std::string file = path.string();
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path)) {
    throw Error(ErrorKind::MissingFile, "cannot open the route file " + file, file);
  }
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".gpx") return read_gpx_route(path, in, options);
  return read_csv_route(path, in, options);
}

}  // namespace hdfe
