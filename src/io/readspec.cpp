#include "io/readspec.h"

#include <array>
#include <cmath>
#include <fstream>
#include <string>

#include "io/inputfile.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// The seventeen spec-file values in file order, one read each.
std::array<ReadTarget, 17> spec_targets(SpecValues& v) {
  return {text_var(v.VehicleName),
          text_var(v.CategoryCode),
          text_var(v.EngineFile),
          text_var(v.TransmissionFile),
          real_var(v.FinalRatio),
          real_var(v.TireRadius),
          real_var(v.FlatRoadTireRadius),
          int_var(v.TraceFlag),
          real_var(v.RollAddend),
          real_var(v.AirCoefficient),
          int_var(v.IdleStopOn),
          int_var(v.StopDelay),
          int_var(v.StartIdleStopOn),
          int_var(v.StartIdleTime),
          int_var(v.RestartLead),
          real_var(v.Kf1),
          real_var(v.Kf2)};
}

}  // namespace

SpecValues read_spec(std::string_view name) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, free_record(" Cannot open spec-file : " + file_name));
  RecordInput& in = reader.records();
  // A value that a null or a slash leaves unread starts as zero or blanks.
  SpecValues values;
  values.VehicleName = text_field("");
  values.CategoryCode = text_field("");
  values.EngineFile = text_field("");
  values.TransmissionFile = text_field("");

  const std::string bad_line = " Failed to read spec_data file ";
  // The names a cut would change; a cut category code is refused as unknown.
  const std::array<std::string_view, 4> names{"VehicleName", "", "EngineFile", "TransmissionFile"};
  const auto targets = spec_targets(values);
  for (std::size_t k = 0; k < targets.size(); ++k) {
    read_fixed(in, std::span(&targets[k], 1), file_name, bad_line, k < names.size() ? names[k] : "");
  }
  for (std::string* text : {&values.VehicleName, &values.CategoryCode, &values.EngineFile, &values.TransmissionFile}) {
    *text = std::string(trimmed(*text));
  }
  return values;
}

}  // namespace hdfe
