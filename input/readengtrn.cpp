#include "input/readengtrn.h"

#include <array>
#include <fstream>
#include <string>

#include "input/inputfile.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace hdfe {

namespace {

// Reads `count` ratios, one read each, appending them as they are read so that an
// untrusted count never sizes an allocation. A count of 0 or less reads nothing.
void read_ratios(RecordInput& in, int32_t count, std::vector<double>& ratios, std::string_view name,
                const std::string& bad_line) {
  ratios.clear();
  for (int32_t i = 0; i < count; ++i) {
    double ratio = 0.0;
    read_fixed(in, std::array{real_var(ratio)}, name, bad_line);
    ratios.push_back(ratio);
  }
}

}  // namespace

void read_transmission(std::string_view name, TransmissionData& trn, RatioLists& ratios) {
  const std::string file_name(trimmed(name));
  std::ifstream file;
  if (!open_input(file_name, file)) {
    throw RunStop{{" Cannot open transmission file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read transmission file [ " + file_name + " ]";
  ratios.StartGears = 0;
  trn.MainRatioCount = 0;
  trn.AuxRatioCount = 0;
  trn.TransmissionKind = 0;

  read_fixed(in, std::array{int_var(ratios.StartGears)}, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.MainRatioCount)}, file_name, bad_line);
  read_ratios(in, trn.MainRatioCount, ratios.MainRatios, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.AuxRatioCount)}, file_name, bad_line);
  read_ratios(in, trn.AuxRatioCount, ratios.AuxRatios, file_name, bad_line);
  read_fixed(in, std::array{int_var(trn.TransmissionKind)}, file_name, bad_line);
}

void read_engine(std::string_view name, EngineData& eng, EngineFiles& files) {
  const std::string file_name(trimmed(name));
  std::ifstream file;
  if (!open_input(file_name, file)) {
    throw RunStop{{" Cannot open engine file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read engine file [ " + file_name + " ]";
  files.FuelMapFile = text_field("");
  files.FullLoadCurveFile = text_field("");
  files.MotoringCurveFile = text_field("");
  eng.Nidle = 0.0;
  eng.Nrate = 0.0;
  eng.Nex = 0.0;

  const std::array targets{text_var(files.FuelMapFile),
                           text_var(files.FullLoadCurveFile),
                           text_var(files.MotoringCurveFile),
                           real_var(eng.Nidle),
                           real_var(eng.Nrate),
                           real_var(eng.Nex)};
  for (const ReadTarget& target : targets) {
    read_fixed(in, std::span(&target, 1), file_name, bad_line);
  }
}

}  // namespace hdfe
