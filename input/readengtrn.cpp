#include "input/readengtrn.h"

#include <array>
#include <fstream>
#include <string>

#include "input/inputfile.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace {

// Reads `count` ratios, one read each, appending them as they are read so that an
// untrusted count never sizes an allocation. A count of 0 or less reads nothing.
void READRATIOS(RecordInput& in, int32_t count, std::vector<double>& ratios, std::string_view name,
                const std::string& bad_line) {
  ratios.clear();
  for (int32_t i = 0; i < count; ++i) {
    double ratio = 0.0;
    READFIXED(in, std::array{REALVAR(ratio)}, name, bad_line);
    ratios.push_back(ratio);
  }
}

}  // namespace

void READTRN(std::string_view name, TransmissionData& trn, RatioLists& ratios) {
  const std::string file_name(TRIMMED(name));
  std::ifstream file;
  if (!OPENINPUT(file_name, file)) {
    throw RunStop{{" Cannot open transmission file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read transmission file [ " + file_name + " ]";
  ratios.StartGears = 0;
  trn.MainRatioCount = 0;
  trn.AuxRatioCount = 0;
  trn.TransmissionKind = 0;

  READFIXED(in, std::array{INTVAR(ratios.StartGears)}, file_name, bad_line);
  READFIXED(in, std::array{INTVAR(trn.MainRatioCount)}, file_name, bad_line);
  READRATIOS(in, trn.MainRatioCount, ratios.MainRatios, file_name, bad_line);
  READFIXED(in, std::array{INTVAR(trn.AuxRatioCount)}, file_name, bad_line);
  READRATIOS(in, trn.AuxRatioCount, ratios.AuxRatios, file_name, bad_line);
  READFIXED(in, std::array{INTVAR(trn.TransmissionKind)}, file_name, bad_line);
}

void READENG(std::string_view name, EngineData& eng, EngineFiles& files) {
  const std::string file_name(TRIMMED(name));
  std::ifstream file;
  if (!OPENINPUT(file_name, file)) {
    throw RunStop{{" Cannot open engine file [ " + file_name + " ]"}, 0};
  }
  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read engine file [ " + file_name + " ]";
  files.FuelMapFile = TEXTFIELD("");
  files.FullLoadCurveFile = TEXTFIELD("");
  files.MotoringCurveFile = TEXTFIELD("");
  eng.Nidle = 0.0;
  eng.Nrate = 0.0;
  eng.Nex = 0.0;

  const std::array targets{TEXTVAR(files.FuelMapFile),
                           TEXTVAR(files.FullLoadCurveFile),
                           TEXTVAR(files.MotoringCurveFile),
                           REALVAR(eng.Nidle),
                           REALVAR(eng.Nrate),
                           REALVAR(eng.Nex)};
  for (const ReadTarget& target : targets) {
    READFIXED(in, std::span(&target, 1), file_name, bad_line);
  }
}
