#include "hdfe/report.h"

#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// Writes one formatted line followed by the record end.
void summary_line(std::string& out, std::string_view text) {
  out += text;
  out += RecordEnd;
}

constexpr std::string_view Rule = "----------------------------------------------------------";
static_assert(Rule.size() == 58);

void print_identity(const SpecValues& values, const VehicleSpec& spec, const TransmissionData& trn,
                   std::string& out) {
  summary_line(out, free_record(Rule));
  summary_line(out, " Vehicle Name    : " + std::string(trimmed(values.vehicle_name)));
  const std::string_view code = trimmed(values.category_code);
  if (!code.empty() && code.front() == 'T') summary_line(out, " Vehicle type  : TRUCK");
  if (!code.empty() && code.front() == 'B') summary_line(out, " Vehicle type  : BUS");
  summary_line(out, " Category      : " + std::string(code));
  summary_line(out, trn.type == TransmissionType::TorqueConverter ? " Transmission  : Torque Converter AT"
                                      : " Transmission  : MT, AMT");
  summary_line(out, " HIGHWAY RATIO : " + format_f0(spec.highway_ratio * 100.0, 2) + " [%]");
  summary_line(out, free_record(""));
}

void print_body(const VehicleSpec& spec, const EngineData& eng, std::string& out) {
  summary_line(out, free_record(Rule));
  summary_line(out, " GVW =" + format_f(spec.gross_weight_kg, 8, 2) + "[kg]");
  summary_line(out, " Wcurb =" + format_f(spec.curb_weight_kg, 8, 2) + "[kg], Wtest =" + format_f(spec.test_weight_kg, 8, 2) + "[kg]");
  summary_line(out, " Width =" + format_f(spec.width_m, 8, 3) + "[m],  Height=" + format_f(spec.height_m, 8, 3) +
                "[m], Tire radius=" + format_f(spec.tire_radius_m, 8, 3) + "[m]");
  summary_line(out, " Crew =" + format_i(spec.crew, 3));
  summary_line(out, free_record(""));
  summary_line(out, " Nidle =" + format_f(eng.idle_speed_rpm, 8, 2) + "[rpm], Nrate =" + format_f(eng.rated_speed_rpm, 8, 2) +
                "[rpm], Nex  =" + format_f(eng.max_speed_rpm, 8, 2) + "[rpm]");
  summary_line(out, " Nes   =" + format_f(eng.engage_speed_rpm, 8, 2) + "[rpm], Nec   =" + format_f(eng.release_speed_rpm, 8, 2) + "[rpm]");
  summary_line(out, " MuAir =" + format_f(spec.mu_air, 10, 6) + " [N/(km/h)^2]");
  summary_line(out, " MuRoll =" + format_f(spec.mu_roll, 10, 6) + " [N/kg]");
  summary_line(out, free_record(""));
}

void print_gears(const TransmissionData& trn, std::string& out) {
  summary_line(out, " NUMBER OF GEAR =" + format_i(trn.gear_count(), 3));
  summary_line(out, " GEAR   RATIO  EFFICIENCY  TORQ MARGIN    DW[kg]");
  for (int32_t g = 1; g <= trn.gear_count(); ++g) {
    const GearRow& row = trn.gears[static_cast<std::size_t>(g - 1)];
    summary_line(out, format_i(g, 4) + ": " + format_f(row.ratio, 8, 3) + format_f(row.efficiency, 10, 3) +
                  format_f(row.torque_margin, 12, 3) + format_f(row.rotating_mass_kg, 15, 5));
  }
  summary_line(out, " FIN: " + format_f(trn.final_ratio, 8, 3) + format_f(trn.final_efficiency, 10, 3));
  summary_line(out, free_record(""));
}

}  // namespace

std::string vehicle_summary(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn) {
  std::string out;
  print_identity(values, spec, trn, out);
  print_body(spec, eng, out);
  print_gears(trn, out);
  return out;
}

}  // namespace hdfe
