#include "hdfe/report.h"

#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// The summary is written straight into its text, field by field:
// Summary{out} << "text" << fixed_field(value, w, d) << ...
struct SummaryField {
  enum class Kind { Fixed, Integer, Free } kind;
  double real = 0.0;
  int64_t whole = 0;
  int w = 0;
  int d = 0;
};
SummaryField fixed_field(double value, int w, int d) { return {SummaryField::Kind::Fixed, value, 0, w, d}; }
SummaryField int_field(int64_t value, int w) { return {SummaryField::Kind::Integer, 0.0, value, w, 0}; }
SummaryField free_field(double value, int d) { return {SummaryField::Kind::Free, value, 0, 0, d}; }

struct Summary {
  std::string& out;
  Summary& operator<<(std::string_view text) {
    out += text;
    return *this;
  }
  Summary& operator<<(const SummaryField& f) {
    if (f.kind == SummaryField::Kind::Fixed) append_f(out, f.real, f.w, f.d);
    if (f.kind == SummaryField::Kind::Integer) append_i(out, f.whole, f.w);
    if (f.kind == SummaryField::Kind::Free) append_f0(out, f.real, f.d);
    return *this;
  }
};

constexpr std::string_view Rule = "----------------------------------------------------------";
static_assert(Rule.size() == 58);

// A free-form record of the text alone (free_record) and its end.
void summary_record(Summary& out, std::string_view text) { out << " " << text << RecordEnd; }

void print_identity(const SpecValues& values, const VehicleSpec& spec, const TransmissionData& trn, Summary& out) {
  summary_record(out, Rule);
  out << " Vehicle Name    : " << trimmed(values.vehicle_name) << RecordEnd;
  const std::string_view code = trimmed(values.category_code);
  if (!code.empty() && code.front() == 'T') out << " Vehicle type  : TRUCK" << RecordEnd;
  if (!code.empty() && code.front() == 'B') out << " Vehicle type  : BUS" << RecordEnd;
  out << " Category      : " << code << RecordEnd;
  out << (trn.type == TransmissionType::TorqueConverter ? " Transmission  : Torque Converter AT"
                                                        : " Transmission  : MT, AMT")
      << RecordEnd;
  out << " HIGHWAY RATIO : " << free_field(spec.highway_ratio * 100.0, 2) << " [%]" << RecordEnd;
  summary_record(out, "");
}

void print_body(const VehicleSpec& spec, const EngineData& eng, Summary& out) {
  summary_record(out, Rule);
  out << " GVW =" << fixed_field(spec.gross_weight_kg, 8, 2) << "[kg]" << RecordEnd;
  out << " Wcurb =" << fixed_field(spec.curb_weight_kg, 8, 2)
      << "[kg], Wtest =" << fixed_field(spec.test_weight_kg, 8, 2) << "[kg]" << RecordEnd;
  out << " Width =" << fixed_field(spec.width_m, 8, 3) << "[m],  Height=" << fixed_field(spec.height_m, 8, 3)
      << "[m], Tire radius=" << fixed_field(spec.tire_radius_m, 8, 3) << "[m]" << RecordEnd;
  out << " Crew =" << int_field(spec.crew, 3) << RecordEnd;
  summary_record(out, "");
  out << " Nidle =" << fixed_field(eng.idle_speed_rpm, 8, 2)
      << "[rpm], Nrate =" << fixed_field(eng.rated_speed_rpm, 8, 2)
      << "[rpm], Nex  =" << fixed_field(eng.max_speed_rpm, 8, 2) << "[rpm]" << RecordEnd;
  out << " Nes   =" << fixed_field(eng.engage_speed_rpm, 8, 2)
      << "[rpm], Nec   =" << fixed_field(eng.release_speed_rpm, 8, 2) << "[rpm]" << RecordEnd;
  out << " MuAir =" << fixed_field(spec.mu_air, 10, 6) << " [N/(km/h)^2]" << RecordEnd;
  out << " MuRoll =" << fixed_field(spec.mu_roll, 10, 6) << " [N/kg]" << RecordEnd;
  summary_record(out, "");
}

void print_gears(const TransmissionData& trn, Summary& out) {
  out << " NUMBER OF GEAR =" << int_field(trn.gear_count(), 3) << RecordEnd;
  out << " GEAR   RATIO  EFFICIENCY  TORQ MARGIN    DW[kg]" << RecordEnd;
  for (int32_t g = 1; g <= trn.gear_count(); ++g) {
    const GearRow& row = trn.gears[static_cast<std::size_t>(g - 1)];
    out << int_field(g, 4) << ": " << fixed_field(row.ratio, 8, 3) << fixed_field(row.efficiency, 10, 3)
        << fixed_field(row.torque_margin, 12, 3) << fixed_field(row.rotating_mass_kg, 15, 5) << RecordEnd;
  }
  out << " FIN: " << fixed_field(trn.final_ratio, 8, 3) << fixed_field(trn.final_efficiency, 10, 3) << RecordEnd;
  summary_record(out, "");
}

}  // namespace

std::string vehicle_summary(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn) {
  std::string text;
  text.reserve(4096);
  Summary out{text};
  print_identity(values, spec, trn, out);
  print_body(spec, eng, out);
  print_gears(trn, out);
  return text;
}

}  // namespace hdfe
