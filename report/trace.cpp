#include "report/trace.h"

#include <cstddef>
#include <string>
#include "report/outputfile.h"
#include "textio/fields.h"
#include "textio/freeform.h"

namespace hdfe {

namespace {

// Speed tolerance: the single-precision 0.01 widened to double [km/h].
constexpr double SpeedTolerance = static_cast<double>(0.01F);
// Highest plausible torque as share of full load [%].
constexpr double TorqueLimit = 100.0;

// Bytes of one data record, generously, for reserving the block.
constexpr std::size_t RecordBytes = 96;

// Appends the data record of step i (1-based): Vtarget of step i is point i of the
// cycle, the run's series hold step i at [i - 1].
void trace_record(std::string& block, const DriveCycle& cycle, const CycleTrace& trace, int32_t i) {
  const auto k = static_cast<std::size_t>(i - 1);
  block += format_i0(i);
  block += '\t';
  block += format_f0(cycle.Vtarget[static_cast<std::size_t>(i)], 4);
  block += '\t';
  block += format_f0(trace.Vreal[k], 4);
  block += '\t';
  block += format_f0(trace.Ne[k], 1);
  block += '\t';
  block += format_f0(trace.Te[k], 1);
  block += '\t';
  block += format_f0(trace.N_norm[k], 2);
  block += '\t';
  block += format_f0(trace.T_norm[k], 2);
  block += '\t';
  block += format_i0(trace.Shift[k]);
  block += '\t';
  block += format_f0(trace.FC[k], 6);
  block += RecordEnd;
}

}  // namespace

void check_run(const DriveCycle& cycle, const CycleTrace& trace, std::string_view /*cycleName*/,
              std::ostream& out) {
  for (int32_t i = 1; i <= cycle.n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    if (trace.Vreal[k] - cycle.Vtarget[static_cast<std::size_t>(i)] > SpeedTolerance) {
      out << free_record("error: V_real > V_target") << RecordEnd;
    }
    if (trace.T_norm[k] > TorqueLimit) out << free_record("error: te > 100% ", i) << RecordEnd;
  }
}

void write_trace(std::string_view outputName, const DriveCycle& cycle, const CycleTrace& trace,
              std::string_view cycleName) {
  std::string block;
  block.reserve(256 + RecordBytes * static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0));
  block += free_record("");
  block += RecordEnd;
  block += cycleName;
  block += RecordEnd;
  block += "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)";
  block += RecordEnd;
  for (int32_t i = 1; i <= cycle.n; ++i) trace_record(block, cycle, trace, i);
  write_output(outputName, block, WriteMode::Append);
}

}  // namespace hdfe
