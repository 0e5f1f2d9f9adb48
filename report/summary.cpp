#include "report/summary.h"

#include <string>
#include "textio/fields.h"
#include "textio/freeform.h"
#include "textio/textfield.h"

namespace {

// Writes one formatted line followed by the record end.
void LINE(std::ostream& out, std::string_view text) { out << text << RecordEnd; }

constexpr std::string_view Rule = "----------------------------------------------------------";
static_assert(Rule.size() == 58);

void PRINTIDENTITY(const SpecValues& values, const VehicleSpec& spec, const TransmissionData& trn,
                   std::ostream& out) {
  LINE(out, FREEREC(Rule));
  LINE(out, " Vehicle Name    : " + std::string(TRIMMED(values.VehicleName)));
  const std::string_view code = TRIMMED(values.CategoryCode);
  if (!code.empty() && code.front() == 'T') LINE(out, " Vehicle type  : TRUCK");
  if (!code.empty() && code.front() == 'B') LINE(out, " Vehicle type  : BUS");
  LINE(out, " Category      : " + std::string(code));
  LINE(out, trn.TransmissionKind == 1 ? " Transmission  : Torque Converter AT"
                                      : " Transmission  : MT, AMT");
  LINE(out, " HIGHWAY RATIO : " + FMTF0(spec.HighwayRatio * 100.0, 2) + " [%]");
  LINE(out, FREEREC(""));
}

void PRINTBODY(const VehicleSpec& spec, const EngineData& eng, std::ostream& out) {
  LINE(out, FREEREC(Rule));
  LINE(out, " GVW =" + FMTF(spec.GVW, 8, 2) + "[kg]");
  LINE(out, " Wcurb =" + FMTF(spec.Wcurb, 8, 2) + "[kg], Wtest =" + FMTF(spec.Wtest, 8, 2) + "[kg]");
  LINE(out, " Width =" + FMTF(spec.Width, 8, 3) + "[m],  Height=" + FMTF(spec.Height, 8, 3) +
                "[m], Tire radius=" + FMTF(spec.TireRadius, 8, 3) + "[m]");
  LINE(out, " Crew =" + FMTI(spec.Crew, 3));
  LINE(out, FREEREC(""));
  LINE(out, " Nidle =" + FMTF(eng.Nidle, 8, 2) + "[rpm], Nrate =" + FMTF(eng.Nrate, 8, 2) +
                "[rpm], Nex  =" + FMTF(eng.Nex, 8, 2) + "[rpm]");
  LINE(out, " Nes   =" + FMTF(eng.Nes, 8, 2) + "[rpm], Nec   =" + FMTF(eng.Nec, 8, 2) + "[rpm]");
  LINE(out, " MuAir =" + FMTF(spec.MuAir, 10, 6) + " [N/(km/h)^2]");
  LINE(out, " MuRoll =" + FMTF(spec.MuRoll, 10, 6) + " [N/kg]");
  LINE(out, FREEREC(""));
}

void PRINTGEARS(const TransmissionData& trn, std::ostream& out) {
  LINE(out, " NUMBER OF GEAR =" + FMTI(trn.GearCount, 3));
  LINE(out, " GEAR   RATIO  EFFICIENCY  TORQ MARGIN    DW[kg]");
  for (int32_t g = 1; g <= trn.GearCount; ++g) {
    const GearRow& row = trn.Gears[static_cast<std::size_t>(g - 1)];
    LINE(out, FMTI(g, 4) + ": " + FMTF(row.Ratio, 8, 3) + FMTF(row.Efficiency, 10, 3) +
                  FMTF(row.TorqueMargin, 12, 3) + FMTF(row.DW, 15, 5));
  }
  LINE(out, " FIN: " + FMTF(trn.FinalRatio, 8, 3) + FMTF(trn.FinalEfficiency, 10, 3));
  LINE(out, FREEREC(""));
}

}  // namespace

void PRINTVEH(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
              const TransmissionData& trn, std::ostream& out) {
  PRINTIDENTITY(values, spec, trn, out);
  PRINTBODY(spec, eng, out);
  PRINTGEARS(trn, out);
}
