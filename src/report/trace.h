// The trace blocks of the results file.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include "hdfe/traces.h"

namespace hdfe {

// Trace records and CSV rows are composed in a buffer and appended to the text once this
// many bytes of them are: few enough to be copied without a string instruction, which some
// machines start on longer copies.
inline constexpr std::size_t TraceFlushBytes = 1920;

// The text of the value a column held last if it has TextBytes characters at most,
// written again while the value stays the same, as it does for long stretches (idling,
// cruising). Every NaN is written NaN, so a memo starts as one.
template <std::size_t Bytes>
struct FieldMemo {
  static constexpr std::size_t TextBytes = Bytes;
  uint64_t bits = std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN());
  std::size_t size = 3;
  char text[TextBytes] = {'N', 'a', 'N'};
};

// Writes value at `at` as Write(at, value) does, through the column's memo, and returns
// the end. The memo's text is copied whole: at has room for Bytes characters at least.
template <char* (*Write)(char*, double), std::size_t Bytes>
[[gnu::always_inline]] inline char* put_memo(char* at, double value, FieldMemo<Bytes>& memo) {
  const auto bits = std::bit_cast<uint64_t>(value);
  if (bits == memo.bits) {
    std::memcpy(at, memo.text, Bytes);
    return at + memo.size;
  }
  char* const end = Write(at, value);
  const auto size = static_cast<std::size_t>(end - at);
  if (size <= Bytes) {
    memo.bits = bits;
    memo.size = size;
    std::memcpy(memo.text, at, Bytes);
  }
  return end;
}

// Bytes the cycle's trace block takes with typical records, for reserving room.
std::size_t trace_block_bytes(const DriveCycle& cycle, std::string_view cycleName);

// Appends the cycle's trace block: a blank record, the cycle name, the column titles and
// one record per step.
void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName);

}  // namespace hdfe
