#include "report/trace.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"

namespace hdfe {

namespace {

// Bytes of a typical data record, for sizing the block.
constexpr std::size_t RecordBytes = 64;
// Room the longest data record may take: two I0 fields, seven F0 fields of up to six
// decimals, their TABs and the record end.
constexpr std::size_t RecordRoom = 2 * I0Room + 7 * (F0Room + 6) + 8 + RecordEnd.size();

// Writes the data record of step i (1-based) at p, which has RecordRoom characters of
// room, and returns its end: Vtarget of step i is point i of the cycle, the run's series
// hold step i at [i - 1].
char* put_record(char* p, const DriveCycle& cycle, const CycleTrace& trace, int32_t i) {
  const auto k = static_cast<std::size_t>(i - 1);
  p = put_i0(p, i);
  *p++ = '\t';
  p = put_f0(p, cycle.target_speed_km_per_h[static_cast<std::size_t>(i)], 4);
  *p++ = '\t';
  p = put_f0(p, trace.speed_km_per_h[k], 4);
  *p++ = '\t';
  p = put_f0(p, trace.engine_speed_rpm[k], 1);
  *p++ = '\t';
  p = put_f0(p, trace.engine_torque_nm[k], 1);
  *p++ = '\t';
  p = put_f0(p, trace.normalised_speed_percent[k], 2);
  *p++ = '\t';
  p = put_f0(p, trace.normalised_torque_percent[k], 2);
  *p++ = '\t';
  p = put_i0(p, trace.gear[k]);
  *p++ = '\t';
  p = put_f0(p, trace.fuel_rate_l_per_h[k], 6);
  return std::copy(RecordEnd.begin(), RecordEnd.end(), p);
}

}  // namespace

void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName) {
  const std::size_t n = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  block += free_record("");
  block += RecordEnd;
  block += cycleName;
  block += RecordEnd;
  block += "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)";
  block += RecordEnd;
  // The records are written straight into the block, which always has room for one more.
  std::size_t used = block.size();
  block.resize(used + RecordBytes * n + RecordRoom);
  for (int32_t i = 1; i <= cycle.n; ++i) {
    if (block.size() - used < RecordRoom) block.resize(std::max(2 * block.size(), used + RecordRoom));
    used = static_cast<std::size_t>(put_record(block.data() + used, cycle, trace, i) - block.data());
  }
  block.resize(used);
}

}  // namespace hdfe
