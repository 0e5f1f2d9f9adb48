#include "input/readcurves.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "input/inputfile.h"
#include "input/shellsort.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace {

// Sorts every run of two or more map points of exactly equal speed by torque.
void SORTSPEEDLINES(FuelMap& map) {
  const std::size_t n = map.Speeds.size();
  std::size_t first = 0;
  while (first < n) {
    std::size_t last = first + 1;
    while (last < n && map.Speeds[last] == map.Speeds[first]) ++last;
    if (last - first >= 2) {
      const std::size_t len = last - first;
      SHELLSORT(std::span(map.Torques).subspan(first, len),
                std::span(map.Speeds).subspan(first, len),
                std::span(map.FuelRates).subspan(first, len));
    }
    first = last;
  }
}

}  // namespace

void READTRQ(std::string_view name, TorqueCurve& curve) {
  curve = TorqueCurve{};
  const std::string file_name(TRIMMED(name));
  std::ifstream file;
  if (!OPENINPUT(file_name, file)) {
    throw RunStop{{" Cannot open torque data file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  std::string header;
  for (int line = 0; line < 2; ++line) {
    if (READRECORD(in, header) != ReadStatus::Done) throw ENDOFFILESTOP(file_name);
  }
  for (;;) {
    double speed = 0.0;
    double torque = 0.0;
    const ReadStatus status = READFREE(in, std::array{REALVAR(speed), REALVAR(torque)});
    if (status == ReadStatus::End) break;
    if (status == ReadStatus::Bad) {
      const int64_t record = static_cast<int64_t>(curve.PointCount) + 1;
      throw RunStop{{" Failed to read torque data. Data No.= " + std::to_string(record) + " in [ " +
                     file_name + " ]"},
                    0};
    }
    curve.Speeds.push_back(speed);
    curve.Torques.push_back(torque);
    ++curve.PointCount;
  }
  file.close();
  SHELLSORT(curve.Speeds, curve.Torques);
}

void READMAP(std::string_view name, FuelMap& map) {
  map = FuelMap{};
  const std::string file_name(TRIMMED(name));
  std::ifstream file;
  if (!OPENINPUT(file_name, file)) {
    throw RunStop{{" Cannot open map data file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read fuel map [ " + file_name + " ]";
  std::string header = TEXTFIELD("");
  READFIXED(in, std::array{TEXTVAR(header)}, file_name, bad_line);
  READFIXED(in, std::array{TEXTVAR(header)}, file_name, bad_line);
  double idle_speed = 0.0;
  double idle_torque = 0.0;
  READFIXED(in, std::array{REALVAR(idle_speed), REALVAR(idle_torque), REALVAR(map.IdleFuelRate)},
            file_name, bad_line);
  for (;;) {
    double speed = 0.0;
    double torque = 0.0;
    double fuel = 0.0;
    const ReadStatus status =
        READFREE(in, std::array{REALVAR(speed), REALVAR(torque), REALVAR(fuel)});
    if (status == ReadStatus::End) break;
    if (status == ReadStatus::Bad) throw RunStop{{bad_line}, 0};
    map.Speeds.push_back(speed);
    map.Torques.push_back(torque);
    map.FuelRates.push_back(fuel);
    ++map.PointCount;
  }
  file.close();
  SHELLSORT(map.Speeds, map.Torques, map.FuelRates);
  SORTSPEEDLINES(map);
}
