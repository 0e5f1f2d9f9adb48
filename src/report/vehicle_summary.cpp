#include "hdfe/report.h"

#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// The summary is written straight into its text, field by field: out << "text" << F(value, w, d).
struct Field {
  enum class Kind { Fixed, Integer, Free } kind;
  double real = 0.0;
  int64_t whole = 0;
  int w = 0;
  int d = 0;
};
Field F(double value, int w, int d) { return {Field::Kind::Fixed, value, 0, w, d}; }
Field I(int64_t value, int w) { return {Field::Kind::Integer, 0.0, value, w, 0}; }
Field F0(double value, int d) { return {Field::Kind::Free, value, 0, 0, d}; }

std::string& operator<<(std::string& out, std::string_view text) { return out += text; }
std::string& operator<<(std::string& out, const Field& f) {
  if (f.kind == Field::Kind::Fixed) append_f(out, f.real, f.w, f.d);
  if (f.kind == Field::Kind::Integer) append_i(out, f.whole, f.w);
  if (f.kind == Field::Kind::Free) append_f0(out, f.real, f.d);
  return out;
}

// The record end after each line.
constexpr std::string_view End = RecordEnd;

constexpr std::string_view Rule = "----------------------------------------------------------";
static_assert(Rule.size() == 58);

// A free-form record of the text alone (free_record) and its end.
void free_line(std::string& out, std::string_view text) { out << " " << text << End; }

void print_identity(const SpecValues& values, const VehicleSpec& spec, const TransmissionData& trn,
                   std::string& out) {
  free_line(out, Rule);
  out << " Vehicle Name    : " << trimmed(values.vehicle_name) << End;
  const std::string_view code = trimmed(values.category_code);
  if (!code.empty() && code.front() == 'T') out << " Vehicle type  : TRUCK" << End;
  if (!code.empty() && code.front() == 'B') out << " Vehicle type  : BUS" << End;
  out << " Category      : " << code << End;
  out << (trn.type == TransmissionType::TorqueConverter ? " Transmission  : Torque Converter AT"
                                                        : " Transmission  : MT, AMT")
      << End;
  out << " HIGHWAY RATIO : " << F0(spec.highway_ratio * 100.0, 2) << " [%]" << End;
  free_line(out, "");
}

void print_body(const VehicleSpec& spec, const EngineData& eng, std::string& out) {
  free_line(out, Rule);
  out << " GVW =" << F(spec.gross_weight_kg, 8, 2) << "[kg]" << End;
  out << " Wcurb =" << F(spec.curb_weight_kg, 8, 2) << "[kg], Wtest =" << F(spec.test_weight_kg, 8, 2) << "[kg]"
      << End;
  out << " Width =" << F(spec.width_m, 8, 3) << "[m],  Height=" << F(spec.height_m, 8, 3)
      << "[m], Tire radius=" << F(spec.tire_radius_m, 8, 3) << "[m]" << End;
  out << " Crew =" << I(spec.crew, 3) << End;
  free_line(out, "");
  out << " Nidle =" << F(eng.idle_speed_rpm, 8, 2) << "[rpm], Nrate =" << F(eng.rated_speed_rpm, 8, 2)
      << "[rpm], Nex  =" << F(eng.max_speed_rpm, 8, 2) << "[rpm]" << End;
  out << " Nes   =" << F(eng.engage_speed_rpm, 8, 2) << "[rpm], Nec   =" << F(eng.release_speed_rpm, 8, 2) << "[rpm]"
      << End;
  out << " MuAir =" << F(spec.mu_air, 10, 6) << " [N/(km/h)^2]" << End;
  out << " MuRoll =" << F(spec.mu_roll, 10, 6) << " [N/kg]" << End;
  free_line(out, "");
}

void print_gears(const TransmissionData& trn, std::string& out) {
  out << " NUMBER OF GEAR =" << I(trn.gear_count(), 3) << End;
  out << " GEAR   RATIO  EFFICIENCY  TORQ MARGIN    DW[kg]" << End;
  for (int32_t g = 1; g <= trn.gear_count(); ++g) {
    const GearRow& row = trn.gears[static_cast<std::size_t>(g - 1)];
    out << I(g, 4) << ": " << F(row.ratio, 8, 3) << F(row.efficiency, 10, 3) << F(row.torque_margin, 12, 3)
        << F(row.rotating_mass_kg, 15, 5) << End;
  }
  out << " FIN: " << F(trn.final_ratio, 8, 3) << F(trn.final_efficiency, 10, 3) << End;
  free_line(out, "");
}

}  // namespace

std::string vehicle_summary(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn) {
  std::string out;
  out.reserve(4096);
  print_identity(values, spec, trn, out);
  print_body(spec, eng, out);
  print_gears(trn, out);
  return out;
}

}  // namespace hdfe
