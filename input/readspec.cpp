#include "input/readspec.h"

#include <array>
#include <cmath>
#include <fstream>
#include <string>

#include "input/inputfile.h"
#include "textio/freeform.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace {

// The seventeen spec-file values in file order, one read each.
std::array<ReadTarget, 17> SPECTARGETS(SpecValues& v, VehicleSpec& spec, TransmissionData& trn) {
  return {TEXTVAR(v.VehicleName),
          TEXTVAR(v.CategoryCode),
          TEXTVAR(v.EngineFile),
          TEXTVAR(v.TransmissionFile),
          REALVAR(trn.FinalRatio),
          REALVAR(spec.TireRadius),
          REALVAR(spec.FlatRoadTireRadius),
          INTVAR(v.TraceFlag),
          REALVAR(v.RollAddend),
          REALVAR(v.AirCoefficient),
          INTVAR(v.IdleStopOn),
          INTVAR(v.StopDelay),
          INTVAR(v.StartIdleStopOn),
          INTVAR(v.StartIdleTime),
          INTVAR(v.RestartLead),
          REALVAR(v.Kf1),
          REALVAR(v.Kf2)};
}

}  // namespace

void READSPEC(std::string_view name, SpecValues& values, VehicleSpec& spec, TransmissionData& trn) {
  const std::string file_name(TRIMMED(name));
  std::ifstream file;
  if (!OPENINPUT(file_name, file)) {
    throw RunStop{{FREEREC(" Cannot open spec-file : " + file_name)}, 0};
  }
  // A value that a null or a slash leaves unread starts as zero or blanks.
  values = SpecValues{};
  spec.TireRadius = 0.0;
  spec.FlatRoadTireRadius = 0.0;
  trn.FinalRatio = 0.0;
  values.VehicleName = TEXTFIELD("");
  values.CategoryCode = TEXTFIELD("");
  values.EngineFile = TEXTFIELD("");
  values.TransmissionFile = TEXTFIELD("");

  RecordInput in;
  in.stream = &file;
  const std::string bad_line = " Failed to read spec_data file ";
  for (const ReadTarget& target : SPECTARGETS(values, spec, trn)) {
    READFIXED(in, std::span(&target, 1), file_name, bad_line);
  }
  file.close();

  if (values.IdleStopOn == 0) values.StopDelay = 999;
  if (values.StartIdleStopOn == 0) values.StartIdleTime = 999;
  values.RollAddend = values.RollAddend * std::sqrt(1.0 / (spec.FlatRoadTireRadius + 1.0));
}
