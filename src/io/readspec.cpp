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
  return {text_var(v.vehicle_name),
          text_var(v.category_code),
          text_var(v.engine_file),
          text_var(v.transmission_file),
          real_var(v.final_ratio),
          real_var(v.tire_radius_m),
          real_var(v.flat_road_tire_radius_m),
          int_var(v.traces),
          real_var(v.roll_addend),
          real_var(v.air_coefficient),
          int_var(v.idle_stop_on),
          int_var(v.stop_delay_s),
          int_var(v.start_idle_stop_on),
          int_var(v.start_idle_time_s),
          int_var(v.restart_lead_s),
          real_var(v.kf1),
          real_var(v.kf2)};
}

}  // namespace

SpecValues read_spec(std::string_view name) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open spec-file : " + file_name);
  RecordInput& in = reader.records();
  // A value that a null or a slash leaves unread starts as zero or blanks.
  SpecValues values;
  values.vehicle_name = text_field("");
  values.category_code = text_field("");
  values.engine_file = text_field("");
  values.transmission_file = text_field("");

  const std::string bad_line = "Failed to read spec_data file";
  // The names a cut would change; a cut category code is refused as unknown.
  const std::array<std::string_view, 4> names{"VehicleName", "", "EngineFile", "TransmissionFile"};
  const auto targets = spec_targets(values);
  for (std::size_t k = 0; k < targets.size(); ++k) {
    read_fixed(in, std::span(&targets[k], 1), file_name, bad_line, k < names.size() ? names[k] : "");
  }
  for (std::string* text : {&values.vehicle_name, &values.category_code, &values.engine_file, &values.transmission_file}) {
    *text = std::string(trimmed(*text));
  }
  return values;
}

}  // namespace hdfe
