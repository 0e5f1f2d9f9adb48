#include "report/trace.h"

#include <cstddef>
#include <string>
#include "textio/fields.h"
#include "textio/freeform.h"

namespace hdfe {

namespace {

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

void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName) {
  block.reserve(block.size() + 256 + RecordBytes * static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0));
  block += free_record("");
  block += RecordEnd;
  block += cycleName;
  block += RecordEnd;
  block += "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)";
  block += RecordEnd;
  for (int32_t i = 1; i <= cycle.n; ++i) trace_record(block, cycle, trace, i);
}

}  // namespace hdfe
