#include "io/readengtrn.h"

#include <array>
#include <fstream>
#include <string>

#include "core/constants.h"
#include "io/inputfile.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// Reads `count` ratios, one read each, appending them as they are read so that an
// untrusted count never sizes an allocation. A count of 0 or less reads nothing. Past
// MaxGearCount + 1 ratios the rest is read but not kept: the list then only has to show
// that the gear count is out of range, which its length does.
void read_ratios(RecordInput& in, int32_t count, std::vector<double>& ratios, std::string_view name,
                const std::string& bad_line) {
  ratios.clear();
  for (int32_t i = 0; i < count; ++i) {
    double ratio = 0.0;
    read_fixed(in, std::array{real_var(ratio)}, name, bad_line);
    if (ratios.size() <= static_cast<std::size_t>(MaxGearCount)) ratios.push_back(ratio);
  }
}

// The code of a torque-converter automatic in the transmission file; any other is manual.
constexpr int32_t TorqueConverterCode = 1;

}  // namespace

TransmissionInput read_transmission(std::string_view name, InputBytes* files) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open transmission file [ " + file_name + " ]", files);
  RecordInput& in = reader.records();
  const std::string bad_line = "Failed to read transmission file [ " + file_name + " ]";
  TransmissionInput trn;
  read_fixed(in, std::array{int_var(trn.start_gears)}, file_name, bad_line);
  // Each list is written as its count, then one ratio per record.
  for (std::vector<double>* ratios : {&trn.main_ratios, &trn.aux_ratios}) {
    int32_t count = 0;
    read_fixed(in, std::array{int_var(count)}, file_name, bad_line);
    read_ratios(in, count, *ratios, file_name, bad_line);
  }
  int32_t type = 0;
  read_fixed(in, std::array{int_var(type)}, file_name, bad_line);
  trn.type = type == TorqueConverterCode ? TransmissionType::TorqueConverter : TransmissionType::Manual;
  return trn;
}

EngineInput read_engine(std::string_view name, InputBytes* files) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open engine file [ " + file_name + " ]", files);
  RecordInput& in = reader.records();
  const std::string bad_line = "Failed to read engine file [ " + file_name + " ]";
  EngineInput eng;
  eng.fuel_map_file = text_field("");
  eng.full_load_file = text_field("");
  eng.motoring_file = text_field("");
  const std::array targets{text_var(eng.fuel_map_file),
                           text_var(eng.full_load_file),
                           text_var(eng.motoring_file),
                           real_var(eng.idle_speed_rpm),
                           real_var(eng.rated_speed_rpm),
                           real_var(eng.max_speed_rpm)};
  const std::array<std::string_view, 3> names{"FuelMapFile", "FullLoadCurveFile", "MotoringCurveFile"};
  for (std::size_t k = 0; k < targets.size(); ++k) {
    read_fixed(in, std::span(&targets[k], 1), file_name, bad_line, k < names.size() ? names[k] : "");
  }
  for (std::string* text : {&eng.fuel_map_file, &eng.full_load_file, &eng.motoring_file}) {
    *text = std::string(trimmed(*text));
  }
  return eng;
}

}  // namespace hdfe
