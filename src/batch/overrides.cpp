// The spec-file values a batch row may replace, read as the spec file's values are.
#include <array>
#include <sstream>

#include "hdfe/batch.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

constexpr std::array<std::string_view, 17> Names{
    "VehicleName", "CategoryCode", "EngineFile", "TransmissionFile", "FinalRatio",      "TireRadius",
    "FlatRoadTireRadius", "TraceFlag", "RollAddend", "AirCoefficient", "IdleStopOn", "StopDelay",
    "StartIdleStopOn", "StartIdleTime", "RestartLead", "Kf1", "Kf2"};

// The read target of the named value; text values are read into `text`.
ReadTarget target(SpecValues& v, std::string_view name, std::string& text) {
  if (name == "VehicleName" || name == "CategoryCode" || name == "EngineFile" || name == "TransmissionFile") {
    return text_var(text);
  }
  if (name == "FinalRatio") return real_var(v.final_ratio);
  if (name == "TireRadius") return real_var(v.tire_radius_m);
  if (name == "FlatRoadTireRadius") return real_var(v.flat_road_tire_radius_m);
  if (name == "TraceFlag") return int_var(v.traces);
  if (name == "RollAddend") return real_var(v.roll_addend);
  if (name == "AirCoefficient") return real_var(v.air_coefficient);
  if (name == "IdleStopOn") return int_var(v.idle_stop_on);
  if (name == "StopDelay") return int_var(v.stop_delay_s);
  if (name == "StartIdleStopOn") return int_var(v.start_idle_stop_on);
  if (name == "StartIdleTime") return int_var(v.start_idle_time_s);
  if (name == "RestartLead") return int_var(v.restart_lead_s);
  if (name == "Kf1") return real_var(v.kf1);
  if (name == "Kf2") return real_var(v.kf2);
  throw Error(ErrorKind::Usage, "Unknown spec-file value " + std::string(name));
}

std::string* text_value(SpecValues& v, std::string_view name) {
  if (name == "VehicleName") return &v.vehicle_name;
  if (name == "CategoryCode") return &v.category_code;
  if (name == "EngineFile") return &v.engine_file;
  if (name == "TransmissionFile") return &v.transmission_file;
  return nullptr;
}

}  // namespace

std::span<const std::string_view> override_names() { return Names; }

void apply_override(SpecValues& values, std::string_view name, std::string_view text) {
  SpecValues edited = values;
  std::string textValue = text_field("");
  const ReadTarget t = target(edited, name, textValue);
  const Error bad(ErrorKind::BadValue, "Failed to read " + std::string(name) + " value [ " + std::string(text) + " ]");
  // One value only: a second one, a null, a slash or a repeat count would be read from a spec
  // file's line but silently dropped or misread from a cell.
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string_view::npos) throw bad;
  const std::string_view value = text.substr(first, last - first + 1);
  const bool quoted = value.front() == '\'' || value.front() == '"';
  if (value.find_first_of("\r\n") != std::string_view::npos ||
      (!quoted && value.find_first_of(" \t,/*") != std::string_view::npos)) {
    throw bad;
  }
  std::istringstream stream{std::string(value)};
  RecordInput in;
  in.stream = &stream;
  if (read_free(in, std::span(&t, 1)) != ReadStatus::Done) throw bad;
  if (std::string* field = text_value(edited, name)) *field = std::string(trimmed(textValue));
  values = std::move(edited);
}

}  // namespace hdfe
