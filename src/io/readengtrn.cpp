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

}  // namespace

TransmissionInput read_transmission(std::string_view name) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, " Cannot open transmission file [ " + file_name + " ]");
  RecordInput& in = reader.records();
  const std::string bad_line = " Failed to read transmission file [ " + file_name + " ]";
  TransmissionInput trn;
  read_fixed(in, std::array{int_var(trn.StartGears)}, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.MainRatioCount)}, file_name, bad_line);
  read_ratios(in, trn.MainRatioCount, trn.MainRatios, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.AuxRatioCount)}, file_name, bad_line);
  read_ratios(in, trn.AuxRatioCount, trn.AuxRatios, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.TransmissionKind)}, file_name, bad_line);
  return trn;
}

EngineInput read_engine(std::string_view name) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, " Cannot open engine file [ " + file_name + " ]");
  RecordInput& in = reader.records();
  const std::string bad_line = " Failed to read engine file [ " + file_name + " ]";
  EngineInput eng;
  eng.FuelMapFile = text_field("");
  eng.FullLoadCurveFile = text_field("");
  eng.MotoringCurveFile = text_field("");
  const std::array targets{text_var(eng.FuelMapFile),
                           text_var(eng.FullLoadCurveFile),
                           text_var(eng.MotoringCurveFile),
                           real_var(eng.Nidle),
                           real_var(eng.Nrate),
                           real_var(eng.Nex)};
  const std::array<std::string_view, 3> names{"FuelMapFile", "FullLoadCurveFile", "MotoringCurveFile"};
  for (std::size_t k = 0; k < targets.size(); ++k) {
    read_fixed(in, std::span(&targets[k], 1), file_name, bad_line, k < names.size() ? names[k] : "");
  }
  for (std::string* text : {&eng.FuelMapFile, &eng.FullLoadCurveFile, &eng.MotoringCurveFile}) {
    *text = std::string(trimmed(*text));
  }
  return eng;
}

}  // namespace hdfe
