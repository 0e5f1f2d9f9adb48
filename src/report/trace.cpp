#include "report/trace.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
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

// The text of the value a column held last, written again while the value stays the
// same, as it does for long stretches (idling, cruising). Every NaN is written NaN, so the
// memo starts as one.
struct FieldMemo {
  static constexpr std::size_t TextBytes = 16;
  uint64_t bits = std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN());
  std::size_t size = 3;
  char text[TextBytes] = {'N', 'a', 'N'};
};

// put_f0<D> through the column's memo. The text is copied whole, within the room of the
// field.
static_assert(FieldMemo::TextBytes <= F0Room);
template <int D>
[[gnu::always_inline]] inline char* put_f0_memo(char* at, double value, FieldMemo& memo) {
  const auto bits = std::bit_cast<uint64_t>(value);
  if (bits == memo.bits) {
    std::memcpy(at, memo.text, FieldMemo::TextBytes);
    return at + memo.size;
  }
  char* const end = put_f0<D>(at, value);
  const auto size = static_cast<std::size_t>(end - at);
  if (size <= FieldMemo::TextBytes) {
    memo.bits = bits;
    memo.size = size;
    std::memcpy(memo.text, at, FieldMemo::TextBytes);
  }
  return end;
}

// The memos of a block's columns. Both speeds share one: the vehicle holds the target
// speed nearly always.
struct RecordMemos {
  FieldMemo speed, engineSpeed, engineTorque, normalisedSpeed, normalisedTorque, fuelRate;
};

// Writes the data record of step i (1-based) at p, which has RecordRoom characters of
// room, and returns its end: Vtarget of step i is point i of the cycle, the run's series
// hold step i at [i - 1].
char* put_record(char* p, const DriveCycle& cycle, const CycleTrace& trace, int32_t i, RecordMemos& memos) {
  const auto k = static_cast<std::size_t>(i - 1);
  p = put_i0(p, i);
  *p++ = '\t';
  p = put_f0_memo<4>(p, cycle.target_speed_km_per_h[static_cast<std::size_t>(i)], memos.speed);
  *p++ = '\t';
  p = put_f0_memo<4>(p, trace.speed_km_per_h[k], memos.speed);
  *p++ = '\t';
  p = put_f0_memo<1>(p, trace.engine_speed_rpm[k], memos.engineSpeed);
  *p++ = '\t';
  p = put_f0_memo<1>(p, trace.engine_torque_nm[k], memos.engineTorque);
  *p++ = '\t';
  p = put_f0_memo<2>(p, trace.normalised_speed_percent[k], memos.normalisedSpeed);
  *p++ = '\t';
  p = put_f0_memo<2>(p, trace.normalised_torque_percent[k], memos.normalisedTorque);
  *p++ = '\t';
  p = put_i0(p, trace.gear[k]);
  *p++ = '\t';
  p = put_f0_memo<6>(p, trace.fuel_rate_l_per_h[k], memos.fuelRate);
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
