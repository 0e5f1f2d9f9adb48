#include "report/trace.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"

namespace hdfe {

namespace {

constexpr std::string_view ColumnTitles =
    "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)";
// Bytes of the block besides the cycle name and the data records: a blank record, the
// column titles and three record ends.
constexpr std::size_t HeaderBytes = 1 + ColumnTitles.size() + 3 * RecordEnd.size();
// Bytes of a typical data record, for sizing the block.
constexpr std::size_t RecordBytes = 64;
// Room the longest data record may take: two I0 fields, seven F0 fields of up to six
// decimals, their TABs and the record end.
constexpr std::size_t RecordRoom = 2 * I0Room + 7 * (F0Room + 6) + 8 + RecordEnd.size();

// The memos of a block's columns, whose texts fit in the room of a field. Both speeds
// share one: the vehicle holds the target speed nearly always.
struct RecordMemos {
  static constexpr std::size_t TextBytes = 16;
  static_assert(TextBytes <= F0Room);
  template <int D>
  using Memo = ColumnMemo<put_f0<D>, TextBytes>;
  Memo<4> speed;
  Memo<1> engineSpeed, engineTorque;
  Memo<2> normalisedSpeed, normalisedTorque;
  Memo<6> fuelRate;
};

// Writes the data record of step i (1-based) at p, which has RecordRoom characters of
// room, and returns its end: Vtarget of step i is point i of the cycle, the run's series
// hold step i at [i - 1].
char* put_record(char* p, const DriveCycle& cycle, const CycleTrace& trace, int32_t i, RecordMemos& memos) {
  const auto k = static_cast<std::size_t>(i - 1);
  p = put_i0(p, i);
  *p++ = '\t';
  p = memos.speed.put(p, cycle.target_speed_km_per_h[static_cast<std::size_t>(i)]);
  *p++ = '\t';
  p = memos.speed.put(p, trace.speed_km_per_h[k]);
  *p++ = '\t';
  p = memos.engineSpeed.put(p, trace.engine_speed_rpm[k]);
  *p++ = '\t';
  p = memos.engineTorque.put(p, trace.engine_torque_nm[k]);
  *p++ = '\t';
  p = memos.normalisedSpeed.put(p, trace.normalised_speed_percent[k]);
  *p++ = '\t';
  p = memos.normalisedTorque.put(p, trace.normalised_torque_percent[k]);
  *p++ = '\t';
  p = put_i0(p, trace.gear[k]);
  *p++ = '\t';
  p = memos.fuelRate.put(p, trace.fuel_rate_l_per_h[k]);
  return std::copy(RecordEnd.begin(), RecordEnd.end(), p);
}

}  // namespace

std::size_t trace_block_bytes(const DriveCycle& cycle, std::string_view cycleName) {
  const std::size_t n = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  return HeaderBytes + cycleName.size() + RecordBytes * n;
}

void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName) {
  const std::size_t wanted = block.size() + trace_block_bytes(cycle, cycleName);
  if (block.capacity() < wanted) block.reserve(std::max(wanted, 2 * block.capacity()));
  block += free_record("");
  block += RecordEnd;
  block += cycleName;
  block += RecordEnd;
  block += ColumnTitles;
  block += RecordEnd;
  // The records are composed in a chunk, which always has room for one more, and appended a
  // chunk at a time: the block is neither zero-filled ahead nor copied as it grows.
  char chunk[TraceFlushBytes + RecordRoom];
  char* p = chunk;
  RecordMemos memos;
  for (int32_t i = 1; i <= cycle.n; ++i) {
    p = put_record(p, cycle, trace, i, memos);
    if (p - chunk >= static_cast<std::ptrdiff_t>(TraceFlushBytes)) {
      block.append(chunk, static_cast<std::size_t>(p - chunk));
      p = chunk;
    }
  }
  block.append(chunk, static_cast<std::size_t>(p - chunk));
}

}  // namespace hdfe
