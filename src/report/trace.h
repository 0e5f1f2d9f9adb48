// The trace blocks of the results file.
#pragma once
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include "hdfe/traces.h"
#include "io/fields.h"

namespace hdfe {

// Trace records and CSV rows are composed in a buffer and appended to the text once this
// many bytes of them are: few enough to be copied without a string instruction, which some
// machines start on longer copies.
inline constexpr std::size_t TraceFlushBytes = 1920;

// Room any field writer of a column memo may take [characters]: F0 fields of up to nine
// decimals, shortest forms.
inline constexpr std::size_t MemoWriterRoom = std::max(F0Room + 9, ShortestRoom);

// Writes a column's values as Write(at, value) does, remembering the text of the value
// written last if it has Bytes characters at most and writing it again while the value
// stays the same, as it does for long stretches (idling, cruising). It starts with the
// text of zero.
template <char* (*Write)(char*, double), std::size_t Bytes>
class ColumnMemo {
 public:
  ColumnMemo() {
    char scratch[MemoWriterRoom] = {};
    remember(0.0, scratch, Write(scratch, 0.0));
  }

  // Writes value at `at`, which has room for what Write may take and for Bytes characters,
  // and returns the end.
  [[gnu::always_inline]] char* put(char* at, double value) {
    if (std::bit_cast<uint64_t>(value) == bits_) {
      std::memcpy(at, text_, Bytes);
      return at + size_;
    }
    char* const end = Write(at, value);
    remember(value, at, end);
    return end;
  }

 private:
  [[gnu::always_inline]] void remember(double value, const char* at, const char* end) {
    const auto size = static_cast<std::size_t>(end - at);
    if (size > Bytes) return;
    bits_ = std::bit_cast<uint64_t>(value);
    size_ = size;
    std::memcpy(text_, at, Bytes);
  }

  uint64_t bits_ = 0;
  std::size_t size_ = 0;
  char text_[Bytes] = {};
};

// Bytes the cycle's trace block takes with typical records, for reserving room.
std::size_t trace_block_bytes(const DriveCycle& cycle, std::string_view cycleName);

// Appends the cycle's trace block: a blank record, the cycle name, the column titles and
// one record per step.
void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName);

}  // namespace hdfe
