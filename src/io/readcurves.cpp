#include "io/readcurves.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "io/inputfile.h"
#include "io/shellsort.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// Sorts every run of two or more map points of exactly equal speed by torque.
void sort_speed_lines(FuelMap& map) {
  const std::size_t n = map.speeds_rpm.size();
  std::size_t first = 0;
  while (first < n) {
    std::size_t last = first + 1;
    while (last < n && map.speeds_rpm[last] == map.speeds_rpm[first]) ++last;
    if (last - first >= 2) {
      const std::size_t len = last - first;
      shell_sort(std::span(map.torques_nm).subspan(first, len),
                std::span(map.speeds_rpm).subspan(first, len),
                std::span(map.fuel_rates_l_per_h).subspan(first, len));
    }
    first = last;
  }
}

Error too_many_points(const char* kind, const std::string& name, int32_t most) {
  return Error(ErrorKind::Limit,
               std::string(kind) + " [ " + name + " ] holds more than " + std::to_string(most) +
                   " points, the most the program takes",
               name);
}

}  // namespace

TorqueCurve read_torque_curve(std::string_view name, InputBytes* files) {
  TorqueCurve curve;
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open torque data file [ " + file_name + " ]", files);
  RecordInput& in = reader.records();
  std::string header;
  for (int line = 0; line < 2; ++line) {
    if (read_record(in, header) != ReadStatus::Done) throw end_of_file_stop(file_name);
  }
  for (;;) {
    double speed = 0.0;
    double torque = 0.0;
    const ReadStatus status = read_free(in, std::array{real_var(speed), real_var(torque)});
    if (status == ReadStatus::End) break;
    if (status == ReadStatus::Bad) {
      const int64_t record = static_cast<int64_t>(curve.point_count()) + 1;
      throw Error(ErrorKind::BadValue,
                  "Failed to read torque data. Data No.= " + std::to_string(record) + " in [ " + file_name + " ]",
                  file_name, in.line);
    }
    if (curve.point_count() == MaxCurvePoints) throw too_many_points("Torque data file", file_name, MaxCurvePoints);
    curve.speeds_rpm.push_back(speed);
    curve.torques_nm.push_back(torque);
  }
  shell_sort(curve.speeds_rpm, curve.torques_nm);
  return curve;
}

FuelMap read_fuel_map(std::string_view name, InputBytes* files) {
  FuelMap map;
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open map data file [ " + file_name + " ]", files);
  RecordInput& in = reader.records();
  const std::string bad_line = "Failed to read fuel map [ " + file_name + " ]";
  std::string header = text_field("");
  read_fixed(in, std::array{text_var(header)}, file_name, bad_line);
  read_fixed(in, std::array{text_var(header)}, file_name, bad_line);
  double idle_speed = 0.0;
  double idle_torque = 0.0;
  read_fixed(in, std::array{real_var(idle_speed), real_var(idle_torque), real_var(map.idle_fuel_rate_l_per_h)},
            file_name, bad_line);
  for (;;) {
    double speed = 0.0;
    double torque = 0.0;
    double fuel = 0.0;
    const ReadStatus status =
        read_free(in, std::array{real_var(speed), real_var(torque), real_var(fuel)});
    if (status == ReadStatus::End) break;
    if (status == ReadStatus::Bad) throw Error(ErrorKind::BadValue, bad_line, file_name, in.line);
    if (map.point_count() == MaxMapPoints) throw too_many_points("Fuel map file", file_name, MaxMapPoints);
    map.speeds_rpm.push_back(speed);
    map.torques_nm.push_back(torque);
    map.fuel_rates_l_per_h.push_back(fuel);
  }
  shell_sort(map.speeds_rpm, map.torques_nm, map.fuel_rates_l_per_h);
  sort_speed_lines(map);
  return map;
}

}  // namespace hdfe
